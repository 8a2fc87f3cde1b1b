// Placing, growth and blending of the stitching mosaic, on small frames.
#include "StitchPanGenerator.h"
#include "tests/support/TestTools.h"

#include "imaging/StitchMatcher.h"
#include "imaging/StitchMosaic.h"
#include "imaging/StitchOverlapCheck.h"
#include "imaging/StitchStart.h"
#include "imaging/StitchViewPicture.h"

#include <QPainter>

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

cv::Mat solid(int w, int h, uchar v) { return cv::Mat(h, w, CV_8UC3, cv::Scalar::all(v)); }
cv::Mat weights(int w, int h, float t) { return cv::Mat(h, w, CV_32FC1, cv::Scalar(t)); }

// A 60 x 40 frame of the specimen whose top-left lies at (x, y) of the
// mosaic: every placement is checked against the mosaic's picture.
cv::Mat crop(int x, int y) { return StitchPanGenerator::standard().specimen()(cv::Rect(x, y, 60, 40)).clone(); }

// A 500 x 500 mosaic with a 60 x 40 first frame at (220, 230).
StitchMosaic started(uchar v = 0) {
    StitchMosaic m;
    m.setFeatherMasks(weights(60, 40, 1.0f), weights(60, 40, 1.0f));
    m.rebuild(v ? solid(60, 40, v) : crop(220, 230), 500);
    return m;
}

StitchMatchResult result(int status, StitchVotes votes = {}, QRect region = QRect(220, 230, 60, 40), int ox = 0,
                         int oy = 0) {
    StitchMatchResult r;
    r.status = status;
    r.votes = std::move(votes);
    r.region = region;
    r.offsetX = ox;
    r.offsetY = oy;
    return r;
}

cv::Vec3b px(const StitchMosaic& m, int x, int y) { return m.mosaic().at<cv::Vec3b>(y, x); }

} // namespace

