#include "platform/ThreadPriority.h"

#include <opencv2/core/utility.hpp>
#include <oneapi/tbb/task_scheduler_observer.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace ThreadPriority {

// Linux's batch policy: the same weight as any other thread (nice value
// kept), but a woken batch thread waits for the next scheduling point
// instead of preempting the thread that is running. Allowed to every user.
bool makeBackground() {
#ifdef SCHED_BATCH
    sched_param param{};
    param.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0;
#else
    return false;
#endif
}

static bool makeOrdinary() {
    sched_param param{};
    param.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) == 0;
}

bool isBackground() {
#ifdef SCHED_BATCH
    int policy = 0;
    sched_param param{};
    return pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_BATCH;
#else
    return false;
#endif
}

namespace {

std::atomic<bool> g_openCvBackground{true};

// Told of every OpenCV thread as it joins OpenCV's loops (the threads
// already at work before the first loop they take after this).
class OpenCvThreadWatch : public tbb::task_scheduler_observer {
public:
    void on_scheduler_entry(bool isWorker) override {
        if (!isWorker)
            return;
        if (g_openCvBackground.load())
            makeBackground();
        else
            makeOrdinary();
    }
};

} // namespace

bool makeOpenCvThreadsBackground(bool on) {
    g_openCvBackground.store(on);
    // OpenCV runs its loops in a thread arena of its own, made anew by
    // cv::setNumThreads: the watch joins it from inside one of its loops.
    static std::mutex lock;
    static std::vector<std::unique_ptr<OpenCvThreadWatch>> watches; // alive as long as the process
    static int watchedFor = 0;
    std::lock_guard<std::mutex> guard(lock);
    const int threads = cv::getNumThreads();
    if (threads <= 1)
        return false;
    if (watchedFor == threads)
        return true;
    auto watch = std::make_unique<OpenCvThreadWatch>();
    std::atomic<bool> joined{false};
    cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range&) {
        if (!joined.exchange(true))
            watch->observe(true);
    });
    watches.push_back(std::move(watch));
    watchedFor = threads;
    return true;
}

} // namespace ThreadPriority
