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
