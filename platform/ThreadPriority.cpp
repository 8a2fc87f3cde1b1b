#include "platform/ThreadPriority.h"

#include <opencv2/core/utility.hpp>
#include <oneapi/tbb/task_scheduler_observer.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
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

namespace {

constexpr uint64_t kResetOnFork = 0x01; // SCHED_FLAG_RESET_ON_FORK

// The kernel's struct sched_attr (glibc has no wrapper for sched_setattr).
struct SchedAttr {
    uint32_t size;
    uint32_t policy;
    uint64_t flags;
    int32_t nice;
    uint32_t priority;
    uint64_t runtime; // for the fair policies: the time slice asked for (ns)
    uint64_t deadline;
    uint64_t period;
};

bool readAttr(SchedAttr& attr) {
#ifdef SYS_sched_getattr
    attr = SchedAttr{};
    return syscall(SYS_sched_getattr, 0, &attr, unsigned(sizeof attr), 0u) == 0;
#else
    (void)attr;
    return false;
#endif
}

} // namespace

bool makeResponsive(int sliceUs) {
#ifdef SYS_sched_setattr
    SchedAttr attr{};
    if (!readAttr(attr) || (attr.policy != SCHED_OTHER && attr.policy != SCHED_BATCH))
        return false;
    attr.size = sizeof attr;
    // Threads it starts later (workers) take the default slice again.
    attr.flags = kResetOnFork;
    attr.nice = getpriority(PRIO_PROCESS, 0); // the thread's own, as it is
    attr.runtime = uint64_t(sliceUs) * 1000u;
    if (syscall(SYS_sched_setattr, 0, &attr, 0u) != 0)
        return false;
    SchedAttr now{};
    return readAttr(now) && now.runtime == attr.runtime;
#else
    (void)sliceUs;
    return false;
#endif
}

namespace {
thread_local bool t_stepUp = false; // makePrompt took the calling thread a step up
} // namespace

bool makePrompt(int sliceUs) {
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0)
        return false;
    if (policy == SCHED_RR || policy == SCHED_FIFO) {
        if (t_stepUp || param.sched_priority >= sched_get_priority_max(policy))
            return false;
        ++param.sched_priority;
        t_stepUp = pthread_setschedparam(pthread_self(), policy, &param) == 0;
        return t_stepUp;
    }
    return makeResponsive(sliceUs);
}

bool endStepUp() {
    int policy = 0;
    sched_param param{};
    if (!t_stepUp || pthread_getschedparam(pthread_self(), &policy, &param) != 0)
        return false;
    --param.sched_priority;
    t_stepUp = pthread_setschedparam(pthread_self(), policy, &param) != 0;
    return !t_stepUp;
}

long voluntarySwitches() {
    rusage use{};
    return getrusage(RUSAGE_THREAD, &use) == 0 ? use.ru_nvcsw : -1;
}

int sliceUs() {
    SchedAttr attr{};
    return readAttr(attr) ? int(attr.runtime / 1000u) : 0;
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
