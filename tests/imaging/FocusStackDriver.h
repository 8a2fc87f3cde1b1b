#pragma once

#include "imaging/ThreadJingShenHigh.h"

#include <opencv2/core.hpp>

#include <vector>

// Drives a focus-stacking worker through one run the way the camera and the
// panel do: the first frame goes in while the worker is idle, the run is
// prepared (as the panel does on snapJingShenBeginSIGNAL), and the remaining
// frames are pushed from a separate thread, standing in for the camera's save
// thread. Used by the focus-stacking tests and benchmarks.
namespace FocusStackDriver {

struct Options {
    bool align = false;   // Zoom And Align
    int repeats = 1;      // every frame pushed this many times in a row
    // Before each new frame wait until the worker has fused everything queued,
    // so every frame the gate takes is fused and the run is deterministic.
    bool drain = true;
    int framePeriodMs = 0; // pause after each push (camera rate)
    // Without drain: a worker that falls behind the camera. After every this
    // many pushes wait until the worker has fused what is queued, so it gets
    // about one pass per this many frames offered, however fast the machine
    // (0: never wait, the camera runs as fast as the pushes go).
    int offeredPerFused = 0;
};

struct RunStats {
    int pushed = 0;
    int fused = 0;
    double wallMs = 0;   // from the first push to the last fused frame
    double pushMs = 0;   // time spent inside pushFrame (gate) on the pushing thread
};

// Runs the frames through `worker` (reset first) and returns the fused
// picture (RGB888); the worker is stopped at the end.
cv::Mat run(ThreadJingShenHigh& worker, const std::vector<cv::Mat>& frames, const Options& options,
            RunStats* stats = nullptr);

// Waits until the worker's queue is empty; false after about `limitMs`.
bool waitDrained(ThreadJingShenHigh& worker, int limitMs = 60000);

// Installs a camera unlink hook for its own lifetime, so that a hook with
// captures of a test case never outlives the case (also when a check fails).
class ScopedUnlinkHook {
public:
    explicit ScopedUnlinkHook(ThreadJingShenHigh::CameraUnlinkHook hook);
    ~ScopedUnlinkHook();
    ScopedUnlinkHook(const ScopedUnlinkHook&) = delete;
    ScopedUnlinkHook& operator=(const ScopedUnlinkHook&) = delete;
};

} // namespace FocusStackDriver
