// Feather weight masks and the hub's initPinJieMask.
#include "tests/support/TestEnv.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "imaging/StitchFeatherMask.h"
#include "imaging/StitchStart.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// 1920 x 1080 with 800 x 500 semi-axes: centre (960, 540).
const cv::Mat& usualMask() {
    static const cv::Mat mask = buildStitchFeatherMask(1920, 1080, 800, 500);
    return mask;
}

class MaskCamera : public BaseCamera {
public:
    QSize frame{1920, 1080};
    QSize preview{800, 500};
    QSize frameSize(bool full) const override { return full ? QSize(3840, 2160) : frame; }
    QSize previewSize() const override { return preview; }
};

} // namespace

TEST(StitchFeatherMask, OneInsideTheEllipseZeroAtTheBorder) {
    const cv::Mat& m = usualMask();
    ASSERT_EQ(m.type(), CV_32FC1);
    ASSERT_TRUE(m.isContinuous());
    ASSERT_EQ(m.cols, 1920);
    ASSERT_EQ(m.rows, 1080);
    EXPECT_EQ(m.at<float>(540, 960), 1.0f);
    EXPECT_EQ(m.at<float>(540, 960 + 800), 1.0f); // on the ellipse
    EXPECT_EQ(m.at<float>(540 + 500, 960), 1.0f);
    EXPECT_EQ(m.at<float>(540 + 300, 960 + 600), 1.0f); // (0.75)^2 + (0.6)^2 < 1
    EXPECT_EQ(m.at<float>(0, 960), 0.0f);               // vertical axis, |y| = cy
    EXPECT_EQ(m.at<float>(540, 0), 0.0f);                // centre row, x = -cx
    EXPECT_EQ(m.at<float>(0, 0), 0.0f);                  // corner
}

TEST(StitchFeatherMask, FallsLinearlyFromTheEllipseToTheEdge) {
    const cv::Mat& m = usualMask();
    // Centre row, x = 880: ellipse at 800, edge at 960.
    EXPECT_NEAR(m.at<float>(540, 960 + 880), 0.5f, 1e-6);
    EXPECT_NEAR(m.at<float>(540, 960 - 840), 0.75f, 1e-6);
    // Vertical axis, y = 520: 1 - (520 - 500) / (540 - 500).
    EXPECT_NEAR(m.at<float>(540 + 520, 960), 0.5f, 1e-6);
    // The ray y = x / 2 through (-900, -450) leaves the frame through the
    // left edge at (-960, -480) and crosses the ellipse where
    // x^2 / 800^2 + (x / 2)^2 / 500^2 = 1.
    const double ex = 1.0 / std::sqrt(1.0 / (800.0 * 800.0) + 0.25 / (500.0 * 500.0));
    const double de = std::hypot(ex, ex / 2), dp = std::hypot(900.0, 450.0), dE = std::hypot(960.0, 480.0);
    EXPECT_NEAR(m.at<float>(540 - 450, 960 - 900), 1.0 - (dp - de) / (dE - de), 1e-6);
    // Every weight is in [0, 1] and never rises going outwards along a row.
    double lo, hi;
    cv::minMaxLoc(m, &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 1.0);
    for (int r : {0, 100, 539, 700, 1079})
        for (int c = 961; c < 1920; ++c)
            ASSERT_LE(m.at<float>(r, c), m.at<float>(r, c - 1) + 1e-6f) << r << "," << c;
}

TEST(StitchFeatherMask, EllipseBeyondTheFrameWeighsOneEverywhere) {
    const cv::Mat m = buildStitchFeatherMask(400, 300, 3000, 2500);
    double lo, hi;
    cv::minMaxLoc(m, &lo, &hi);
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 1.0);
}

TEST(StitchFeatherMask, ZeroSemiAxisGivesFiniteWeights) {
    for (cv::Size axes : {cv::Size(0, 0), cv::Size(0, 50), cv::Size(80, 0)}) {
        const cv::Mat m = buildStitchFeatherMask(160, 90, axes.width, axes.height);
        ASSERT_EQ(cv::countNonZero(m != m), 0) << "NaN in mask";
        double lo, hi;
        cv::minMaxLoc(m, &lo, &hi);
        EXPECT_GE(lo, 0.0);
        EXPECT_LE(hi, 1.0);
        EXPECT_EQ(m.at<float>(45, 80), 1.0f);
    }
    EXPECT_TRUE(buildStitchFeatherMask(0, 10, 5, 5).empty());
}

TEST(StitchFeatherMask, HalfMaskSamplesEvenRowsAndColumns) {
    const cv::Mat& full = usualMask();
    const cv::Mat half = halveStitchFeatherMask(full);
    ASSERT_EQ(half.cols, 960);
    ASSERT_EQ(half.rows, 540);
    ASSERT_TRUE(half.isContinuous());
    for (int r = 0; r < half.rows; r += 7)
        for (int c = 0; c < half.cols; c += 5)
            ASSERT_EQ(half.at<float>(r, c), full.at<float>(2 * r, 2 * c));
}

TEST(StitchFeatherMask, FittingKeepsTheShapeAtAnotherSize) {
    const cv::Mat fitted = fitStitchFeatherMask(usualMask(), 960, 540);
    ASSERT_EQ(fitted.size(), cv::Size(960, 540));
    EXPECT_EQ(fitted.at<float>(270, 480), 1.0f);
    EXPECT_LT(fitted.at<float>(0, 480), 0.02f);
    EXPECT_EQ(fitStitchFeatherMask(usualMask(), 1920, 1080).data, usualMask().data); // no copy when it fits
    const cv::Mat fresh = fitStitchFeatherMask(cv::Mat(), 640, 360);
    ASSERT_EQ(fresh.size(), cv::Size(640, 360));
    EXPECT_EQ(fresh.at<float>(180, 320), 1.0f);
    EXPECT_EQ(fresh.at<float>(0, 320), 0.0f);
}

TEST(StitchFeatherMask, BothMasksComeFromTheCamerasStitchingSizes) {
    TestEnv env;
    MessagePassing* hub = MessagePassing::instance();
    MaskCamera camera;
    camera.frame = QSize(640, 360);
    camera.preview = QSize(200, 100);
    // As the stitching panel asks for them: the frame size of the stitching
    // mode, and the preview size for the ellipse's semi-axes.
    StitchStart::featherMasks(camera.frameSize(false), camera.previewSize(), &hub->pinJieMask, &hub->pinJieMaskHalf);

    const cv::Mat expected = buildStitchFeatherMask(640, 360, 200, 100);
    ASSERT_EQ(hub->pinJieMask.size(), cv::Size(640, 360)); // the stitching size, not the full 4K size
    EXPECT_EQ(cv::norm(hub->pinJieMask, expected, cv::NORM_INF), 0.0);
    ASSERT_EQ(hub->pinJieMaskHalf.size(), cv::Size(320, 180));
    EXPECT_EQ(hub->pinJieMaskHalf.at<float>(10, 300), expected.at<float>(20, 600));
}