TEST(StitchMosaic, RebuildCentresTheFirstFrame) {
    StitchMosaic m = started(77);
    EXPECT_EQ(m.size(), QSize(500, 500));
    EXPECT_EQ(m.placements().value(0), QRect(220, 230, 60, 40));
    EXPECT_EQ(m.frameCounter(), 1);
    EXPECT_EQ(m.frameMatchRegion(), QRect(220, 230, 60, 40));
    EXPECT_EQ(m.fullSearchRegion(), QRect(0, 0, 60, 40));
    EXPECT_EQ(px(m, 220, 230), cv::Vec3b(77, 77, 77));
    EXPECT_EQ(px(m, 219, 230), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(m.mosaicView().size(), QSize(500, 500));

    m.rebuild(solid(600, 40, 1), 500); // a frame wider than the side
    EXPECT_EQ(m.size(), QSize(600, 600));
}

TEST(StitchMosaic, ThirteenthFailureAsksForAFullSearch) {
    StitchMosaic m = started();
    const cv::Mat f = solid(60, 40, 9);
    for (int i = 1; i <= 12; ++i) {
        const StitchStep s = m.applyMatchResult(result(i % 2), f);
        EXPECT_EQ(s.head, -1) << i;
        EXPECT_EQ(s.delayMs, 67);
        EXPECT_EQ(s.matchOverlay, StitchStep::Keep);
    }
    const StitchStep s = m.applyMatchResult(result(StitchUnreliable), f);
    EXPECT_EQ(s.head, 3);
    EXPECT_EQ(s.matchOverlay, StitchStep::Show);
    EXPECT_EQ(s.matchMarker, 2);
    EXPECT_EQ(m.failureCount(), 0);

    // A still frame ends a run of failures.
    for (int i = 0; i < 5; ++i)
        m.applyMatchResult(result(StitchFewFeatures), f);
    m.applyMatchResult(result(StitchStill), f);
    EXPECT_EQ(m.failureCount(), 0);
}

TEST(StitchMosaic, EveryThirteenthStillFrameWaitsLonger) {
    StitchMosaic m = started();
    const cv::Mat f = solid(60, 40, 9);
    for (int i = 1; i <= 12; ++i) {
        const StitchStep s = m.applyMatchResult(result(StitchStill), f);
        EXPECT_EQ(s.delayMs, 201);
        EXPECT_EQ(s.matchOverlay, StitchStep::Hide);
    }
    EXPECT_EQ(m.applyMatchResult(result(StitchStill), f).delayMs, 1340);
    EXPECT_EQ(m.stillCount(), 0);
    m.applyMatchResult(result(StitchStill), f);
    m.applyMatchResult(result(StitchUnreliable), f);
    EXPECT_EQ(m.stillCount(), 0);
}

TEST(StitchMosaic, TwoMovedResultsMustShareAVote) {
    StitchMosaic m = started();
    const cv::Mat f = crop(251, 232);
    StitchStep s = m.applyMatchResult(result(StitchMoved, {{-300, 0, 8}}, QRect(220, 230, 60, 40), -30, 0), f);
    EXPECT_FALSE(s.placed);
    EXPECT_EQ(s.matchPos, QPoint(250, 230)); // R - offset
    EXPECT_EQ(m.previousVotes().size(), 1u);

    // No shared key: nothing placed, the pair is dropped...
    s = m.applyMatchResult(result(StitchMoved, {{-310, 0, 8}}), f);
    EXPECT_FALSE(s.placed);
    EXPECT_TRUE(m.previousVotes().empty());
    // ...and the next result starts a new pair.
    m.applyMatchResult(result(StitchMoved, {{-310, 0, 5}, {-300, 0, 1}}), f);
    EXPECT_EQ(m.previousVotes().size(), 2u);
    // Shared weight 9 is not enough.
    s = m.applyMatchResult(result(StitchMoved, {{-310, 0, 4}}), f);
    EXPECT_FALSE(s.placed);
    EXPECT_EQ(m.frameCounter(), 1);

    // Shared weight 10 places at R - mean offset: common {(-31,-2) x 10, (-32,-2) x 4}, T = 14,
    // L = 9: all from the first vote -> (-31, -2).
    m.applyMatchResult(result(StitchMoved, {{-310, -20, 5}, {-320, -20, 2}}), f);
    s = m.applyMatchResult(result(StitchMoved, {{-320, -20, 2}, {-310, -20, 5}, {77, 77, 3}}), f);
    ASSERT_TRUE(s.placed);
    EXPECT_EQ(s.placementPos, QPoint(251, 232));
    EXPECT_EQ(s.head, 1);
    EXPECT_EQ(m.placements().value(1), QRect(251, 232, 60, 40));
    EXPECT_EQ(m.frameCounter(), 2);
    EXPECT_EQ(m.frameMatchRegion(), QRect(251, 232, 60, 40));
    EXPECT_EQ(m.previousFrame().at<cv::Vec3b>(0, 0), f.at<cv::Vec3b>(0, 0));
    EXPECT_EQ(m.placementOverlayPos(), QPoint(251, 232));
    EXPECT_TRUE(m.previousVotes().empty());
}

TEST(StitchMosaic, AgreeingResultsPlaceFromASharedWeightOfTen) {
    // Both results of each pair vote only for the frame's true place
    // (251, 232): nothing but the shared weight decides.
    const cv::Mat f = crop(251, 232);
    struct Pair {
        int first, second;
        bool placed;
    };
    for (const Pair& p : {Pair{5, 4, false}, Pair{4, 5, false}, Pair{5, 5, true}, Pair{9, 1, true}}) {
        SCOPED_TRACE(p.first + p.second);
        StitchMosaic m = started();
        EXPECT_FALSE(m.applyMatchResult(result(StitchMoved, {{-310, -20, p.first}}), f).placed);
        const StitchStep s = m.applyMatchResult(result(StitchMoved, {{-310, -20, p.second}}), f);
        EXPECT_EQ(s.placed, p.placed);
        EXPECT_EQ(m.frameCounter(), p.placed ? 2 : 1);
        if (p.placed) {
            EXPECT_EQ(m.placements().value(1), QRect(251, 232, 60, 40));
        }
    }
}

TEST(StitchMosaic, RoundedVoteMeanDropsTheFractionAtEveryStep) {
    // Each frame lies 10.4 pixels right of the previous one; the rounded
    // mean places each 10 further (the long pans show where that leads).
    StitchMosaic m = started();
    m.setSubPixelRefinement(false);
    for (int i = 1; i <= 2; ++i) {
        const cv::Mat f = crop(220 + 10 * i, 230);
        m.applyMatchResult(result(StitchMoved, {{-104, 0, 5}}, m.frameMatchRegion()), f);
        ASSERT_TRUE(m.applyMatchResult(result(StitchMoved, {{-104, 0, 5}}, m.frameMatchRegion()), f).placed);
    }
    EXPECT_EQ(m.placements().value(1).x(), 230);
    EXPECT_EQ(m.placements().value(2).x(), 240);
}

TEST(StitchMosaic, GrowsInStepsOfThreeHundredAndMovesEarlierPlacements) {
    StitchMosaic m = started();
    const cv::Mat f = solid(60, 40, 90);
    // 450 pixels left of the mosaic: two steps, 600 columns.
    StitchPlacement p = m.growStitchCanvas(f, 670, 0, QRect(220, 230, 60, 40));
    EXPECT_TRUE(p.grew && p.pasted);
    EXPECT_EQ(m.size(), QSize(1100, 500));
    EXPECT_EQ(p.pos, QPoint(150, 230));
    EXPECT_EQ(m.placements().value(0), QRect(820, 230, 60, 40));
    EXPECT_EQ(px(m, 150, 230), cv::Vec3b(90, 90, 90));

    // A frame whose right edge lies on the mosaic's: 300 more columns.
    p = m.growStitchCanvas(f, 0, 0, QRect(1040, 230, 60, 40));
    EXPECT_EQ(m.size(), QSize(1400, 500));
    EXPECT_EQ(p.pos, QPoint(1040, 230));
    // 301 rows below: two steps.
    m.growStitchCanvas(f, 0, -(301 + 500 - 40 - 230), QRect(0, 230, 60, 40));
    EXPECT_EQ(m.size(), QSize(1400, 1100));
    // Above: rows at the top, placements move down.
    p = m.growStitchCanvas(f, 0, 10 + 230, QRect(700, 230, 60, 40));
    EXPECT_EQ(m.size(), QSize(1400, 1400));
    EXPECT_EQ(p.pos, QPoint(700, 290));
    EXPECT_EQ(m.placements().value(0), QRect(820, 530, 60, 40));
}

TEST(StitchMosaic, RefusesASidePastTwentyOneThousand) {
    StitchMosaic m;
    QMap<int, QRect> placed;
    placed.insert(0, QRect(20700, 10, 60, 40));
    m.restore(cv::Mat(100, 20800, CV_8UC3, cv::Scalar::all(0)), placed, solid(60, 40, 1));
    const StitchPlacement p = m.growStitchCanvas(solid(60, 40, 9), -60, 0, QRect(20700, 10, 60, 40));
    EXPECT_TRUE(p.sizeLimit);
    EXPECT_FALSE(p.pasted);
    EXPECT_EQ(p.pos, QPoint(20760, 10));
    EXPECT_EQ(m.size(), QSize(20800, 100));
    EXPECT_EQ(m.frameCounter(), 1);
    EXPECT_EQ(StitchMosaic::sizeLimitText(1), "Exceeding the maximum support size!");
    EXPECT_EQ(StitchMosaic::sizeLimitText(0), QString::fromUtf8("超过最大支持尺寸！"));

    // A growth that ends exactly at 21000 is made.
    m.restore(cv::Mat(100, 20700, CV_8UC3, cv::Scalar::all(0)), placed, solid(60, 40, 1));
    EXPECT_TRUE(m.growStitchCanvas(solid(60, 40, 9), -60, 0, QRect(20600, 10, 60, 40)).pasted);
    EXPECT_EQ(m.size(), QSize(21000, 100));
}

TEST(StitchMosaic, BlendMixesByWeightAndFillsBlackPixels) {
    StitchMosaic m = started(100);
    cv::Mat mask = weights(60, 40, 0.25f);
    mask.at<float>(0, 1) = 1.0f;
    mask.at<float>(0, 2) = 1.5f;
    mask.at<float>(0, 3) = 0.0f;
    m.setFeatherMasks(mask, weights(30, 20, 0.0f));
    // Half over the first frame, half over black mosaic.
    m.growStitchCanvas(solid(60, 40, 201), -30, 0, QRect(220, 230, 60, 40));
    EXPECT_EQ(px(m, 250, 231), cv::Vec3b(125, 125, 125)); // trunc(0.75 x 100 + 0.25 x 201)
    EXPECT_EQ(px(m, 251, 230), cv::Vec3b(201, 201, 201)); // weight 1
    EXPECT_EQ(px(m, 252, 230), cv::Vec3b(201, 201, 201)); // weight above 1
    EXPECT_EQ(px(m, 253, 230), cv::Vec3b(100, 100, 100)); // weight 0
    EXPECT_EQ(px(m, 285, 231), cv::Vec3b(201, 201, 201)); // black before: the frame, whatever the weight

    // Fast mode blends with the half-size mask.
    StitchMosaic fast;
    fast.setPrecision(false);
    fast.setFeatherMasks(weights(60, 40, 0.25f), weights(60, 40, 0.5f));
    fast.rebuild(solid(60, 40, 100), 500);
    fast.growStitchCanvas(solid(60, 40, 200), -1, 0, QRect(220, 230, 60, 40));
    EXPECT_EQ(px(fast, 240, 240), cv::Vec3b(150, 150, 150));
}

TEST(StitchMosaic, MaskOfAnotherSizeIsFittedToTheFrame) {
    StitchMosaic m = started(100);
    cv::Mat big = weights(1920, 1080, 0.0f);
    big(cv::Rect(480, 270, 960, 540)).setTo(1.0f);
    m.setFeatherMasks(big, cv::Mat());
    m.growStitchCanvas(solid(60, 40, 200), -2, 0, QRect(220, 230, 60, 40));
    EXPECT_EQ(px(m, 252, 250), cv::Vec3b(200, 200, 200)); // centre: weight 1
    EXPECT_EQ(px(m, 222, 230), cv::Vec3b(100, 100, 100)); // corner: weight 0
    // No mask at all: the usual ellipse at the frame's size.
    StitchMosaic none;
    none.rebuild(solid(60, 40, 100), 500);
    none.growStitchCanvas(solid(60, 40, 200), -2, 0, QRect(220, 230, 60, 40));
    EXPECT_EQ(px(none, 252, 250), cv::Vec3b(200, 200, 200));
}

TEST(StitchMosaic, FullSearchWithoutVotesIsAFailure) {
    StitchMosaic m = started();
    const cv::Mat f = crop(244, 238);
    StitchStep s = m.applyFullSearchResult(result(StitchMoved, {}, QRect(240, 240, 60, 40)), f);
    EXPECT_FALSE(s.placed);
    EXPECT_EQ(s.head, 3);
    EXPECT_EQ(s.delayMs, 67);
    EXPECT_EQ(m.frameCounter(), 1);

    // A place where the frame does not agree with the mosaic is refused.
    s = m.applyFullSearchResult(result(StitchMoved, {{-40, 20, 4}}, QRect(250, 240, 60, 40)), f);
    EXPECT_TRUE(s.refused);
    EXPECT_EQ(s.head, 3);
    EXPECT_EQ(m.frameCounter(), 1);

    s = m.applyFullSearchResult(result(StitchMoved, {{-50, 20, 3}, {-40, 20, 4}, {-60, 20, 1}}, QRect(240, 240, 60, 40)), f);
    ASSERT_TRUE(s.placed);
    // Sorted: -4.0 x 4, -5.0 x 3 (T = 8, L = 5): (-16 - 5) / 5 = -4.2 -> -4; y 2.
    EXPECT_EQ(s.placementPos, QPoint(244, 238));
    EXPECT_EQ(s.head, 1);
}

TEST(StitchMosaic, LostFrameIsRegisteredThenMatchedInItsRegion) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    cv::Mat content = gen.specimen()(cv::Rect(0, 0, 4000, 2400));
    cv::Mat first = gen.frameAt({1000, 600}, 0);
    StitchMosaic m;
    QMap<int, QRect> placed;
    placed.insert(0, QRect(1500, 1300, 1920, 1080));
    cv::Mat mosaic(5000, 5000, CV_8UC3, cv::Scalar::all(0));
    content.copyTo(mosaic(cv::Rect(500, 700, 4000, 2400)));
    m.restore(mosaic, placed, first);

    // The coarse search failed; the registration finds the frame near (2000, 1900).
    const cv::Mat frame = gen.frameAt({1500, 1200}, 1);
    StitchStep s = m.applyFullSearchResult(result(StitchFewFeatures), frame);
    ASSERT_TRUE(s.startRegionMatch);
    EXPECT_TRUE(s.registered);
    EXPECT_EQ(s.delayMs, 0);
    EXPECT_LE((s.region.topLeft() - QPoint(2000, 1900)).manhattanLength(), 6);

    // A frame-to-frame match in the registered region, followed by the rule
    // of two agreeing results, would never place it: the frame lies within a
    // few pixels of the region, which the vote calls still.
    StitchMatcher matcher;
    const cv::Mat inside = m.mosaic()(cv::Rect(s.region.x(), s.region.y(), s.region.width(), s.region.height()));
    int ox = 0, oy = 0;
    StitchVotes votes;
    EXPECT_EQ(matcher.matchFrames(inside, frame, true, &ox, &oy, &votes), StitchStill);

    // The region match places the frame exactly.
    StitchMatchResult r;
    r.region = s.region;
    r.status = matcher.matchRegion(inside, frame, true, &r.offsetX, &r.offsetY, &r.votes);
    s = m.applyFullSearchResult(r, frame);
    EXPECT_FALSE(m.regionMatchPending());
    ASSERT_TRUE(s.placed);
    EXPECT_EQ(s.placementPos, QPoint(2000, 1900));
}

