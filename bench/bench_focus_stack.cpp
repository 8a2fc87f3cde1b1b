// Focus stacking: quality and speed of the fusion worker against enfuse
// (contrast weight only, hard mask) on the same synthetic stacks, both pinned
// to two cores. Prints PSNR and SSIM against the all-in-focus truth, ms per
// fused frame, wall times, the ratios, and the CPU use of an idle worker.
//
// Usage: bench_focus_stack [--frames N] [--size WxH] [--blur SIGMA] [--no-enfuse]
// SIGMA is the defocus blur (pixels) at the far end of the depth range; with
// the default 12 over 24 frames the blur changes by about half a pixel from
// one frame to the next, a slow hand sweep.

#include "imaging/FocusFusionPlanes.h"
#include "imaging/ThreadJingShenHigh.h"
#include "imaging/FocusStackDriver.h"
#include "imaging/FocusStackGenerator.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
namespace gen = FocusStackGenerator;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Both our worker and enfuse (a child process inherits the mask) get two cores.
void pinTwoCores() {
    cpu_set_t all;
    CPU_ZERO(&all);
    if (sched_getaffinity(0, sizeof(all), &all) != 0)
        return;
    cpu_set_t two;
    CPU_ZERO(&two);
    int taken = 0;
    for (int c = 0; c < CPU_SETSIZE && taken < 2; ++c)
        if (CPU_ISSET(c, &all)) {
            CPU_SET(c, &two);
            ++taken;
        }
    sched_setaffinity(0, sizeof(two), &two);
    cv::setNumThreads(2);
}

bool writeFrames(const std::vector<cv::Mat>& frames, const QString& dir, std::string& list) {
    list.clear();
    const std::vector<int> raw = {cv::IMWRITE_TIFF_COMPRESSION, 1};
    for (size_t k = 0; k < frames.size(); ++k) {
        cv::Mat bgr;
        cv::cvtColor(frames[k], bgr, cv::COLOR_RGB2BGR);
        const std::string path = QString("%1/f%2.tif").arg(dir).arg(k, 3, 10, QChar('0')).toStdString();
        if (!cv::imwrite(path, bgr, raw))
            return false;
        list += " '" + path + "'";
    }
    return true;
}

struct Figures {
    double psnr = 0, ssim = 0, msPerFrame = 0, wallMs = 0;
    int fused = 0;
};

