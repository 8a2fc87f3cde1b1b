// Focus stacking's per-frame buffers on 4K frames: the gate's measure of
// every camera frame and one fusion pass, as the worker does them (the frame
// reduced to an eighth before it is measured, the focus map worked out in one
// plane kept from frame to frame), beside the previous buffers (a full-size
// YCrCb and luma plane made for every measure, three full-size 16-bit planes
// for every focus map), interleaved in one process. Prints frames fused a
// second, the calling thread's CPU and the process's CPU per frame, and page
// faults per frame, with the ratios ours / previous.
//
// Usage: bench_focus_buffers [--frames N] [--rounds R] [--mmap-threshold BYTES]
// --mmap-threshold sets the C library's mapping threshold first (the program
// set 2 MB in main(); 0 leaves the library's own sliding threshold).

#include "imaging/FocusFrameGate.h"
#include "imaging/FocusFusionPlanes.h"
#include "imaging/FocusStackGenerator.h"
#include "imaging/FocusStackMath.h"

#include <opencv2/imgproc.hpp>

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

namespace gen = FocusStackGenerator;
using Clock = std::chrono::steady_clock;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

struct Usage {
    double cpuMs;
    long faults;
};

Usage processUsage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-3,
            u.ru_minflt + u.ru_majflt};
}

struct Figures {
    double wallMs = 0, threadMs = 0, processMs = 0;
    long faults = 0;
    int frames = 0;
    void add(const Figures& o) {
        wallMs += o.wallMs;
        threadMs += o.threadMs;
        processMs += o.processMs;
        faults += o.faults;
        frames += o.frames;
    }
};

// The previous gate measure: full-size luma first.
void previousMeasure(const FocusFrameGate& gate, const cv::Mat& rgb, std::vector<float>& grid) {
    cv::Mat y;
    FocusStackMath::luma(rgb, y);
    FocusStackMath::gridSharpness(FocusStackMath::eighth(y), gate.cells(), grid);
}

// One frame as the save thread and the worker handle it: measured by the
// gate, converted, mapped and fused.
struct Pass {
    FocusFrameGate gate;
    FocusFusionPlanes planes;
    cv::Mat current, luma, focus, scratch;
    std::vector<float> grid;

    explicit Pass(const cv::Mat& first) {
        gate.initGrid(first);
        cv::cvtColor(first, current, cv::COLOR_RGB2YCrCb);
        cv::extractChannel(current, luma, 0);
        FocusStackMath::focusMap(luma, focus);
        planes.init(current, focus);
    }
    void run(const cv::Mat& rgb, bool previous) {
        if (previous)
            previousMeasure(gate, rgb, grid);
        else
            gate.measure(rgb, grid);
        cv::cvtColor(rgb, current, cv::COLOR_RGB2YCrCb);
        cv::extractChannel(current, luma, 0);
        FocusStackMath::focusMap(luma, focus, {}, previous ? nullptr : &scratch);
        planes.fuse(current, focus);
    }
};

Figures measure(Pass& pass, const std::vector<cv::Mat>& frames, bool previous) {
    Figures f;
    const Usage u0 = processUsage();
    const double t0 = threadCpuMs();
    const auto w0 = Clock::now();
    for (const cv::Mat& frame : frames)
        pass.run(frame, previous);
    f.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - w0).count();
    f.threadMs = threadCpuMs() - t0;
    const Usage u1 = processUsage();
    f.processMs = u1.cpuMs - u0.cpuMs;
    f.faults = u1.faults - u0.faults;
    f.frames = int(frames.size());
    return f;
}

void print(const char* name, const Figures& f) {
    std::printf("  %-9s %6.2f frames/s   thread CPU %7.1f ms/frame   process CPU %7.1f ms/frame   %8.0f page "
                "faults/frame\n",
                name, 1e3 * f.frames / f.wallMs, f.threadMs / f.frames, f.processMs / f.frames,
                double(f.faults) / f.frames);
}

} // namespace

int main(int argc, char** argv) {
    int frames = 8, rounds = 6;
    long threshold = 2 << 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--frames"))
            frames = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--mmap-threshold"))
            threshold = std::atol(argv[i + 1]);
    }
    if (threshold > 0)
        mallopt(M_MMAP_THRESHOLD, int(threshold));
    gen::StackParams p;
    p.size = cv::Size(3840, 2160);
    p.frames = frames;
    const gen::Stack stack = gen::makeStack(p);
    std::printf(
        "Focus stacking buffers: %d frames of %d x %d, %d rounds each, interleaved; mmap threshold %s\n",
        frames, p.size.width, p.size.height, rounds,
        threshold > 0 ? (std::to_string(threshold) + " bytes").c_str() : "the library's own");
    Pass previousPass(stack.frames[0]), ourPass(stack.frames[0]);
    measure(previousPass, stack.frames, true); // warm both: the first round maps the run's planes
    measure(ourPass, stack.frames, false);
    Figures previous, ours;
    for (int r = 0; r < rounds; ++r) {
        previous.add(measure(previousPass, stack.frames, true));
        ours.add(measure(ourPass, stack.frames, false));
    }
    print("previous", previous);
    print("ours", ours);
    std::printf("  ours / previous: frames/s %.2f, thread CPU %.2f, process CPU %.2f, page faults %.3f\n",
                (ours.frames / ours.wallMs) / (previous.frames / previous.wallMs),
                ours.threadMs / previous.threadMs, ours.processMs / previous.processMs,
                double(ours.faults) / std::max(1L, previous.faults));
    return 0;
}
