// The SIFT registration that finds a lost frame in the mosaic.
#include "tests/support/CvAllocationLog.h"
#include "StitchPanGenerator.h"

#include "imaging/StitchBufferPool.h"
#include "imaging/StitchRegistration.h"

#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <functional>

#include <gtest/gtest.h>

namespace {

cv::Mat homography(double h00, double h11, double tx, double ty) {
    return (cv::Mat_<double>(3, 3) << h00, 0.0, tx, 0.0, h11, ty, 0.0, 0.0, 1.0);
}

} // namespace

TEST(StitchRegistration, AcceptsOnlyEqualScales) {
    QPoint p(-1, -1);
    EXPECT_FALSE(stitchHomographyPosition(homography(1.000, 1.016, 10, 10), &p));
    EXPECT_FALSE(stitchHomographyPosition(homography(0.984, 1.000, 10, 10), &p));
    EXPECT_EQ(p, QPoint(-1, -1));
    EXPECT_TRUE(stitchHomographyPosition(homography(1.000, 1.0159, 10, 10), &p));
    EXPECT_FALSE(stitchHomographyPosition(cv::Mat(), &p));
    EXPECT_FALSE(stitchHomographyPosition(cv::Mat::eye(2, 3, CV_64F), &p));
    EXPECT_FALSE(stitchHomographyPosition(homography(1.0, 1.0, std::nan(""), 0), &p));
}

TEST(StitchRegistration, TranslationRoundsHalvesToEven) {
    QPoint p;
    ASSERT_TRUE(stitchHomographyPosition(homography(1, 1, 12.5, 13.5), &p));
    EXPECT_EQ(p, QPoint(12, 14));
    ASSERT_TRUE(stitchHomographyPosition(homography(1, 1, -2.5, 7.49), &p));
    EXPECT_EQ(p, QPoint(-2, 7));
}

TEST(StitchRegistration, FindsAFrameInTheMosaic) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    cv::Mat mosaic(3000, 4000, CV_8UC3, cv::Scalar::all(0));
    gen.specimen()(cv::Rect(0, 0, 3600, 2400)).copyTo(mosaic(cv::Rect(300, 500, 3600, 2400)));
    QPoint p;
    ASSERT_TRUE(registerStitchFrame(mosaic, gen.frameAt({1234, 618}, 0), &p));
    // SIFT on quarter-size pictures: a few pixels, which the region match refines.
    EXPECT_LE(std::abs(p.x() - 1534), 4);
    EXPECT_LE(std::abs(p.y() - 1118), 4);
}

// A stop seen at any of the registration's looks ends it there: nothing
// registered, not asked again, and the work after that look left undone
// (the work between two looks is a band's). The mosaic is 3000 rows, 750
// reduced: two bands to reduce, two to search (SIFT's grey copies of 576
// and 302 rows), the frame's key points (its grey copy at a quarter), six
// looks before the match; the match against the whole mosaic's features
// runs aside, looked at once it is under way (the seventh) and every 10 ms.
struct RegistrationStopRow {
    int stopAt;
    int reducedRows; // rows of the reduced mosaic written
    int work;        // of the band searches and the frame's, how many ran
};
std::ostream& operator<<(std::ostream& out, const RegistrationStopRow& row) {
    return out << "stop at look " << row.stopAt;
}

class StitchRegistrationStop : public ::testing::TestWithParam<RegistrationStopRow> {};

TEST_P(StitchRegistrationStop, EndsAtTheLookThatSeesIt) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    cv::Mat mosaic(3000, 4000, CV_8UC3, cv::Scalar::all(0));
    gen.specimen()(cv::Rect(0, 0, 3600, 2400)).copyTo(mosaic(cv::Rect(300, 500, 3600, 2400)));
    const cv::Mat frame = gen.frameAt({1234, 618}, 0);
    const RegistrationStopRow row = GetParam();
    CvAllocationLog log;
    log.watch(cv::Size(1000, 750), CV_8UC3);
    int looks = 0;
    QPoint p(-7, -7);
    EXPECT_FALSE(registerStitchFrame(mosaic, frame, &p, [&] { return ++looks >= row.stopAt; }));
    EXPECT_EQ(looks, row.stopAt);
    EXPECT_EQ(p, QPoint(-7, -7));
    EXPECT_EQ(log.writtenRows(cv::Size(1000, 750), CV_8UC3), QList<int>{row.reducedRows});
    const QList<bool> ran{log.made(cv::Size(1000, 576), CV_8UC1) > 0, log.made(cv::Size(1000, 302), CV_8UC1) > 0,
                          log.made(cv::Size(480, 270), CV_8UC1) > 0};
    EXPECT_EQ(ran, QList<bool>({row.work > 0, row.work > 1, row.work > 2}));
}