TEST(StitchMosaic, RegisteredRegionIsKeptInsideTheMosaic) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    StitchMosaic m;
    QMap<int, QRect> placed;
    placed.insert(0, QRect(0, 0, 1920, 1080));
    cv::Mat mosaic(1500, 2500, CV_8UC3, cv::Scalar::all(0));
    gen.specimen()(cv::Rect(100, 100, 2500, 1500)).copyTo(mosaic);
    m.restore(mosaic, placed, gen.frameAt({100, 100}, 0));
    // The frame lies at (580, 420), its right and bottom edges on the mosaic's.
    const StitchStep s = m.applyFullSearchResult(result(StitchFewFeatures), gen.frameAt({680, 520}, 1));
    ASSERT_TRUE(s.startRegionMatch);
    EXPECT_EQ(s.region, QRect(2500 - 1920 - 1, 1500 - 1080 - 1, 1920, 1080));
}

TEST(StitchMosaic, CoveringThePositionMarkerHidesIt) {
    StitchMosaic m = started();
    m.setPositionMarker(QPointF(300.7, 250.2), true);
    StitchPlacement p = m.growStitchCanvas(solid(60, 40, 9), -100, 0, QRect(220, 230, 60, 40));
    EXPECT_FALSE(p.markerCovered); // (320..380) does not hold x = 300
    p = m.growStitchCanvas(solid(60, 40, 9), -60, 0, QRect(220, 230, 60, 40));
    EXPECT_TRUE(p.markerCovered);
    EXPECT_FALSE(m.positionMarkerVisible());

    // The marked place moves with the content when the mosaic grows left.
    m.setPositionMarker(QPointF(10, 10), true);
    m.growStitchCanvas(solid(60, 40, 9), 240, 0, QRect(220, 230, 60, 40));
    EXPECT_EQ(m.positionMarker(), QPointF(310, 10));
}

