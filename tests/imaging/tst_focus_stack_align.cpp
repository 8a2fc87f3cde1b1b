// Zoom And Align: scale and shift estimates between luma planes of a
// breathing, shaking synthetic focus stack, the failure cases, and the
// overlap copy that applies the shift.

#include "FocusStackGenerator.h"

#include "imaging/FocusAligner.h"
#include "imaging/FocusStackMath.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace gen = FocusStackGenerator;

namespace {

cv::Mat lumaOf(const cv::Mat& rgb) {
    cv::Mat y;
    FocusStackMath::luma(rgb, y);
    return y;
}

// The search rectangle the worker would use with `reference` as the frame fused before.
cv::Rect searchRectFor(const cv::Mat& reference) {
    const cv::Mat ys = FocusStackMath::eighth(reference);
    std::vector<float> grid;
    FocusStackMath::gridSharpness(ys, FocusStackMath::gridCells(ys.size()), grid);
    return FocusStackMath::searchRect(grid, reference.cols, reference.rows);
}

} // namespace

TEST(FocusAligner, IdenticalPlanesGiveScaleOneAndNoShift) {
    const cv::Mat y = lumaOf(gen::makeSpecimen(cv::Size(640, 480), 3));
    FocusAligner aligner;
    aligner.setSearchRoi(searchRectFor(y));
    EXPECT_FLOAT_EQ(aligner.estimateScale(y, y), 1.0f);
    EXPECT_EQ(aligner.estimateOffset(y, y), cv::Point(0, 0));
}

TEST(FocusAligner, RecoversBreathingAndShiftBetweenNeighbouringFrames) {
    const gen::StackParams p = gen::breathingParams(cv::Size(640, 480), 12, 3.0, 29);
    const gen::Stack stack = gen::makeStack(p);
    const cv::Point2d centre((p.size.width - 1) * 0.5, (p.size.height - 1) * 0.5);
    FocusAligner aligner;
    for (int k = 0; k + 1 < p.frames; ++k) {
        SCOPED_TRACE(k);
        const cv::Mat reference = lumaOf(stack.frames[k]);
        const cv::Mat current = lumaOf(stack.frames[k + 1]);
        const gen::FrameGeometry& gr = stack.geometry[k];
        const gen::FrameGeometry& gc = stack.geometry[k + 1];
        aligner.setSearchRoi(searchRectFor(reference));
        const float s = aligner.estimateScale(current, reference);
        EXPECT_NEAR(s, gr.scale / gc.scale, 0.002);
        // Scaled by s about the origin, the current picture lies at
        // d = centre (s - 1) + s t_current - t_reference from the reference.
        cv::Mat scaled;
        cv::resize(current, scaled, cv::Size(), s, s, cv::INTER_LINEAR);
        const cv::Point d = aligner.estimateOffset(scaled, reference);
        const cv::Point2d expected = centre * (s - 1.0) + gc.shift * s - gr.shift;
        EXPECT_NEAR(d.x, expected.x, 1.0);
        EXPECT_NEAR(d.y, expected.y, 1.0);
    }
}

TEST(FocusAligner, AlignedFrameMatchesTheReferenceGeometry) {
    // A frame magnified by 1.01 and moved by (4, -3): after the alignment
    // step its inner part equals the reference up to interpolation.
    const cv::Mat rgb = gen::makeSpecimen(cv::Size(640, 480), 8);
    gen::FrameGeometry g;
    g.scale = 1.01;
    g.shift = cv::Point2d(4, -3);
    cv::Mat reference, moved;
    cv::cvtColor(rgb, reference, cv::COLOR_RGB2YCrCb);
    cv::cvtColor(gen::warp(rgb, g), moved, cv::COLOR_RGB2YCrCb);
    cv::Mat referenceLuma;
    cv::extractChannel(reference, referenceLuma, 0);
    FocusAligner aligner;
    aligner.setSearchRoi(searchRectFor(referenceLuma));
    const cv::Rect inner(40, 40, 560, 400);
    const double before = gen::psnr(moved, reference, inner);
    const FocusAligner::Result r = aligner.alignFrame(moved, referenceLuma);
    ASSERT_TRUE(r.applied);
    EXPECT_NEAR(r.scale, 1.0 / 1.01, 0.002);
    EXPECT_GT(gen::psnr(moved, reference, inner), before + 8.0);
}