INSTANTIATE_TEST_SUITE_P(EveryBand, StitchRegistrationStop,
                         ::testing::Values(RegistrationStopRow{1, 0, 0}, RegistrationStopRow{2, 512, 0},
                                           RegistrationStopRow{3, 750, 0}, RegistrationStopRow{4, 750, 1},
                                           RegistrationStopRow{5, 750, 2}, RegistrationStopRow{6, 750, 3},
                                           RegistrationStopRow{7, 750, 3}));

// In buffers kept from one job to the next (the stitching worker's:
// StitchBufferPool), the second SIFT detection, and the second
// registration, map none: they work in the buffers the first wrote into, and
// find the very key points and descriptors, and the very place, that fresh
// buffers give.
TEST(StitchRegistration, KeptBuffersGiveTheSameResult) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    cv::Mat mosaic(3000, 4000, CV_8UC3, cv::Scalar::all(0));
    gen.specimen()(cv::Rect(0, 0, 3600, 2400)).copyTo(mosaic(cv::Rect(300, 500, 3600, 2400)));
    const cv::Mat frame = gen.frameAt({1234, 618}, 0);
    cv::Mat small;
    cv::resize(mosaic, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    struct Found {
        std::vector<cv::KeyPoint> kp;
        cv::Mat desc;
        QPoint at;
        bool registered = false;
    };
    const std::function<Found()> jobs[2] = {
        [&] {
            Found f;
            cv::SIFT::create(0, 3, 0.04, 10, 1.6)->detectAndCompute(small, cv::noArray(), f.kp, f.desc);
            return f;
        },
        [&] {
            Found f;
            f.registered = registerStitchFrame(mosaic, frame, &f.at);
            return f;
        }};
    for (const std::function<Found()>& job : jobs) {
        const Found fresh = job();
        StitchBufferPool::keep(true);
        Found kept[2];
        long mapped[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const long before = StitchBufferPool::mapped();
            {
                StitchBufferPool::Scope reuse;
                kept[i] = job();
            }
            mapped[i] = StitchBufferPool::mapped() - before;
            // Held here, the descriptors would keep their buffer from the
            // next job; a job's own outputs go before it ends.
            kept[i].desc = kept[i].desc.clone();
        }
        StitchBufferPool::keep(false);
        EXPECT_EQ(StitchBufferPool::keptBytes(), size_t(0));
        EXPECT_GT(mapped[0], 0);
        EXPECT_EQ(mapped[1], 0);
        for (const Found& k : kept) {
            EXPECT_EQ(k.registered, fresh.registered);
            EXPECT_EQ(k.at, fresh.at);
            ASSERT_EQ(k.kp.size(), fresh.kp.size());
            for (size_t i = 0; i < k.kp.size(); ++i) {
                const cv::KeyPoint &a = k.kp[i], &b = fresh.kp[i];
                ASSERT_TRUE(a.pt == b.pt && a.size == b.size && a.angle == b.angle && a.response == b.response &&
                            a.octave == b.octave)
                    << "key point " << i;
            }
            ASSERT_EQ(k.desc.size(), fresh.desc.size());
            if (!k.desc.empty()) {
                EXPECT_EQ(cv::norm(k.desc, fresh.desc, cv::NORM_INF), 0.0);
            }
        }
    }
}