namespace {

// A 1500 x 1200 mosaic holding the specimen's (0, 0, 1200, 900) at (100, 100),
// and one placed 320 x 240 frame: the specimen's (200, 200), at (300, 300).
// `contrast` scales the specimen's grey levels about mid grey.
StitchMosaic placedOnSpecimen(double contrast, cv::Mat* specimen) {
    *specimen = StitchPanGenerator::standard().specimen()(cv::Rect(0, 0, 1200, 900)).clone();
    specimen->convertTo(*specimen, -1, contrast, 128.0 * (1.0 - contrast));
    cv::Mat mosaic(1200, 1500, CV_8UC3, cv::Scalar::all(0));
    specimen->copyTo(mosaic(cv::Rect(100, 100, 1200, 900)));
    QMap<int, QRect> placed;
    placed.insert(0, QRect(300, 300, 320, 240));
    StitchMosaic m;
    m.setFeatherMasks(weights(320, 240, 1.0f), weights(320, 240, 1.0f));
    m.setSubPixelRefinement(false); // the place the votes give, unrefined
    m.restore(mosaic, placed, (*specimen)(cv::Rect(200, 200, 320, 240)).clone());
    return m;
}

// Two agreeing frame-to-frame results that put the specimen's (300, 250)
// (truly at (400, 350)) `dx` pixels right of it.
StitchStep proposeTwice(StitchMosaic& m, const cv::Mat& frame, int dx) {
    const StitchVotes votes = {{-1000 - 10 * dx, -500, 6}};
    m.applyMatchResult(result(StitchMoved, votes, QRect(300, 300, 320, 240), -100 - dx, -50), frame);
    return m.applyMatchResult(result(StitchMoved, votes, QRect(300, 300, 320, 240), -100 - dx, -50), frame);
}

} // namespace

