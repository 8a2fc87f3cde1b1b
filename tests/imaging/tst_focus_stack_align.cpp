// Zoom And Align: scale and shift estimates between luma planes of a
// breathing, shaking synthetic focus stack, the failure cases, and the
// overlap copy that applies the shift.

#include "FocusStackGenerator.h"

#include "imaging/FocusAligner.h"
#include "imaging/FocusStackMath.h"

#include <gtest/gtest.h>

#include <opencv2/features2d.hpp>
#include <opencv2/flann.hpp>
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

// A 1920 x 1080 specimen (YCrCb) and the same magnified by 1.01 and moved by (4, -3).
struct MovedFrame {
    cv::Mat reference, moved, referenceLuma;
    MovedFrame() {
        const cv::Mat rgb = gen::makeSpecimen(cv::Size(1920, 1080), 3);
        gen::FrameGeometry g;
        g.scale = 1.01;
        g.shift = cv::Point2d(4, -3);
        cv::cvtColor(rgb, reference, cv::COLOR_RGB2YCrCb);
        cv::cvtColor(gen::warp(rgb, g), moved, cv::COLOR_RGB2YCrCb);
        cv::extractChannel(reference, referenceLuma, 0);
    }
};

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
    // step its inner part is much closer to the reference.
    MovedFrame f;
    cv::Mat& moved = f.moved;
    const cv::Mat& reference = f.reference;
    const cv::Mat& referenceLuma = f.referenceLuma;
    FocusAligner aligner;
    aligner.setSearchRoi(searchRectFor(referenceLuma));
    const cv::Rect inner(40, 40, 1840, 1000);
    const double before = gen::psnr(moved, reference, inner);
    const FocusAligner::Result r = aligner.align(moved, referenceLuma);
    ASSERT_TRUE(r.applied);
    EXPECT_NEAR(r.scale, 1.0 / 1.01, 0.002);
    EXPECT_GT(gen::psnr(moved, reference, inner), before + 8.0);
}

TEST(FocusAligner, AStopIsSeenBetweenThePiecesOfTheStepAndLeavesTheFrameUntouched) {
    // A stop (the program ending) must not wait for the whole step, which on
    // a 4K frame and busy cores lasts most of a second: it is seen after the
    // piece at work, and no further piece runs.
    const MovedFrame f;
    const cv::Mat& frame = f.moved;
    const cv::Mat& referenceLuma = f.referenceLuma;
    int pieces = 0;
    for (int stopAt = 1;; ++stopAt) {
        SCOPED_TRACE(stopAt);
        ASSERT_LT(stopAt, 50);
        FocusAligner aligner;
        aligner.setSearchRoi(searchRectFor(referenceLuma));
        int asked = 0, askedAfterStop = 0;
        aligner.stopRequested = [&] {
            askedAfterStop += asked >= stopAt;
            return ++asked >= stopAt;
        };
        cv::Mat moved = frame.clone();
        const FocusAligner::Result r = aligner.align(moved, referenceLuma);
        if (!r.stopped) {
            // Past the last question: the step ran to its end as without one.
            ASSERT_TRUE(r.applied);
            EXPECT_NEAR(r.scale, 1.0 / 1.01, 0.002);
            break;
        }
        ++pieces;
        EXPECT_EQ(askedAfterStop, 0);
        EXPECT_FALSE(r.applied);
        EXPECT_EQ(cv::norm(moved, frame, cv::NORM_INF), 0.0);
    }
    // The detections of the scale, the scaled planes, the detection of the
    // shift and the resampling are pieces of their own.
    EXPECT_GE(pieces, 4);
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
    EXPECT_FALSE(aligner.align(planes, y).applied);
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


// The estimate as written out step by step, without the speed-ups (detection
// and descriptors in two passes, one after the other, a linear FLANN index):
// the worker's faster road must give the same scale to the last bit.
static float plainScale(const cv::Mat& current, const cv::Mat& reference, const cv::Rect& roi) {
    cv::Mat qc, qr;
    cv::resize(current, qc, cv::Size(), 0.25, 0.25, cv::INTER_LINEAR);
    cv::resize(reference, qr, cv::Size(), 0.25, 0.25, cv::INTER_LINEAR);
    auto sift = cv::SIFT::create(512, 3, 0.01, 0.01, 1.6);
    std::vector<cv::KeyPoint> kc, kr;
    cv::Mat dc, dr;
    sift->detect(qc(roi), kc);
    sift->compute(qc(roi), kc, dc);
    sift->detect(qr(roi), kr);
    sift->compute(qr(roi), kr, dr);
    if (dc.rows < 5 || dr.rows < 5)
        return -1.0f;
    auto index = cv::makePtr<cv::flann::KDTreeIndexParams>(5);
    index->setAlgorithm(cvflann::FLANN_INDEX_LINEAR);
    cv::FlannBasedMatcher matcher(index, cv::makePtr<cv::flann::SearchParams>(50, 0, true));
    std::vector<std::vector<cv::DMatch>> m;
    matcher.knnMatch(dc, dr, m, 2);
    if (m.size() < 10)
        return -1.0f;
    const double cw = qc.cols / 16, ch = qc.rows / 16, diag = std::sqrt(cw * cw + ch * ch);
    std::vector<cv::Point2d> ps, qs;
    for (const auto& l : m) {
        if (l.size() < 2 || !(l[1].distance * 0.7f > l[0].distance))
            continue;
        const cv::Point2d p = kc[l[0].queryIdx].pt, q = kr[l[0].trainIdx].pt;
        if (cv::norm(p - q) < diag) {
            ps.push_back(p + cv::Point2d(roi.x, roi.y));
            qs.push_back(q + cv::Point2d(roi.x, roi.y));
        }
    }
    return FocusAligner::scaleFromPairs(ps, qs, qc.cols, qc.rows);
}

TEST(FocusAligner, FastRoadGivesThePlainResult) {
    const gen::StackParams p = gen::breathingParams(cv::Size(960, 540), 6, 3.0, 41);
    const gen::Stack stack = gen::makeStack(p);
    FocusAligner aligner;
    for (int k = 0; k + 1 < p.frames; ++k) {
        SCOPED_TRACE(k);
        const cv::Mat reference = lumaOf(stack.frames[k]), current = lumaOf(stack.frames[k + 1]);
        const cv::Rect roi = searchRectFor(reference);
        aligner.setSearchRoi(roi);
        EXPECT_EQ(aligner.estimateScale(current, reference), plainScale(current, reference, roi));
    }
}

TEST(FocusAligner, ALonePairDoesNotDecideTheScale) {
    // One pair (or a handful) wins a vote by itself: on a repeating specimen
    // that is a chance match, and the frame would be scaled wrongly.
    EXPECT_FLOAT_EQ(FocusAligner::scaleFromPairs({{10, 10}}, {{11, 11}}, 1, 1), -1.0f);
    std::vector<cv::Point2d> ps, qs;
    for (int i = 1; i <= 5; ++i) {
        ps.emplace_back(10.0 * i, 7.0 * i * i);
        qs.push_back(ps.back() * 1.1);
    }
    EXPECT_FLOAT_EQ(FocusAligner::scaleFromPairs(ps, qs, 1, 1), -1.0f);
    // Six pairs that agree on 1.1 about the picture centre (0, 0) do.
    ps.emplace_back(60.0, 20.0);
    qs.push_back(ps.back() * 1.1);
    EXPECT_FLOAT_EQ(FocusAligner::scaleFromPairs(ps, qs, 1, 1), 1.1f);
}