// A kept buffer is its matrix's bytes (whole pages), no more address space
// than a buffer mapped afresh, which an address limit counts; a later matrix
// of up to a quarter less takes it, a smaller one maps its own.
TEST(StitchRegistration, KeptBufferIsTheMatrixSize) {
    StitchBufferPool::keep(true);
    const long before = StitchBufferPool::mapped();
    const int rows[] = {5000, 4500, 3000}; // of 1280 floats: 25.6, 23.04, 15.36 MB
    for (int r : rows) {
        StitchBufferPool::Scope reuse;
        cv::Mat band(r, 1280, CV_32F);
    }
    EXPECT_EQ(StitchBufferPool::mapped() - before, 2);
    EXPECT_EQ(StitchBufferPool::keptBytes(), size_t(25600000) + size_t(15360000));
    StitchBufferPool::keep(false);
}

// A kept buffer idle for longer than 16 jobs stays while the jobs find
// every buffer they need kept (a placement's, which come as far apart as the
// camera rests on a stop); when a job needs one the pool lacks (other sizes:
// the other mode, another resolution), a buffer idle that long goes.
TEST(StitchRegistration, IdleBufferGoesOnlyWhenJobsNeedOthers) {
    StitchBufferPool::keep(true);
    const long before = StitchBufferPool::mapped();
    const auto job = [](int rows) { // 1024 bytes a row: 1.5, 2 and 3 MiB buffers of their own
        StitchBufferPool::Scope reuse;
        cv::Mat frame(rows, 1024, CV_8U);
    };
    job(2048);
    for (int i = 0; i < 40; ++i)
        job(1536);
    job(2048);
    EXPECT_EQ(StitchBufferPool::mapped() - before, 2);
    for (int i = 0; i < 17; ++i)
        job(1536);
    job(3072);
    EXPECT_EQ(StitchBufferPool::mapped() - before, 3);
    EXPECT_EQ(StitchBufferPool::keptBytes(), size_t(1536 + 3072) * 1024);
    StitchBufferPool::keep(false);
}

TEST(StitchRegistration, FailsOnAFeaturelessFrame) {
    const StitchPanGenerator& gen = StitchPanGenerator::standard();
    const cv::Rect patch = gen.uniformPatch();
    const cv::Mat blank = gen.frameAt(QPoint(patch.x + 10, patch.y + 10), 0);
    QPoint p(-5, -5);
    EXPECT_FALSE(registerStitchFrame(gen.specimen()(cv::Rect(0, 0, 3000, 2000)), blank, &p));
    EXPECT_FALSE(registerStitchFrame(cv::Mat(), gen.frameAt({0, 0}, 0), &p));
    EXPECT_EQ(p, QPoint(-5, -5));
}

// A lost 640 x 480 frame that lies mostly on featureless ground, with only a
// strip of the specimen in it, in a Precision mosaic: reduced by half, SIFT
// finds it within a few pixels; reduced to a quarter, the strip leaves too
// few key points and it is not found.
TEST(StitchRegistration, FindsASmallFrameMostlyOnFeaturelessGround) {
    struct Case {
        StitchPanOptions::Kind kind;
        QPoint at; // on the specimen, whose featureless patch begins at (1400, 200)
    };
    for (const Case& c : {Case{StitchPanOptions::Textured, {1200, 600}}, Case{StitchPanOptions::Stripes, {1200, 600}},
                          Case{StitchPanOptions::Stripes, {1700, 900}}}) {
        StitchPanOptions options;
        options.kind = c.kind;
        options.cameraFrame = cv::Size(640, 480);
        options.specimen = cv::Size(2400, 1600);
        options.uniformPatch = cv::Rect(1400, 200, 1000, 1000);
        options.noiseSigma = 2.0;
        options.vignetting = 0.2;
        options.jpegQuality = 92;
        const StitchPanGenerator gen(options);
        cv::Mat mosaic(5000, 5000, CV_8UC3, cv::Scalar::all(0));
        gen.specimen().copyTo(mosaic(cv::Rect(1300, 1700, 2400, 1600)));
        QPoint p(-1, -1);
        ASSERT_TRUE(registerStitchFrame(mosaic, gen.frameAt(c.at, 1), &p)) << int(c.kind) << " at " << c.at.x();
        EXPECT_LE(std::abs(p.x() - (1300 + c.at.x())), 4);
        EXPECT_LE(std::abs(p.y() - (1700 + c.at.y())), 4);
    }
}
