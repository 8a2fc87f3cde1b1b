// Work run on a thread of its own while its caller looks at a stop flag.
#include "imaging/StoppableWork.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

using namespace std::chrono_literals;

// A stop that comes while the work runs is acted on at the first look that
// sees it, the work left far from its end (it has fifty looks' worth to do).
// Everything the work touches is its own: it runs on after the stop.
TEST(StoppableWork, AStopDuringTheWorkEndsTheWaitAtTheNextLook) {
    struct State {
        std::atomic<int> looks{0}, stopsSeen{0}, steps{0};
        std::atomic<bool> stop{false};
    };
    constexpr int steps = 500; // of 1 ms each
    auto s = std::make_shared<State>();
    const bool ended = StoppableWork::run(
        [s] {
            for (int i = 0; i < steps; ++i) {
                if (s->looks.load() > 0)
                    s->stop = true; // once the caller looked and went on waiting
                std::this_thread::sleep_for(1ms);
                ++s->steps;
            }
        },
        [s] {
            ++s->looks;
            const bool stop = s->stop.load();
            s->stopsSeen += stop ? 1 : 0;
            return stop;
        });
    EXPECT_FALSE(ended);
    EXPECT_EQ(s->stopsSeen.load(), 1) << "a stop seen and waited past";
    EXPECT_LT(s->steps.load(), steps) << "the caller waited for the work's end";
}

// An exception the work throws (a refused allocation among them) reaches the
// caller: the work did not end.
TEST(StoppableWork, AnExceptionOfTheWorkReachesTheCaller) {
    const auto notStopped = [] { return false; };
    EXPECT_THROW(StoppableWork::run([] { throw std::bad_alloc(); }, notStopped), std::bad_alloc);
    EXPECT_THROW(StoppableWork::run([] { CV_Error(cv::Error::StsNoMem, "refused"); }, notStopped), cv::Exception);
}

// The program's end waits for the work a stop left running: the work ends
// whole (saying so on its way), never cut off with the process.
TEST(StoppableWorkDeathTest, TheProgramsEndWaitsForStoppedWork) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            auto returned = std::make_shared<std::atomic<bool>>(false);
            const bool ended = StoppableWork::run(
                [returned] {
                    while (!returned->load())
                        std::this_thread::sleep_for(1ms);
                    std::this_thread::sleep_for(200ms); // still at work while the program ends
                    std::fputs("the stopped work ended\n", stderr);
                },
                [] { return true; });
            returned->store(true);
            std::exit(ended ? 1 : 0);
        },
        testing::ExitedWithCode(0), "the stopped work ended");
}
