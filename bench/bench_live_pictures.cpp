// Where the live video's pictures come from: page faults and CPU per shown
// frame of the program's picture making, beside the two earlier ways, in one
// run (the arms take turns, round after round; medians of the rounds).
// Geometry: the program's view on a 1920x1080 screen (the picture fitted to
// 1265x711 on a 1265x712 canvas, as its loop figures report it), frames of
// 4K NV12, 4K MJPG (4:2:0, q85) and 1080p NV12.
// Arms, each making every picture while the one before is still held (as
// the interface thread holds the shown picture while the next is made):
// - ours: the decoder's three kept buffers (the pictures' pool);
// - one buffer, heap: the decoder's single buffer, a new picture whenever
//   it is held, from the C library's heaps with their own sliding bound (the
//   tree before the fixed mapping bound);
// - one buffer, mapped: the same with every block of 2 MB or more mapped on
//   its own (the fixed bound main() set), in a child process made for each
//   round so that the bound stays there.
// Each arm's figures are its calling thread's (the decoder thread's work):
// minor page faults (getrusage RUSAGE_THREAD), thread CPU and wall time per
// frame. The program's heaps as main() sets them (two).
#include "camera/BaseCamera.h"
#include "camera/SDLBackgroundDecoder.h"
#include "bench/support/BenchSpecimen.h"
#include "platform/YuvPack.h"

#include <turbojpeg.h>

#include <opencv2/imgproc.hpp>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 30; // pictures an arm makes a round

struct Figures {
    double faults = 0, cpuMs = 0, wallMs = 0; // per frame
};

double cpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long minorFaults(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_minflt;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Case {
    const char* name;
    int format;
    QByteArray frame;
    int w, h;
};

const QSize kCanvas(1265, 712);

VideoCrop viewCrop(const Case& k) {
    return computeVideoCrop(QSize(k.w, k.h), QRectF(0, 0, 1265, 711), kCanvas);
}

// kFrames pictures made on this thread into `pool`, each while the one
// before is held; the calling thread's figures per frame.
Figures makePictures(const Case& k, int keep) {
    tjhandle tj = tjInitDecompress();
    const VideoCrop crop = viewCrop(k);
    const QRect at(QPoint(0, 0), crop.target.toRect().size());
    PicturePool pool(keep);
    std::vector<uint8_t> scratch;
    QImage held, made;
    auto one = [&] {
        if (k.format == PixFmtMJPG)
            SDLBackgroundDecoder::decode(tj, k.frame, QSize(k.w, k.h), crop, at, scratch, pool, made);
        else
            SDLBackgroundDecoder::convertRaw(reinterpret_cast<const uint8_t*>(k.frame.constData()),
                                             k.frame.size(), k.format, QSize(k.w, k.h), crop, at, scratch,
                                             pool, made);
        held = std::move(made);
    };
    for (int i = 0; i < 3; ++i) // the kept buffers and the scratch made
        one();
    const long f0 = minorFaults(RUSAGE_THREAD);
    const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const auto w0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i)
        one();
    Figures out;
    out.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count() / kFrames;
    out.cpuMs = (cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0) / kFrames;
    out.faults = double(minorFaults(RUSAGE_THREAD) - f0) / kFrames;
    tjDestroy(tj);
    return out;
}

// The same in a new process of this program that set the fixed 2 MB
// mapping bound first thing, as main() did (in a process that already has
// free room of that size in its heaps, the bound maps nothing).
Figures makePicturesMapped(const Case& k) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        const std::string format = std::to_string(k.format), width = std::to_string(k.w);
        execl("/proc/self/exe", "bench_live_pictures", "--mapped", format.c_str(), width.c_str(), nullptr);
        _exit(1);
    }
    close(fds[1]);
    Figures f;
    if (child < 0 || read(fds[0], &f, sizeof f) != ssize_t(sizeof f))
        f = Figures();
    close(fds[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return f;
}

void runCase(const Case& k, int rounds) {
    enum { Ours, Heap, Mapped, Arms };
    const char* names[Arms] = {"ours: three kept buffers", "one buffer, heap (before the bound)",
                               "one buffer, mapped (the 2 MB bound)"};
    std::vector<Figures> got[Arms];
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < Arms; ++i) {
            const int arm = (i + r) % Arms; // none always first
            if (arm == Ours)
                got[arm].push_back(makePictures(k, 3));
            else if (arm == Heap)
                got[arm].push_back(makePictures(k, 1));
            else
                got[arm].push_back(makePicturesMapped(k));
        }
    const VideoCrop crop = viewCrop(k);
    std::printf("%-6s %4dx%-4d -> picture %dx%d, %d rounds of %d frames (medians per frame)\n", k.name, k.w,
                k.h, int(crop.target.width()), int(crop.target.height()), rounds, kFrames);
    Figures med[Arms];
    for (int a = 0; a < Arms; ++a) {
        std::vector<double> f, c, w;
        for (const Figures& x : got[a]) {
            f.push_back(x.faults);
            c.push_back(x.cpuMs);
            w.push_back(x.wallMs);
        }
        med[a] = {median(f), median(c), median(w)};
        std::printf("    %-38s faults %7.1f  cpu %6.2f ms  wall %6.2f ms\n", names[a], med[a].faults,
                    med[a].cpuMs, med[a].wallMs);
    }
    for (int ref : {Heap, Mapped})
        std::printf("    => ours / %-30s cpu %.3f  wall %.3f  faults %.1f against %.1f\n", names[ref],
                    med[Ours].cpuMs / med[ref].cpuMs, med[Ours].wallMs / med[ref].wallMs, med[Ours].faults,
                    med[ref].faults);
}

Case makeCase(int format, int width) {
    const int height = width * 9 / 16;
    const cv::Mat bgr = benchSpecimen(width, height);
    if (format == PixFmtMJPG)
        return {"MJPG", format, YuvPack::bgrToJpeg(bgr, 85, false), width, height};
    QByteArray nv12(int(YuvPack::rawFrameBytes(PixFmtNV12, width, height)), Qt::Uninitialized);
    YuvPack::bgrToNv12(bgr, reinterpret_cast<uint8_t*>(nv12.data()));
    return {"NV12", format, nv12, width, height};
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--mapped") {
        mallopt(M_MMAP_THRESHOLD, 2 << 20);
        mallopt(M_ARENA_MAX, 2);
        const Figures f = makePictures(makeCase(std::atoi(argv[2]), std::atoi(argv[3])), 1);
        return write(1, &f, sizeof f) == ssize_t(sizeof f) ? 0 : 1;
    }
    // The program's heaps (main() sets two).
    mallopt(M_ARENA_MAX, 2);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    runCase(makeCase(PixFmtNV12, 3840), rounds);
    runCase(makeCase(PixFmtMJPG, 3840), rounds);
    runCase(makeCase(PixFmtNV12, 1920), rounds);
    return 0;
}
