// The focus-stacking frame gate on hand-made sharpness grids: the plain rule,
// the Zoom And Align cell tracking (rise, peak, fall, hold) and the queue
// outcomes, plus the candidate validity guard.

#include "FocusStackGenerator.h"

#include "imaging/FocusFrameGate.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <deque>

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

// A flat grid with cells from..to at v.
std::vector<float> cells(int from, int to, float v) {
    auto g = flatGrid();
    for (int i = from; i <= to; ++i)
        g[size_t(i)] = v;
    return g;
}

} // namespace

TEST(FocusFrameGate, PlainRuleTakesAFrameWhenOneCellIsClearlySharper) {
    FocusFrameGate gate;
    gate.start(flatGrid(10.0f));
    EXPECT_FALSE(gate.decide(flatGrid(10.5f), frame(1), false).accepted); // exactly 1.05x
    EXPECT_FALSE(gate.hasCandidate());
    // A tenth sharper is taken: a band's peak frame is often only that much
    // sharper than its neighbour, and skipping it left the band blurred.
    const auto v = gate.decide(withCell(7, 11.0f, 10.0f), frame(2), false);
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
    EXPECT_EQ(gate.commit(sharp, false), Outcome::Appended);
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

// With one frame in fusion and one waiting, a frame that comes gives the
// waiting frame the cells in which it is sharper than both it and what the
// fused and fusing frames hold, whatever else either frame brings.
TEST(FocusFrameGate, AFullQueueMergesIntoTheWaitingFrameTheCellsThatSharpenThePicture) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    EXPECT_EQ(gate.commit(cells(0, 3, 8.0f), false), Outcome::Appended);
    // Waiting: 16 cells raised 8-fold.
    EXPECT_EQ(gate.commit(cells(64, 79, 8.0f), false), Outcome::Appended);
    // One cell 30-fold: that cell joins the waiting frame, which keeps its own.
    EXPECT_EQ(gate.commit(cells(100, 100, 30.0f), true), Outcome::Merged);
    EXPECT_EQ(gate.mergedCells(), std::vector<int>{100});
    EXPECT_FLOAT_EQ(gate.held()[100], 30.0f);
    EXPECT_FLOAT_EQ(gate.held()[70], 8.0f);
    // What the fusing and the waiting frame hold is not taken again.
    EXPECT_EQ(gate.commit(cells(0, 3, 8.0f), true), Outcome::Dropped);
    EXPECT_EQ(gate.commit(cells(64, 79, 7.0f), true), Outcome::Dropped);
    // Sharper than the fusing frame in cells 2..3, than the waiting one in 64.
    auto g = cells(2, 3, 50.0f);
    g[64] = 9.0f;
    g[70] = 5.0f;
    EXPECT_EQ(gate.commit(g, true), Outcome::Merged);
    EXPECT_EQ(gate.mergedCells(), (std::vector<int>{2, 3, 64}));
    EXPECT_FLOAT_EQ(gate.held()[70], 8.0f);
}

// The areas a merge copies cover the frame once, the grid's margins too.
TEST(FocusFrameGate, CellAreasTileTheFrame) {
    for (const cv::Size size : {cv::Size(3840, 2160), cv::Size(1000, 750)}) {
        FocusFrameGate gate;
        gate.initGrid(cv::Mat(size, CV_8UC3, cv::Scalar::all(0)));
        cv::Mat covered(size, CV_8U, cv::Scalar(0));
        for (int cell = 0; cell < 256; ++cell)
            covered(gate.area(cell, size)) += 1;
        EXPECT_EQ(cv::countNonZero(covered != 1), 0) << size;
    }
}