TEST(FocusAligner, NoEstimateForAFlatPictureOrAScaleOutsideTheRange) {
    const cv::Mat flat(480, 640, CV_8UC1, cv::Scalar(100));
    const cv::Mat y = lumaOf(gen::makeSpecimen(cv::Size(640, 480), 5));
    FocusAligner aligner;
    aligner.setSearchRoi(searchRectFor(y));
    EXPECT_FLOAT_EQ(aligner.estimateScale(flat, y), -1.0f);
    EXPECT_FLOAT_EQ(aligner.estimateScale(y, flat), -1.0f);
    // The frame is then fused as it is.
    cv::Mat planes(480, 640, CV_8UC3, cv::Scalar(100, 128, 128));
    const cv::Mat before = planes.clone();
    EXPECT_FALSE(aligner.alignFrame(planes, y).applied);
    EXPECT_EQ(cv::norm(planes, before, cv::NORM_INF), 0.0);
    // 1.4 times larger: no ratio falls inside 0.75..1.25.
    gen::FrameGeometry zoom;
    zoom.scale = 1.4;
    EXPECT_FLOAT_EQ(aligner.estimateScale(gen::warp(y, zoom), y), -1.0f);
}

TEST(FocusAligner, OverlapCopyFollowsTheSignOfTheShift) {
    cv::Mat scaled(4, 5, CV_8UC1);
    for (int i = 0; i < 20; ++i)
        scaled.data[i] = static_cast<uchar>(10 + i); // row r, column c holds 10 + 5r + c
    cv::Mat frame(4, 4, CV_8UC1, cv::Scalar(0));
    // dx = 2: scaled columns 2..4 land on frame columns 0..2; column 3 keeps its own pixels.
    FocusAligner::copyOverlap(scaled, frame, 2, 0);
    EXPECT_EQ(frame.at<uchar>(0, 0), 12);
    EXPECT_EQ(frame.at<uchar>(3, 2), 29);
    EXPECT_EQ(frame.at<uchar>(0, 3), 0);
    // dx = -1, dy = -2: written from column 1 and row 2 on; width min(5, 4 - 1) = 3.
    frame.setTo(0);
    FocusAligner::copyOverlap(scaled, frame, -1, -2);
    EXPECT_EQ(frame.at<uchar>(2, 1), 10);
    EXPECT_EQ(frame.at<uchar>(3, 3), 17);
    EXPECT_EQ(frame.at<uchar>(1, 1), 0);
    EXPECT_EQ(frame.at<uchar>(2, 0), 0);
    // A shift beyond the picture copies nothing.
    frame.setTo(0);
    FocusAligner::copyOverlap(scaled, frame, 9, 0);
    FocusAligner::copyOverlap(scaled, frame, 0, -9);
    EXPECT_EQ(cv::countNonZero(frame), 0);
}

namespace {

// Where a picture's pixels sit: x_picture = a x_truth + b (per axis).
struct Placement {
    double a = 1.0;
    cv::Point2d b;
};

std::vector<float> gridOf(const cv::Mat& rgb) {
    const cv::Mat ys = FocusStackMath::eighth(lumaOf(rgb));
    std::vector<float> grid;
    FocusStackMath::gridSharpness(ys, FocusStackMath::gridCells(ys.size()), grid);
    return grid;
}

} // namespace

