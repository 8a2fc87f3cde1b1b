// Sub-pixel refinement of a placement from the pictures.
#include "StitchPanGenerator.h"

#include "imaging/StitchSubPixel.h"

#include <gtest/gtest.h>

TEST(StitchSubPixel, FindsTheFractionOfAKnownShift) {
    const cv::Mat reference = StitchPanGenerator::standard().frameAt(QPointF(400, 300), 0);
    for (QPointF move : {QPointF(640.37, 0.81), QPointF(-200.5, 311.25), QPointF(3.9, -2.1)}) {
        const cv::Mat frame = StitchPanGenerator::standard().frameAt(QPointF(400, 300) + move, 1);
        // Start from the whole-pixel estimate, as the votes give it.
        cv::Point2d shift(std::round(move.x()), std::round(move.y()));
        ASSERT_TRUE(refineStitchShift(reference, frame, &shift)) << move.x() << "," << move.y();
        EXPECT_NEAR(shift.x, move.x(), 0.05);
        EXPECT_NEAR(shift.y, move.y(), 0.05);
    }
}

TEST(StitchSubPixel, IgnoresUncoveredMosaic) {
    // The reference is a piece of mosaic whose right part is not covered yet.
    cv::Mat reference = StitchPanGenerator::standard().frameAt(QPointF(1000, 500), 0);
    reference(cv::Rect(1100, 0, 820, 1080)).setTo(cv::Scalar::all(0));
    const cv::Mat frame = StitchPanGenerator::standard().frameAt(QPointF(1600.6, 480.3), 1);
    cv::Point2d shift(601, 480 - 500);
    ASSERT_TRUE(refineStitchShift(reference, frame, &shift));
    EXPECT_NEAR(shift.x, 600.6, 0.05);
    EXPECT_NEAR(shift.y, -19.7, 0.05);
}

TEST(StitchSubPixel, RefusesWhatItCannotMeasure) {
    const cv::Rect patch = StitchPanGenerator::standard().uniformPatch();
    const cv::Mat blank = StitchPanGenerator::standard().frameAt(QPointF(patch.x + 10, patch.y + 10), 0);
    const cv::Mat blank2 = StitchPanGenerator::standard().frameAt(QPointF(patch.x + 30, patch.y + 10), 1);
    cv::Point2d shift(20, 0);
    EXPECT_FALSE(refineStitchShift(blank, blank2, &shift));
    EXPECT_EQ(shift, cv::Point2d(20, 0));

    const cv::Mat a = StitchPanGenerator::standard().frameAt(QPointF(0, 0), 0);
    const cv::Mat b = StitchPanGenerator::standard().frameAt(QPointF(1890, 0), 1);
    shift = cv::Point2d(1890, 0); // 30 columns of overlap
    EXPECT_FALSE(refineStitchShift(a, b, &shift));
    EXPECT_FALSE(refineStitchShift(cv::Mat(), b, &shift));
}