// Cells in which a frame offered was clearly sharper than the fused picture
// are still rising; within the gate's margin they are not.
TEST(FocusFrameGate, RisingCellsAreThoseAFrameShowedClearlySharperThanTheFusedPicture) {
    EXPECT_EQ(FocusFrameGate::risingCells(cells(0, 3, 8.0f), cells(0, 3, 8.0f)), 0);
    EXPECT_EQ(FocusFrameGate::risingCells(cells(0, 3, 8.0f), cells(0, 1, 8.0f)), 2);
    EXPECT_EQ(FocusFrameGate::risingCells(cells(0, 3, 8.4f), cells(0, 3, 8.0f)), 0);
    EXPECT_EQ(FocusFrameGate::risingCells(flatGrid(), {}), 0);
    // A peak is seen once two frames came near it; an exact repeat is no second.
    FocusFrameGate gate;
    gate.start(flatGrid());
    for (int k = 0; k < 3; ++k)
        gate.decide(withCell(5, 8.0f), frame(1), false);
    EXPECT_FALSE(gate.peaksSeen()[5]);
    gate.decide(withCell(5, 7.8f), frame(2), false);
    EXPECT_TRUE(gate.peaksSeen()[5]);
}

// A frame the worker refuses (its geometry in doubt) is never fused either:
// the cells it alone raised fall back to what the fused and the still queued
// frames hold, so a later frame sharp there is taken. Held for it, the band
// kept its blurred frames for the rest of the run.
TEST(FocusFrameGate, CellsOfARefusedFrameAreTakenAgain) {
    for (bool align : {false, true}) {
        SCOPED_TRACE(align ? "with Zoom And Align" : "without");
        FocusFrameGate gate;
        gate.start(flatGrid());
        // In fusion: sharp in cells 0..3; waiting: sharp in cells 64..79.
        ASSERT_EQ(gate.commit(cells(0, 3, 8.0f), false), Outcome::Appended);
        ASSERT_EQ(gate.commit(cells(64, 79, 8.0f), false), Outcome::Appended);
        // The first is fused; the waiting one is refused, while a frame sharp
        // in cells 120..123 has come into the queue behind it.
        ASSERT_EQ(gate.commit(cells(120, 123, 8.0f), false), Outcome::Appended);
        gate.recount(cells(0, 3, 8.0f), {cells(120, 123, 8.0f)});
        EXPECT_FLOAT_EQ(gate.held()[70], 1.0f);
        EXPECT_FLOAT_EQ(gate.held()[2], 8.0f);   // fused
        EXPECT_FLOAT_EQ(gate.held()[121], 8.0f); // still queued
        // A frame sharp in cells 64..79 again is taken (with Zoom And Align at
        // its peak, when the cells start to fall).
        FocusFrameGate::Verdict v = gate.decide(cells(64, 79, 8.0f), frame(9), align);
        if (align) {
            EXPECT_FALSE(v.accepted);
            v = gate.decide(cells(64, 79, 4.0f), frame(10), align);
        }
        ASSERT_TRUE(v.accepted);
        EXPECT_EQ(tagOf(gate.candidate()), 9);
        // What the fused and queued frames hold is not taken again.
        gate.start(flatGrid());
        gate.recount(cells(0, 3, 8.0f), {cells(120, 123, 8.0f)});
        EXPECT_FALSE(gate.decide(cells(0, 3, 8.0f), frame(11), false).accepted);
        EXPECT_FALSE(gate.decide(cells(120, 123, 8.0f), frame(12), false).accepted);
    }
}

// With two frames queued after a refusal, what a frame gives the waiting
// one is weighed against what the fused frames and the queued ones hold.
TEST(FocusFrameGate, AFullQueueAfterARefusalWeighsTheFrameAgainstWhatIsHeld) {
    FocusFrameGate gate;
    gate.start(flatGrid());
    gate.recount(cells(0, 3, 8.0f), {cells(64, 79, 8.0f), cells(120, 123, 8.0f)});
    for (const auto& held : {cells(0, 3, 8.0f), cells(64, 79, 8.0f), cells(120, 123, 8.0f)})
        EXPECT_EQ(gate.commit(held, true), Outcome::Dropped);
    EXPECT_EQ(gate.commit(cells(200, 204, 8.0f), true), Outcome::Merged);
    EXPECT_EQ(gate.mergedCells().size(), 5u);
    EXPECT_FLOAT_EQ(gate.held()[121], 8.0f); // the waiting frame keeps its cells
    EXPECT_FLOAT_EQ(gate.held()[70], 8.0f);  // the frame in fusion
}

