// When the second frame of a mosaic cannot be placed, the mosaic starts
// again only from a frame held still (alike the frame before it, with about
// its features), never from one taken in transit, blurred by the move; when the frames never
// came to rest the operator is asked to hold longer. Printed text in Fast
// mode, whose first frames do not join, with a blurred settling frame at
// every stop: each run places at least as many stops as the same run
// placed with the first frame kept for good (measured with the restart
// taken out), every placement within 3 px of the truth.
#include "StitchLoopDriver.h"
#include "StitchSpecimenRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

struct FirstJoinCase {
    PanCase pan;
    int placedBefore; // stops placed with the first frame kept for good
    int minPlaced;
    bool holdLonger; // the frames never come to rest
};

class StitchFirstJoin : public testing::TestWithParam<FirstJoinCase> {};

} // namespace

TEST_P(StitchFirstJoin, RestartsOnlyFromAFrameHeldStill) {
    const FirstJoinCase& c = GetParam();
    StitchLoopDriver driver(c.pan.precision);
    const PanRun run = runPan(c.pan, driver);
    const std::vector<StitchPanFrame>& frames = run.frames;
    std::set<int> placed;
    for (int frame : driver.placementFrames())
        if (frames[size_t(frame)].stop >= 0)
            placed.insert(frames[size_t(frame)].stop);
    EXPECT_GE(int(placed.size()), std::max(c.placedBefore, c.minPlaced))
        << int(placed.size()) << " of " << run.stops << " stops placed, " << driver.rebuilds << " restarts";
    for (size_t i = 0; i < run.errors.size(); ++i)
        EXPECT_LE(run.errors[i], 3.0) << "placement " << i + 1;
    // At rest: at a stop, and not the first frame there when the stage
    // settles into it (blurred) unless at the first stop.
    auto atRest = [&](int i) {
        const int stop = frames[size_t(i)].stop;
        return stop == 0 || (stop > 0 && (!c.pan.settleBlur || (i > 0 && frames[size_t(i - 1)].stop == stop)));
    };
    for (int r : driver.restartFrames)
        EXPECT_TRUE(r > 0 && atRest(r) && atRest(r - 1) && frames[size_t(r - 1)].stop == frames[size_t(r)].stop)
            << "restarted from frame " << r << " (stop " << frames[size_t(r)].stop << ")";
    const auto told = [&](StitchStep::Notice n) {
        return std::find(driver.notices.begin(), driver.notices.end(), n) != driver.notices.end();
    };
    if (c.holdLonger) {
        EXPECT_TRUE(told(StitchStep::HoldLonger));
        EXPECT_FALSE(told(StitchStep::FirstJoinNoDetail) || told(StitchStep::FirstJoinRepeats) ||
                     told(StitchStep::FirstJoinNoMatch));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Text, StitchFirstJoin,
    testing::Values(
        // 16 stops, two frames each: every restart came from a transit frame.
        FirstJoinCase{{"Fast1080pTwoFramesAStop", StitchPanOptions::Text, {1920, 1080}, false, 2, true, false, false, 0, 8},
                      1, 1, true},
        FirstJoinCase{{"Fast720pTwoFramesAStop", StitchPanOptions::Text, {1280, 720}, false, 2, true, false, false, 0, 4},
                      2, 2, true},
        // Three frames a stop: the 13th failure falls on a transit frame.
        FirstJoinCase{{"Fast1080pThreeFramesAStop", StitchPanOptions::Text, {1920, 1080}, false, 3, true, false, false, 0, 8, 3},
                      2, 2, false},
        // Here the restart from a frame held still places stops the first
        // frame alone never joined.
        FirstJoinCase{{"Fast1080pThreeFramesAStopHeld", StitchPanOptions::Text, {1920, 1080}, false, 3, true, false, false, 0, 8},
                      1, 7, false}),
    [](const testing::TestParamInfo<FirstJoinCase>& info) { return std::string(info.param.pan.name); });

// A page seen close up, mostly white: a frame blurred by the move between
// stops differs from the sharp frame before it by under two grey levels
// (as little as a frame at rest would), but keeps far fewer features.
INSTANTIATE_TEST_SUITE_P(
    SparsePage, StitchFirstJoin,
    testing::Values(
        // Kept for good, the first frame joins one stop; restarting from
        // any frame, five.
        FirstJoinCase{{"Fast1080pTwoFramesAStop", StitchPanOptions::SparseText, {1920, 1080}, false, 2, false, false, false, 0, 8, 6, 20},
                      1, 5, false}),
    [](const testing::TestParamInfo<FirstJoinCase>& info) { return std::string(info.param.pan.name); });