TEST(FocusAligner, ChainedFramesReuseKeyPointsAndStayAccurate) {
    // The worker's sequence: every frame aligned onto the previous aligned
    // frame, whose key points come from its own alignment.
    gen::StackParams p = gen::breathingParams(cv::Size(1920, 1080), 24, 3.0, 29);
    p.maxBlurSigma = 12.0; // the benchmark's sweep: a fresh reference detection every frame would also pass
    const gen::Stack stack = gen::makeStack(p);
    const cv::Point2d centre((p.size.width - 1) * 0.5, (p.size.height - 1) * 0.5);
    auto placed = [&](const gen::FrameGeometry& g) {
        Placement pl;
        pl.a = g.scale;
        pl.b = centre * (1.0 - g.scale) + g.shift;
        return pl;
    };
    FocusAligner aligner;
    cv::Mat planes, reference;
    cv::cvtColor(stack.frames[0], planes, cv::COLOR_RGB2YCrCb);
    cv::extractChannel(planes, reference, 0);
    Placement ref = placed(stack.geometry[0]);
    std::vector<float> headGrid = gridOf(stack.frames[0]);
    for (int k = 1; k < p.frames; ++k) {
        SCOPED_TRACE(k);
        const std::vector<float> ownGrid = gridOf(stack.frames[k]);
        cv::cvtColor(stack.frames[k], planes, cv::COLOR_RGB2YCrCb);
        aligner.setSearchRoi(FocusStackMath::searchRect(headGrid, p.size.width, p.size.height));
        aligner.setNextSearchRoi(FocusStackMath::searchRect(ownGrid, p.size.width, p.size.height));
        const Placement cur = placed(stack.geometry[k]);
        // Scale s and shift d with s (a_cur x + b_cur) - d = a_ref x + b_ref.
        const double s = ref.a / cur.a;
        const cv::Point2d d = cur.b * s - ref.b;
        const FocusAligner::Result r = aligner.alignFrame(planes, reference);
        ASSERT_TRUE(r.applied);
        EXPECT_NEAR(r.scale, s, 0.002);
        EXPECT_NEAR(r.offset.x, d.x, 1.0);
        EXPECT_NEAR(r.offset.y, d.y, 1.0);
        ref.a = r.scale * cur.a;
        ref.b = cur.b * r.scale - cv::Point2d(r.offset);
        cv::extractChannel(planes, reference, 0);
        headGrid = ownGrid;
    }
    // The errors add up only as whole-pixel rounding does: the last aligned
    // frame still lies near the first frame's geometry.
    const Placement first = placed(stack.geometry[0]);
    EXPECT_NEAR(ref.a, first.a, 0.003);
    EXPECT_NEAR(ref.a * centre.x + ref.b.x, first.a * centre.x + first.b.x, 4.0);
    EXPECT_NEAR(ref.a * centre.y + ref.b.y, first.a * centre.y + first.b.y, 4.0);
}

TEST(FocusAligner, KeptKeyPointsServeOnlyTheNamedNextFrame) {
    const cv::Mat rgb = gen::makeSpecimen(cv::Size(640, 480), 8);
    gen::FrameGeometry g;
    g.scale = 1.01;
    cv::Mat planes, referenceLuma;
    cv::cvtColor(rgb, planes, cv::COLOR_RGB2YCrCb);
    cv::extractChannel(planes, referenceLuma, 0);
    const cv::Rect roi = searchRectFor(referenceLuma);
    const cv::Mat flat(480, 640, CV_8UC1, cv::Scalar(100));
    FocusAligner aligner;
    aligner.setSearchRoi(roi);
    aligner.setNextSearchRoi(roi);
    ASSERT_TRUE(aligner.alignFrame(planes, referenceLuma).applied);
    // A new run: the reference is detected again, and a flat one has no key points.
    aligner.forgetReference();
    cv::Mat moved;
    cv::cvtColor(gen::warp(rgb, g), moved, cv::COLOR_RGB2YCrCb);
    EXPECT_FALSE(aligner.alignFrame(moved, flat).applied);
    // Without a next search rectangle nothing is kept either.
    cv::cvtColor(rgb, planes, cv::COLOR_RGB2YCrCb);
    aligner.alignFrame(planes, referenceLuma);
    cv::cvtColor(gen::warp(rgb, g), moved, cv::COLOR_RGB2YCrCb);
    EXPECT_FALSE(aligner.alignFrame(moved, flat).applied);
    // Kept for the named rectangle, they stand in for the reference plane.
    aligner.setNextSearchRoi(roi);
    cv::cvtColor(rgb, planes, cv::COLOR_RGB2YCrCb);
    aligner.alignFrame(planes, referenceLuma);
    cv::cvtColor(gen::warp(rgb, g), moved, cv::COLOR_RGB2YCrCb);
    const FocusAligner::Result r = aligner.alignFrame(moved, flat);
    ASSERT_TRUE(r.applied);
    EXPECT_NEAR(r.scale, 1.0 / 1.01, 0.002);
}