// The overlap check's agreement bound: two pixels off, the detail of a
// textured specimen still correlates at 0.3 to 0.6, and that place must be
// refused; the true place correlates near 1 and is placed.
TEST(StitchMosaicOverlap, APlaceTwoPixelsOffIsRefused) {
    cv::Mat specimen;
    StitchMosaic m = placedOnSpecimen(1.0, &specimen);
    const cv::Mat frame = specimen(cv::Rect(300, 250, 320, 240)).clone();
    const StitchOverlap off = measureStitchOverlap(m.mosaic(), frame, QPoint(402, 350));
    ASSERT_GT(off.agreement, 0.3); // the premise: a bound of 0.3 would take it
    ASSERT_LT(off.agreement, 0.6);
    StitchStep s = proposeTwice(m, frame, 2);
    EXPECT_TRUE(s.refused);
    EXPECT_FALSE(s.placed);
    EXPECT_EQ(m.frameCounter(), 1);
    s = proposeTwice(m, frame, 0);
    ASSERT_TRUE(s.placed);
    EXPECT_EQ(s.placementPos, QPoint(400, 350));
}

// The overlap check's texture bound: a faint specimen whose detail spreads
// 2 to 6 grey levels is textured enough to be judged, and its true place is
// taken; a frame of sensor noise alone is not.
TEST(StitchMosaicOverlap, AFaintButTexturedSpecimenIsPlaced) {
    cv::Mat specimen;
    StitchMosaic m = placedOnSpecimen(0.25, &specimen);
    const cv::Mat frame = specimen(cv::Rect(300, 250, 320, 240)).clone();
    const double spread = stitchDetailSpread(frame);
    ASSERT_GT(spread, 2.0);
    ASSERT_LT(spread, 6.0);
    const StitchStep s = proposeTwice(m, frame, 0);
    EXPECT_FALSE(s.refused);
    ASSERT_TRUE(s.placed);
    EXPECT_EQ(s.placementPos, QPoint(400, 350));

    cv::Mat noise(240, 320, CV_8UC3);
    cv::randn(noise, cv::Scalar::all(128), cv::Scalar::all(1.0));
    EXPECT_LT(stitchDetailSpread(noise), 2.0);
    EXPECT_FALSE(measureStitchOverlap(noise, noise, QPoint(0, 0)).textured);
}

