#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

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

bool isBackground() {
#ifdef SCHED_BATCH
    int policy = 0;
    sched_param param{};
    return pthread_getschedparam(pthread_self(), &policy, &param) == 0 && policy == SCHED_BATCH;
#else
    return false;
#endif
}

} // namespace ThreadPriority
