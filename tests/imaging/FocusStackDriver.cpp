#include "FocusStackDriver.h"

#include <chrono>
#include <thread>

namespace FocusStackDriver {

bool waitDrained(ThreadJingShenHigh& worker, int limitMs) {
    // Short steps: the benchmark's time per frame includes this wait.
    for (int waited = 0; worker.queueLength() > 0; ++waited) {
        if (waited >= limitMs * 5)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

cv::Mat run(ThreadJingShenHigh& worker, const std::vector<cv::Mat>& frames, const Options& options,
            RunStats* stats) {
    using Clock = std::chrono::steady_clock;
    RunStats local;
    worker.resetData();
    worker.alignEnabled = options.align;
    if (frames.empty())
        return cv::Mat();
    const auto t0 = Clock::now();
    worker.pushFrame(frames[0].data, frames[0].cols, frames[0].rows);
    worker.prepareFirstFrame();

    std::thread camera([&] {
        for (size_t k = 1; k < frames.size(); ++k)
            for (int r = 0; r < options.repeats; ++r) {
                const auto p0 = Clock::now();
                worker.pushFrame(frames[k].data, frames[k].cols, frames[k].rows);
                local.pushMs += std::chrono::duration<double, std::milli>(Clock::now() - p0).count();
                ++local.pushed;
                if (options.drain || (options.offeredPerFused > 0 && local.pushed % options.offeredPerFused == 0))
                    waitDrained(worker);
                if (options.framePeriodMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(options.framePeriodMs));
            }
    });
    camera.join();
    waitDrained(worker);
    local.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    local.fused = worker.fusedCount();
    worker.requestStop();
    worker.wait();
    cv::Mat out;
    worker.copyResult(out);
    if (stats)
        *stats = local;
    return out;
}

ScopedUnlinkHook::ScopedUnlinkHook(ThreadJingShenHigh::CameraUnlinkHook hook) {
    ThreadJingShenHigh::setCameraUnlinkHook(std::move(hook));
}

ScopedUnlinkHook::~ScopedUnlinkHook() { ThreadJingShenHigh::setCameraUnlinkHook(nullptr); }

} // namespace FocusStackDriver
