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
// Beside them, a stitching worker job (the frame-to-frame match of two
// 1920x1080 frames of the panned specimen, precision mode, as the worker
// runs it, OpenCV on the calling thread alone), from the heaps and with the
// 2 MB bound (a new process again).
// Each arm's figures are its calling thread's (the decoder thread's work):
// minor page faults (getrusage RUSAGE_THREAD), thread CPU and wall time per
// frame. The program's heaps as main() sets them (two).
#include "camera/BaseCamera.h"
#include "camera/SDLBackgroundDecoder.h"
#include "imaging/StitchMatcher.h"
#include "bench/support/BenchSpecimen.h"
#include "tests/imaging/StitchPanGenerator.h"
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
#include <functional>
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

constexpr int kJobs = 5; // stitching jobs a round

// kJobs frame-to-frame matches, as the stitching worker runs them.
Figures matchJobs() {
    cv::setNumThreads(1);
    StitchPanOptions options;
    options.specimen = cv::Size(2600, 1500);
    options.uniformPatch = cv::Rect(0, 0, 0, 0);
    static const StitchPanGenerator gen(options);
    static const cv::Mat reference = gen.frameAt(QPointF(0, 0), 0), frame = gen.frameAt(QPointF(300, 120), 1);
    StitchMatcher matcher;
    StitchVotes votes;
    int x = 0, y = 0;
    matcher.matchFrames(reference, frame, true, &x, &y, &votes);
    const long f0 = minorFaults(RUSAGE_THREAD);
    const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    const auto w0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kJobs; ++i)
        matcher.matchFrames(reference, frame, true, &x, &y, &votes);
    Figures out;
    out.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count() / kJobs;
    out.cpuMs = (cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0) / kJobs;
    out.faults = double(minorFaults(RUSAGE_THREAD) - f0) / kJobs;
    return out;
}

// The same in a new process of this program that set the fixed 2 MB
// mapping bound first thing, as main() did (in a process that already has
// free room of that size in its heaps, the bound maps nothing).
Figures mapped(const std::string& format, const std::string& width) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
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

// The arms' medians, the first arm (ours) against each of the others.
void report(const std::vector<const char*>& names, const std::vector<std::vector<Figures>>& got) {
    std::vector<Figures> med;
    for (size_t a = 0; a < got.size(); ++a) {
        std::vector<double> f, c, w;
        for (const Figures& x : got[a]) {
            f.push_back(x.faults);
            c.push_back(x.cpuMs);
            w.push_back(x.wallMs);
        }
        med.push_back({median(f), median(c), median(w)});
        std::printf("    %-38s faults %7.1f  cpu %7.2f ms  wall %7.2f ms\n", names[a], med[a].faults,
                    med[a].cpuMs, med[a].wallMs);
    }
    for (size_t ref = 1; ref < got.size(); ++ref)
        std::printf("    => ours / %-36s cpu %.3f  wall %.3f  faults %.1f against %.1f\n", names[ref],
                    med[0].cpuMs / med[ref].cpuMs, med[0].wallMs / med[ref].wallMs, med[0].faults,
                    med[ref].faults);
}

// Runs the arms in turn, round after round, each round starting one arm
// further on (none always first).
std::vector<std::vector<Figures>> interleaved(const std::vector<std::function<Figures()>>& arms, int rounds) {
    std::vector<std::vector<Figures>> got(arms.size());
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < arms.size(); ++i) {
            const size_t arm = (i + size_t(r)) % arms.size();
            got[arm].push_back(arms[arm]());
        }
    return got;
}

void runCase(const Case& k, int rounds) {
    const std::string format = std::to_string(k.format), width = std::to_string(k.w);
    const auto got = interleaved({[&] { return makePictures(k, 3); }, [&] { return makePictures(k, 1); },
                                  [&] { return mapped(format, width); }},
                                 rounds);
    const VideoCrop crop = viewCrop(k);
    std::printf("%-6s %4dx%-4d -> picture %dx%d, %d rounds of %d frames (medians per frame)\n", k.name, k.w,
                k.h, int(crop.target.width()), int(crop.target.height()), rounds, kFrames);
    report({"ours: three kept buffers", "one buffer, heap (before the bound)",
            "one buffer, mapped (the 2 MB bound)"},
           got);
}

void runStitch(int rounds) {
    const auto got = interleaved({matchJobs, [] { return mapped("stitch", "0"); }}, rounds);
    std::printf("stitching frame-to-frame match, 1920x1080, %d rounds of %d jobs (medians per job)\n", rounds,
                kJobs);
    report({"ours: from the heaps", "mapped (the 2 MB bound)"}, got);
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
        const std::string what = argv[2];
        const Figures f = what == "stitch"
                              ? matchJobs()
                              : makePictures(makeCase(std::atoi(argv[2]), std::atoi(argv[3])), 1);
        return write(1, &f, sizeof f) == ssize_t(sizeof f) ? 0 : 1;
    }
    // The program's heaps (main() sets two).
    mallopt(M_ARENA_MAX, 2);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    runCase(makeCase(PixFmtNV12, 3840), rounds);
    runCase(makeCase(PixFmtMJPG, 3840), rounds);
    runCase(makeCase(PixFmtNV12, 1920), rounds);
    runStitch(std::max(3, rounds / 3));
    return 0;
}
