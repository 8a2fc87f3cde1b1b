// Zoom And Align: fused frames per second of the focus-stacking worker on a
// 1080p breathing, shaking stack (scale 1 + 0.002 per frame, shifts up to
// 3 px, 24 frames), with the alignment against the same run without it,
// interleaved in one process. Prints wall time, the process's CPU time (the
// worker and the detection helper thread), frames per second and the PSNR of
// the fused picture against the all-in-focus truth (inner 90 %).
//
// Run on two cores: taskset -c 0,1 bench_focus_align [--rounds N] [--size WxH]

#include "imaging/FocusStackDriver.h"
#include "imaging/FocusStackGenerator.h"
#include "imaging/ThreadJingShenHigh.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <opencv2/core/utility.hpp>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

namespace gen = FocusStackGenerator;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Total {
    double wallMs = 0, cpuS = 0, psnr = 0;
    int fused = 0, runs = 0;
};

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir appDir;
    qputenv("SEVRIN_APP_DIR", appDir.path().toUtf8());
    QCoreApplication app(argc, argv);
    int rounds = 3;
    cv::Size size(1920, 1080);
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &size.width, &size.height);
    }
    cv::setNumThreads(2);
    gen::StackParams p = gen::breathingParams(size, 24, 3.0, 29);
    const gen::Stack stack = gen::makeStack(p);
    const int mx = size.width / 20, my = size.height / 20;
    const cv::Rect inner(mx, my, size.width - 2 * mx, size.height - 2 * my);
    std::printf("Zoom And Align, %dx%d breathing stack of %zu frames, %d rounds, interleaved\n", size.width,
                size.height, stack.frames.size(), rounds);

    ThreadJingShenHigh worker;
    Total totals[2]; // 0 without alignment, 1 with
    for (int r = 0; r < rounds; ++r)
        for (int align = 0; align < 2; ++align) {
            FocusStackDriver::Options o;
            o.align = align == 1;
            FocusStackDriver::RunStats st;
            const double c0 = cpuSeconds();
            const cv::Mat fused = FocusStackDriver::run(worker, stack.frames, o, &st);
            Total& t = totals[align];
            t.cpuS += cpuSeconds() - c0;
            t.wallMs += st.wallMs;
            t.fused += st.fused;
            t.psnr += gen::psnr(fused, stack.truth, inner);
            ++t.runs;
        }
    const char* names[2] = {"without alignment", "with Zoom And Align"};
    double fps[2];
    for (int a = 0; a < 2; ++a) {
        const Total& t = totals[a];
        fps[a] = 1000.0 * t.fused / t.wallMs;
        std::printf("  %-20s %6.1f frames/s  wall %7.0f ms  CPU %6.2f s  (%d frames fused)  PSNR %.2f dB\n", names[a],
                    fps[a], t.wallMs, t.cpuS, t.fused, t.psnr / t.runs);
    }
    std::printf("  ratio with / without: %.3f (frames per second)\n", fps[1] / fps[0]);
    return 0;
}
