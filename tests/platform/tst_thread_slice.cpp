// The interface thread's short time slice: the kernel keeps it, the thread's
// nice value and policy stay as they were, and threads it starts afterwards
// (decoders, writers) do not inherit it.
#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <thread>

namespace {

int ownNice() { return getpriority(PRIO_PROCESS, 0); }

} // namespace

TEST(ThreadSlice, ShortSliceKeepsNiceAndPolicyAndIsNotInherited) {
    std::thread([] {
        const int defaultSlice = ThreadPriority::sliceUs();
        // A nice value of its own (raising it needs no privilege): a slice
        // request that carried nice 0 would reset it.
        ASSERT_EQ(setpriority(PRIO_PROCESS, 0, 7), 0);
        ASSERT_EQ(ownNice(), 7);
        if (!ThreadPriority::makeResponsive(1000))
            GTEST_SKIP() << "the kernel takes no slice of a thread's own";
        EXPECT_EQ(ThreadPriority::sliceUs(), 1000);
        EXPECT_EQ(ownNice(), 7);
        EXPECT_EQ(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_OTHER);
        int childSlice = -1;
        std::thread([&] { childSlice = ThreadPriority::sliceUs(); }).join();
        EXPECT_NE(childSlice, 1000);
        EXPECT_EQ(childSlice, defaultSlice);
    }).join();
}

TEST(ThreadSlice, BackgroundThreadKeepsItsPolicy) {
    std::thread([] {
        ASSERT_TRUE(ThreadPriority::makeBackground());
        if (!ThreadPriority::makeResponsive(2000))
            GTEST_SKIP() << "the kernel takes no slice of a thread's own";
        EXPECT_TRUE(ThreadPriority::isBackground());
        EXPECT_EQ(ThreadPriority::sliceUs(), 2000);
    }).join();
}

TEST(ThreadSlice, CaptureThreadGoesBeforeTheProcessesOtherThreads) {
    // Under a real-time policy threads of one priority wait for each other's
    // work: the capture thread takes one step above; under the fair policies
    // it takes the short slice.
    std::thread([] {
        sched_param rr{};
        rr.sched_priority = 10;
        if (sched_setscheduler(0, SCHED_RR, &rr) != 0)
            GTEST_SKIP() << "no real-time policy for this user";
        ASSERT_TRUE(ThreadPriority::makePrompt(1000));
        sched_param now{};
        ASSERT_EQ(sched_getparam(0, &now), 0);
        EXPECT_EQ(sched_getscheduler(0), SCHED_RR);
        EXPECT_EQ(now.sched_priority, 11);
    }).join();
    std::thread([] {
        sched_param fair{};
        ASSERT_EQ(sched_setscheduler(0, SCHED_OTHER, &fair), 0);
        if (ThreadPriority::makePrompt(1000)) {
            EXPECT_EQ(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_OTHER);
            EXPECT_EQ(ThreadPriority::sliceUs(), 1000);
        }
    }).join();
}
