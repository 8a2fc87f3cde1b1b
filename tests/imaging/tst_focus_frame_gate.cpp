// The focus-stacking frame gate on hand-made sharpness grids: the plain rule,
// the Zoom And Align cell tracking (rise, peak, fall, hold) and the queue
// outcomes, plus the candidate validity guard.

#include "imaging/FocusFrameGate.h"

#include <gtest/gtest.h>

namespace {

using Outcome = FocusFrameGate::Outcome;

std::vector<float> flatGrid(float v = 1.0f) { return std::vector<float>(256, v); }

std::vector<float> withCell(int cell, float v, float rest = 1.0f) {
    auto g = flatGrid(rest);
    g[cell] = v;
    return g;
}

// A tiny picture tagged by its value, standing in for a camera frame.
cv::Mat frame(int tag) { return cv::Mat(2, 2, CV_8UC3, cv::Scalar(tag, tag, tag)); }

int tagOf(const cv::Mat& m) { return m.empty() ? -1 : m.at<cv::Vec3b>(0, 0)[0]; }

} // namespace

TEST(FocusFrameGate, PlainRuleTakesAFrameWhenOneCellIsClearlySharper) {
    FocusFrameGate gate;
    gate.start(flatGrid(10.0f));
    EXPECT_FALSE(gate.decide(flatGrid(12.0f), frame(1), false).accepted); // exactly 1.2x
    EXPECT_FALSE(gate.hasCandidate());
    const auto v = gate.decide(withCell(7, 12.01f, 10.0f), frame(2), false);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(tagOf(gate.candidate()), 2);
    // The plain rule leaves the cell tracking alone.
    EXPECT_EQ(gate.mode(), 0);
    EXPECT_EQ(gate.states()[7], FocusFrameGate::Flat);
}

TEST(FocusFrameGate, AcceptedFramesRaiseTheBaselineSoRepeatsAreDropped) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    const auto sharp = withCell(3, 5.0f);
    auto v = gate.decide(sharp, frame(1), false);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(gate.commit(v, sharp, false), Outcome::Appended);
    EXPECT_FLOAT_EQ(gate.baseline()[3], 5.0f);
    // The same frame again is no longer 1.2x sharper anywhere.
    EXPECT_FALSE(gate.decide(sharp, frame(1), false).accepted);
}

TEST(FocusFrameGate, AlignQueuesThePeakFrameWhenACellStartsToFall) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    // Rising: each frame only refreshes the candidate.
    auto v = gate.decide(withCell(5, 2.0f), frame(1), true);
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.mode, 1);
    v = gate.decide(withCell(5, 3.0f), frame(2), true);
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(tagOf(gate.candidate()), 2);
    EXPECT_EQ(gate.states()[5], FocusFrameGate::Rising);
    // 2.5 < 0.95 x 3.0 and 3.0 > 1.2 x 1: falling. The candidate (frame 2, the
    // peak) is what gets queued, not the falling frame.
    v = gate.decide(withCell(5, 2.5f), frame(3), true);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(v.mode, 2);
    EXPECT_EQ(v.fallCount, 1);
    EXPECT_EQ(tagOf(gate.candidate()), 2);
}

TEST(FocusFrameGate, ThreeRaisedFramesInARowQueueTheThirdAndTheHoldCountStopsAtTen) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    EXPECT_EQ(gate.decide(withCell(9, 2.0f), frame(1), true).mode, 1);
    // Steady at 2.0: raised but not rising.
    for (int k = 2; k <= 3; ++k) {
        const auto v = gate.decide(withCell(9, 2.0f), frame(k), true);
        EXPECT_EQ(v.mode, 3);
        EXPECT_FALSE(v.accepted);
    }
    auto v = gate.decide(withCell(9, 2.0f), frame(4), true);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(tagOf(gate.candidate()), 4);
    for (int k = 5; k < 20; ++k)
        EXPECT_FALSE(gate.decide(withCell(9, 2.0f), frame(k), true).accepted);
    EXPECT_EQ(gate.holds(), 10);
    // A rising frame sets the count back.
    gate.decide(withCell(9, 3.0f), frame(30), true);
    EXPECT_EQ(gate.holds(), 0);
}

TEST(FocusFrameGate, FallWithoutAPeakFrameOfThisRunQueuesNothing) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    gate.decide(withCell(5, 3.0f), frame(1), true);
    EXPECT_TRUE(gate.hasCandidate());
    // The run's pictures are discarded (reset) while the tracking stays.
    gate.releaseCandidate();
    const auto v = gate.decide(withCell(5, 2.0f), frame(2), true);
    EXPECT_EQ(v.mode, 2);
    EXPECT_FALSE(v.accepted);
    // A new run starts without a candidate.
    gate.decide(withCell(5, 4.0f), frame(3), true);
    gate.start(flatGrid());
    EXPECT_FALSE(gate.hasCandidate());
}

TEST(FocusFrameGate, AFullQueueTakesOnlyAHigherRankedOrMoreFallingFrame) {
    auto cells = [](int from, int to, float v) {
        auto g = flatGrid();
        for (int i = from; i <= to; ++i)
            g[i] = v;
        return g;
    };
    FocusFrameGate gate;
    gate.start(flatGrid());
    FocusFrameGate::Verdict v;
    v.accepted = true;
    // The score is that of the baseline before the frame: flat -> cells 0..79.
    EXPECT_EQ(gate.commit(v, cells(0, 79, 9.0f), false), Outcome::Appended);
    EXPECT_EQ(gate.score(), 79 * 80 / 2);
    EXPECT_EQ(gate.commit(v, cells(176, 255, 20.0f), false), Outcome::Appended);
    EXPECT_EQ(gate.score(), 79 * 80 / 2);
    // Full queue. The baseline now ranks cells 176..255 first: a higher score
    // replaces the waiting frame.
    EXPECT_EQ(gate.commit(v, cells(100, 100, 30.0f), true), Outcome::Replaced);
    EXPECT_EQ(gate.score(), (176 + 255) * 80 / 2);
    EXPECT_FLOAT_EQ(gate.baseline()[100], 30.0f);
    // Same score, no more falling cells: dropped, baseline untouched.
    EXPECT_EQ(gate.commit(v, cells(101, 101, 40.0f), true), Outcome::Dropped);
    EXPECT_FLOAT_EQ(gate.baseline()[101], 1.0f);
    // More falling cells than the last accepted frame: replaces.
    v.fallCount = 3;
    EXPECT_EQ(gate.commit(v, cells(101, 101, 40.0f), true), Outcome::Replaced);
    EXPECT_EQ(gate.fallCount(), 3);
    // The same count again is dropped; the count is recorded either way.
    EXPECT_EQ(gate.commit(v, cells(102, 102, 40.0f), true), Outcome::Dropped);
    v.fallCount = 1;
    EXPECT_EQ(gate.commit(v, cells(102, 102, 40.0f), true), Outcome::Dropped);
    EXPECT_EQ(gate.fallCount(), 1);
}