// The gate over a tilted specimen whose focus sweeps through the depth and
// back, with a fusion slower than the camera (the queue is full most of the
// time): every column of cells gets a fused frame that is sharp there. Rows:
// what the fusion takes in frame periods, and the sweeps it is given.
// - 4 periods, 3 sweeps: cells kept at a replaced frame's sharpness would
//   refuse their sharp frames on every later sweep.
// - 16 periods, 2 sweeps (a busy machine): a band's sharp frame of the
//   second sweep comes while the queue is full; lost there, the band stayed
//   blurred in the export.
TEST(FocusFrameGate, EveryColumnOfATiltedSweepIsFusedSharp) {
    struct Row {
        int periods, sweeps;
    };
    for (const Row row : {Row{4, 3}, Row{16, 2}}) {
        SCOPED_TRACE(testing::Message() << row.periods << " frame periods a fusion, " << row.sweeps << " sweeps");
        FocusStackGenerator::StackParams params;
        params.size = cv::Size(1280, 720);
        params.frames = 24;
        params.maxBlurSigma = 8.0;
        const FocusStackGenerator::Stack stack = FocusStackGenerator::makeStack(params);
        std::vector<int> order;
        for (int sweep = 0; sweep < row.sweeps; ++sweep)
            for (int k = 0; k < params.frames; ++k)
                order.push_back(sweep % 2 ? params.frames - 1 - k : k);

        for (bool align : {false, true}) {
            FocusFrameGate gate;
            gate.initGrid(stack.frames[0]);
            std::vector<std::vector<float>> grids(stack.frames.size());
            for (size_t k = 0; k < stack.frames.size(); ++k)
                gate.measure(stack.frames[k], grids[k]);
            std::vector<float> best(16, 0.0f), fused(16, 0.0f);
            auto addColumns = [](std::vector<float>& to, const std::vector<float>& grid) {
                for (int c = 0; c < 16; ++c) {
                    float sum = 0;
                    for (int r = 0; r < 16; ++r)
                        sum += grid[size_t(r * 16 + c)];
                    to[size_t(c)] = std::max(to[size_t(c)], sum / 16);
                }
            };
            addColumns(fused, grids[0]);
            std::deque<std::vector<float>> queue; // grids of the queued frames; the head is being fused
            int busy = 0;
            for (int k : order) {
                addColumns(best, grids[size_t(k)]);
                if (!queue.empty() && ++busy == row.periods) {
                    addColumns(fused, queue.front());
                    queue.pop_front();
                    busy = 0;
                }
                const FocusFrameGate::Verdict v = gate.decide(grids[size_t(k)], stack.frames[size_t(k)], align);
                if (!v.accepted)
                    continue;
                // The candidate is the frame before the fall with Zoom And Align.
                int taken = k;
                for (size_t j = 0; j < stack.frames.size(); ++j)
                    if (cv::norm(stack.frames[j], gate.candidate(), cv::NORM_INF) == 0)
                        taken = int(j);
                switch (gate.commit(grids[size_t(taken)], queue.size() >= 2)) {
                case Outcome::Appended:
                    queue.push_back(grids[size_t(taken)]);
                    break;
                case Outcome::Merged:
                    for (int cell : gate.mergedCells())
                        queue.back()[size_t(cell)] = grids[size_t(taken)][size_t(cell)];
                    break;
                case Outcome::Dropped:
                    break;
                }
            }
            for (const auto& q : queue)
                addColumns(fused, q);
            for (int c = 0; c < 16; ++c)
                EXPECT_GE(fused[size_t(c)], 0.8f * best[size_t(c)])
                    << "column " << c << (align ? " with" : " without") << " Zoom And Align";
        }
    }
}