namespace {

// The mosaic as it was built before it grew inside a canvas: each growth a
// new matrix with the old one copied in, in steps of 300 columns or rows.
struct CopiedMosaic {
    cv::Mat pixels;
    QMap<int, QRect> placements;
    QPoint place(const cv::Mat& frame, QPoint at) {
        for (;;) {
            int left = 0, top = 0, right = 0, bottom = 0;
            const auto steps = [](int over) { return 300 * std::max(1, over / 300); };
            if (at.x() < 0)
                left = steps(-at.x());
            else if (at.x() + frame.cols >= pixels.cols)
                right = steps(at.x() + frame.cols - pixels.cols);
            else if (at.y() < 0)
                top = steps(-at.y());
            else if (at.y() + frame.rows >= pixels.rows)
                bottom = steps(at.y() + frame.rows - pixels.rows);
            else
                break;
            cv::Mat bigger;
            cv::copyMakeBorder(pixels, bigger, top, bottom, left, right, cv::BORDER_CONSTANT, cv::Scalar::all(0));
            pixels = bigger;
            for (QRect& r : placements)
                r.translate(left, top);
            at += QPoint(left, top);
        }
        frame.copyTo(pixels(cv::Rect(at.x(), at.y(), frame.cols, frame.rows)));
        placements.insert(placements.size(), QRect(at, QSize(frame.cols, frame.rows)));
        return at;
    }
};

// Pastes the frame placed at `r` into the picture, as the panel does.
void paste(QImage* picture, const StitchMosaic& m, const QRect& r) {
    QPainter p(picture);
    p.drawImage(r.topLeft(), m.mosaicView(), r);
}

} // namespace