Figures runEnfuse(const gen::Stack& stack, const QString& dir) {
    Figures f;
    std::string list;
    if (!writeFrames(stack.frames, dir, list))
        return f;
    const std::string out = (dir + "/enfuse.tif").toStdString();
    const std::string cmd = "enfuse --exposure-weight=0 --saturation-weight=0 --contrast-weight=1 --hard-mask -o '" +
                            out + "'" + list + " >/dev/null 2>&1";
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    f.wallMs = msSince(t0);
    cv::Mat bgr = cv::imread(out, cv::IMREAD_COLOR);
    if (rc != 0 || bgr.empty()) {
        std::printf("  enfuse failed (exit %d)\n", rc);
        return f;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    f.psnr = gen::psnr(rgb, stack.truth);
    f.ssim = gen::ssim(rgb, stack.truth);
    f.fused = static_cast<int>(stack.frames.size());
    f.msPerFrame = f.wallMs / f.fused;
    return f;
}

Figures runOurs(ThreadJingShenHigh& worker, const gen::Stack& stack, bool align, cv::Rect roi, double* gateMs) {
    Figures f;
    FocusStackDriver::Options o;
    o.align = align;
    FocusStackDriver::RunStats st;
    const cv::Mat fused = FocusStackDriver::run(worker, stack.frames, o, &st);
    f.psnr = gen::psnr(fused, stack.truth, roi);
    f.ssim = gen::ssim(fused, stack.truth, roi);
    f.wallMs = st.wallMs;
    f.fused = st.fused + 1; // the first frame is the run's start
    f.msPerFrame = st.wallMs / std::max(1, f.fused);
    if (gateMs)
        *gateMs = st.pushMs / std::max(1, st.pushed);
    return f;
}

// CPU use while a running worker has nothing to fuse, beside a loop that
// polls every 5 microseconds the way a sleeping poll would.
void idleCpu(ThreadJingShenHigh& worker, const cv::Mat& frame) {
    worker.resetData();
    worker.pushFrame(frame.data, frame.cols, frame.rows);
    worker.prepareFirstFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const double ours = (cpuSeconds() - c0) / (msSince(t0) / 1000.0) * 100.0;
    worker.requestStop();
    worker.wait();

    std::atomic<bool> stop{false};
    std::thread poll([&] {
        while (!stop.load())
            std::this_thread::sleep_for(std::chrono::microseconds(5));
    });
    c0 = cpuSeconds();
    t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const double polling = (cpuSeconds() - c0) / (msSince(t0) / 1000.0) * 100.0;
    stop = true;
    poll.join();
    std::printf("\nIdle worker CPU: %.2f %% of one core   (a 5 us polling loop: %.1f %%)\n", ours, polling);
}

const char* depthName(gen::Depth d) {
    switch (d) {
    case gen::Depth::TiltedPlane:
        return "tilted plane";
    case gen::Depth::Steps:
        return "steps";
    case gen::Depth::Dome:
        return "dome";
    }
    return "";
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir appDir;
    qputenv("SEVRIN_APP_DIR", appDir.path().toUtf8());
    QCoreApplication app(argc, argv);

    int frames = 24;
    cv::Size size(1920, 1080);
    double blur = 12.0;
    bool enfuse = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &size.width, &size.height);
        else if (!std::strcmp(argv[i], "--blur") && i + 1 < argc)
            blur = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-enfuse"))
            enfuse = false;
    }
    pinTwoCores();
    std::printf("Focus stacking, %dx%d, %d frames per stack, blur up to %.1f px, noise 2, 2 cores\n", size.width,
                size.height, frames, blur);
    std::printf("%-13s %-8s %8s %7s %12s %10s\n", "stack", "method", "PSNR dB", "SSIM", "ms/frame", "wall ms");

    ThreadJingShenHigh worker;
    const gen::Depth depths[] = {gen::Depth::TiltedPlane, gen::Depth::Steps, gen::Depth::Dome};
    double sumOurs = 0, sumEnfuse = 0, sumMsOurs = 0, sumMsEnfuse = 0, fusedMs = 0;
    int counted = 0, fusedTotal = 0;
    cv::Mat anyFrame;
    for (gen::Depth d : depths) {
        gen::StackParams p;
        p.size = size;
        p.depth = d;
        p.frames = frames;
        p.maxBlurSigma = blur;
        p.seed = 11 + static_cast<int>(d);
        const gen::Stack stack = gen::makeStack(p);
        anyFrame = stack.frames[0];
        double gateMs = 0;
        const Figures ours = runOurs(worker, stack, false, cv::Rect(), &gateMs);
        fusedTotal += ours.fused;
        fusedMs += ours.wallMs;
        std::printf("%-13s %-8s %8.2f %7.4f %12.1f %10.0f   (%d of %d frames fused; gate %.1f ms/frame)\n",
                    depthName(d), "ours", ours.psnr, ours.ssim, ours.msPerFrame, ours.wallMs, ours.fused, frames, gateMs);
        if (enfuse) {
            QTemporaryDir dir;
            const Figures ef = runEnfuse(stack, dir.path());
            std::printf("%-13s %-8s %8.2f %7.4f %12.1f %10.0f\n", "", "enfuse", ef.psnr, ef.ssim, ef.msPerFrame,
                        ef.wallMs);
            if (ef.fused > 0) {
                std::printf("%-13s %-8s %+8.2f %7.3f %12.3f %10.3f\n", "", "ratio", ours.psnr - ef.psnr,
                            ours.ssim / ef.ssim, ours.msPerFrame / ef.msPerFrame, ours.wallMs / ef.wallMs);
                sumOurs += ours.psnr;
                sumEnfuse += ef.psnr;
                sumMsOurs += ours.msPerFrame;
                sumMsEnfuse += ef.msPerFrame;
                ++counted;
            }
        }
    }
    if (counted > 0)
        std::printf("\nMean PSNR: ours %.2f dB, enfuse %.2f dB (difference %+.2f dB); ms per frame ratio %.3f\n",
                    sumOurs / counted, sumEnfuse / counted, (sumOurs - sumEnfuse) / counted,
                    sumMsOurs / sumMsEnfuse);
    if (fusedTotal > 0)
        std::printf("Sustained fusion (gate and fusion in turn): %.1f frames per second (target 15)\n",
                    1000.0 * fusedTotal / fusedMs);

    // Zoom And Align on a breathing, shaking stack (scale 1 + 0.002 per frame,
    // shifts up to 3 px): fused in the first frame's geometry.
    {
        gen::StackParams p = gen::breathingParams(size, frames, 3.0, 29);
        p.maxBlurSigma = blur;
        const gen::Stack stack = gen::makeStack(p);
        const int mx = size.width / 20, my = size.height / 20;
        const cv::Rect inner(mx, my, size.width - 2 * mx, size.height - 2 * my);
        const Figures off = runOurs(worker, stack, false, inner, nullptr);
        const Figures on = runOurs(worker, stack, true, inner, nullptr);
        std::printf("\nBreathing stack (scale 1 + 0.002 per frame, shifts up to 3 px; inner 90 %%):\n"
                    "  without align      PSNR %.2f SSIM %.4f %6.1f ms/frame\n"
                    "  with Zoom And Align PSNR %.2f SSIM %.4f %6.1f ms/frame (%.1f frames per second)\n",
                    off.psnr, off.ssim, off.msPerFrame, on.psnr, on.ssim, on.msPerFrame, 1000.0 / on.msPerFrame);
    }

    idleCpu(worker, anyFrame);
    return 0;
}
