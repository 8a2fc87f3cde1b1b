// Whole pans of the synthetic specimen through the stitching loop, in both
// modes: placement accuracy, still frames, growth, and the abrupt jump that
// runs up the failure count, the full search and the registration.
#include "StitchLoopDriver.h"
#include "StitchPanGenerator.h"

#include "imaging/StitchFeatherMask.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <set>

namespace {

void checkPan(bool precision, bool threaded, bool realistic = false) {
    StitchPanOptions options;
    options.halve = !precision;
    if (realistic) {
        options.subpixel = true;
        options.vignetting = 0.25;
        options.noiseSigma = 2.5;
        options.jpegQuality = 90;
    }
    const StitchPanGenerator gen(options);
    const StitchPanPlan plan;
    const std::vector<StitchPanFrame> frames = gen.pan(plan);

    StitchLoopDriver driver(precision, threaded);
    const cv::Mat full = buildStitchFeatherMask(1920, 1080, 800, 500);
    driver.setFeatherMasks(full, halveStitchFeatherMask(full));
    driver.run(frames);
    const StitchMosaic& mosaic = driver.mosaic();

    // Every stop is placed, each frame within a pixel of the truth.
    std::set<int> placedStops;
    for (int frame : driver.placementFrames())
        placedStops.insert(frames[size_t(frame)].stop);
    EXPECT_EQ(int(placedStops.size()), int(StitchPanGenerator::stops(plan).size()));
    const std::vector<double> errors = driver.placementErrors(frames);
    EXPECT_EQ(errors.size(), StitchPanGenerator::stops(plan).size() - 1);
    for (size_t i = 0; i < errors.size(); ++i)
        EXPECT_LE(errors[i], 1.0) << "placement " << i + 1;

    // Still frames after each placement wait 201 ms.
    int stills = 0;
    for (const auto& r : driver.records())
        if (r.status == StitchStill) {
            ++stills;
            EXPECT_EQ(r.delayMs, 201);
        }
    EXPECT_GE(stills, plan.cols * plan.rows);

    // The jump: 13 failed frame-to-frame matches, then the full search, whose
    // coarse step finds too little on the nearly uniform ground, then the
    // registration and the match in its region, which places the frame.
    std::vector<StitchLoopDriver::Record> jump;
    for (const auto& r : driver.records())
        if (frames[size_t(r.frame)].jumped)
            jump.push_back(r);
    ASSERT_GE(jump.size(), 15u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(jump[size_t(i)].job, StitchLoopDriver::FrameMatch);
        EXPECT_LE(jump[size_t(i)].status, StitchUnreliable);
    }
    EXPECT_EQ(jump[13].job, StitchLoopDriver::FullSearch);
    EXPECT_EQ(jump[13].status, StitchFewFeatures);
    EXPECT_EQ(jump[14].job, StitchLoopDriver::RegionMatch);
    EXPECT_TRUE(jump[14].placed);
    EXPECT_EQ(driver.redMarkers, 1);
    EXPECT_EQ(driver.registrations, 1);
    EXPECT_EQ(driver.refusals, 0);

    // Growth in 300-pixel steps, only where the pan went past the first side.
    const int side = StitchMosaic::sceneSide(precision);
    EXPECT_GT(mosaic.size().width(), side);
    EXPECT_EQ((mosaic.size().width() - side) % 300, 0);
    EXPECT_EQ((mosaic.size().height() - side) % 300, 0);
    EXPECT_GE(driver.growths, 1);
    EXPECT_EQ(driver.sizeLimits, 0);

    if (realistic)
        return;
    // The mosaic shows the specimen where frames were placed (blending equal
    // pictures may lose one level to truncation).
    cv::Mat specimen = gen.specimen();
    if (!precision)
        cv::resize(specimen, specimen, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    const QPoint p0 = mosaic.placements().value(0).topLeft();
    const QPoint t0 = frames[size_t(driver.placementFrames().value(0))].truth.toPoint();
    for (auto it = mosaic.placements().constBegin(); it != mosaic.placements().constEnd(); ++it) {
        const QRect r = it.value();
        const QPoint truth = r.topLeft() - p0 + t0;
        cv::Mat diff;
        cv::absdiff(mosaic.mosaic()(cv::Rect(r.x(), r.y(), r.width(), r.height())),
                    specimen(cv::Rect(truth.x(), truth.y(), r.width(), r.height())), diff);
        double worst = 0;
        cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
        EXPECT_LE(worst, 1.0) << "placement " << it.key();
    }
}

} // namespace

TEST(StitchPan, PrecisionPanPlacesEveryStopWithinAPixel) { checkPan(true, false); }

TEST(StitchPan, FastPanPlacesEveryStopWithinAPixel) { checkPan(false, false); }

TEST(StitchPan, FastPanAtFractionsOfAPixelWithNoiseVignettingAndJpeg) { checkPan(false, false, true); }

// Steps of 640.8 x 360.8 camera pixels (320.4 x 180.4 in Fast): the rounded
// vote mean drops 0.4 pixels at every step in both directions, and a chain
// of eight stops ends more than 3 pixels off; exact placing stays within one.
TEST(StitchPan, LongPanDoesNotDriftWithExactPlacing) {
    StitchPanOptions options;
    options.halve = true;
    const StitchPanGenerator gen(options);
    StitchPanPlan plan;
    plan.jump = false;
    plan.drift = QPointF(0.8, 0.8);
    const std::vector<StitchPanFrame> frames = gen.pan(plan);
    double worst[2] = {0, 0};
    for (int exact = 0; exact < 2; ++exact) {
        StitchLoopDriver driver(false);
        const cv::Mat full = buildStitchFeatherMask(1920, 1080, 800, 500);
        driver.setFeatherMasks(full, halveStitchFeatherMask(full));
        driver.mosaic().setSubPixelRefinement(exact == 1);
        driver.run(frames);
        const std::vector<double> errors = driver.placementErrors(frames);
        EXPECT_EQ(errors.size(), 7u);
        for (double e : errors)
            worst[exact] = std::max(worst[exact], e);
    }
    EXPECT_GT(worst[0], 3.0);
    EXPECT_LE(worst[1], 1.0);
}

TEST(StitchPan, FastPanThroughTheWorkerThread) {
    int argc = 1;
    char name[] = "tst_stitch_pan";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    checkPan(false, true);
}