// Growing inside a larger canvas leaves everything as growing by copies
// did: the mosaic's size and pixels, where the earlier frames moved to and
// where each frame is reported placed, for frames past every side by one
// pixel to several steps, and frames inside. The picture of the grown
// mosaic, with each placed frame pasted into it, is the mosaic's.
TEST(StitchMosaicGrowth, SameMosaicAndPictureAsGrowingByCopies) {
    StitchMosaic m = started();
    CopiedMosaic copied{m.mosaic().clone(), m.placements()};
    StitchViewPicture view;
    QImage picture;
    int inRoom = 0, copiedOver = 0; // growths
    cv::RNG rng(7);
    for (int i = 0; i < 40; ++i) {
        const cv::Mat frame = crop(rng.uniform(0, 2000), rng.uniform(0, 1000));
        const QSize size = m.size();
        const int over = i % 3 == 0 ? rng.uniform(301, 700) : rng.uniform(1, 40);
        QPoint at(rng.uniform(0, size.width() - 60), rng.uniform(0, size.height() - 40));
        switch (i % 5) {
        case 1: at.setX(-over); break;
        case 2: at.setX(size.width() - 60 + over); break;
        case 3: at.setY(-over); break;
        case 4: at.setY(size.height() - 40 + over); break;
        default: break;
        }
        const quint64 canvas = m.canvasId();
        const StitchPlacement p = m.growStitchCanvas(frame, -at.x(), -at.y(), QRect(0, 0, 60, 40));
        ASSERT_TRUE(p.pasted);
        inRoom += p.grew && m.canvasId() == canvas;
        copiedOver += p.grew && m.canvasId() != canvas;
        ASSERT_EQ(p.pos, copied.place(frame, at)) << "frame " << i;
        ASSERT_EQ(m.size(), QSize(copied.pixels.cols, copied.pixels.rows)) << "frame " << i;
        ASSERT_EQ(m.placements(), copied.placements) << "frame " << i;
        cv::Mat diff;
        cv::absdiff(m.mosaic(), copied.pixels, diff);
        ASSERT_EQ(cv::countNonZero(diff.reshape(1)), 0) << "frame " << i;

        if (p.grew || picture.isNull())
            picture = view.grown(m, QImage::Format_RGB32);
        paste(&picture, m, QRect(p.pos, QSize(60, 40)));
        ASSERT_EQ(picture, StitchStart::picture(m.mosaic(), QImage::Format_RGB32)) << "frame " << i;
    }
    EXPECT_GT(m.size().width(), 2500);
    EXPECT_GE(inRoom, 10);
    EXPECT_EQ(copiedOver, 1); // the first growth, into a canvas with room for all the others
}

// A copy of the mosaic (the worker's) that grew leaves the original as it
// was, also when the original then grows the same way.
TEST(StitchMosaicGrowth, CopiesGrowApart) {
    StitchMosaic m = started();
    m.growStitchCanvas(solid(60, 40, 5), -480, 0, QRect(0, 0, 60, 40)); // a canvas with room on the right
    StitchMosaic copy = m;
    copy.growStitchCanvas(solid(60, 40, 50), -(800 + 10), 0, QRect(0, 0, 60, 40));
    const cv::Mat before = m.mosaic().clone();
    ASSERT_EQ(m.size(), QSize(800, 500));
    m.growStitchCanvas(solid(60, 40, 90), -(800 + 20), -100, QRect(0, 0, 60, 40));
    EXPECT_EQ(m.size(), QSize(1100, 500));
    EXPECT_EQ(copy.size(), QSize(1100, 500));
    EXPECT_EQ(px(m, 830, 0), cv::Vec3b(0, 0, 0));   // the copy's frame is not in the original
    EXPECT_EQ(px(m, 820, 100), cv::Vec3b(90, 90, 90));
    EXPECT_EQ(px(copy, 820, 100), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(px(copy, 810, 0), cv::Vec3b(50, 50, 50));
    cv::Mat diff;
    cv::absdiff(m.mosaic()(cv::Rect(0, 0, 800, 500)), before, diff);
    EXPECT_EQ(cv::countNonZero(diff.reshape(1)), 0);
}

namespace {

// Run in a child process: grows a mosaic of 1000 x 600 frames of one value
// each, alternately past its right and its bottom edge (no two overlap),
// with the worker's picture made at every growth, until the system refuses
// the memory. Exits 0 when the refused frame was reported and left no trace
// and every frame placed before it is whole in the mosaic; says why not on
// stderr otherwise.
[[noreturn]] void growUntilRefused(unsigned long long more) {
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::_Exit(1);
    };
    if (!limitAddressSpace(more))
        fail("no address-space limit");
    const int w = 1000, h = 600;
    StitchMosaic m;
    m.setFeatherMasks(weights(w, h, 1.0f), weights(w, h, 1.0f));
    m.rebuild(solid(w, h, 1), 2500);
    std::vector<uchar> values = {1};
    StitchViewPicture view;
    QImage picture;
    for (int i = 0;; ++i) {
        const QSize before = m.size();
        const QMap<int, QRect> placed = m.placements();
        const uchar v = uchar(2 + i % 250);
        const QPoint at = i % 2 ? QPoint(0, before.height()) : QPoint(before.width(), 0);
        const StitchPlacement p = m.growStitchCanvas(solid(w, h, v), -at.x(), -at.y(), QRect(0, 0, w, h));
        if (!p.noMemory) {
            if (!p.pasted)
                fail("frame " + std::to_string(i) + " neither placed nor refused");
            values.push_back(v);
            picture = QImage(); // the panel drops the picture before as it takes the new one
            try {
                picture = view.grown(m, QImage::Format_RGB32);
            } catch (const cv::Exception&) {
                // The worker reports this refusal itself; the mosaic goes on.
            }
            continue;
        }
        picture = QImage();
        view.clear();
        if (p.pasted || m.placements() != placed || m.frameCounter() != int(values.size()))
            fail("the refused frame was placed");
        if (m.size().width() < before.width() || m.size().height() < before.height())
            fail("the mosaic shrank");
        qint64 covered = 0;
        for (auto it = placed.constBegin(); it != placed.constEnd(); ++it) {
            const QRect r = it.value();
            const cv::Mat there = m.mosaic()(cv::Rect(r.x(), r.y(), r.width(), r.height()));
            cv::Mat other;
            cv::compare(there.reshape(1), cv::Scalar(values[size_t(it.key())]), other, cv::CMP_NE);
            if (cv::countNonZero(other) != 0)
                fail("frame " + std::to_string(it.key()) + " is not whole");
            covered += qint64(r.width()) * r.height() * 3;
        }
        if (cv::countNonZero(m.mosaic().reshape(1)) != covered)
            fail("pixels outside the frames are not black");
        std::fprintf(stderr, "refused at %d x %d after %d frames\n", before.width(), before.height(), i + 1);
        std::_Exit(0);
    }
}

} // namespace

// The system refuses memory long before the largest mosaic (an address-space
// limit, strict commit accounting): the frame that needs it is reported and
// not placed, and the mosaic keeps every frame placed before, instead of the
// process ending. In a child process of its own under the limit.
TEST(StitchMosaicGrowth, GrowsUntilTheSystemRefusesThenKeepsTheMosaic) {
    if (const char* why = addressLimitUntestable())
        GTEST_SKIP() << why;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(growUntilRefused(1ull << 30), ::testing::ExitedWithCode(0), "refused at [0-9]+ x [0-9]+");
}
