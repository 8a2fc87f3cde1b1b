// The ORB offset matcher: the counting and voting rules on hand-made
// features, then real frames of the synthetic specimen.
#include "tests/support/CvAllocationLog.h"
#include "StitchPanGenerator.h"

#include "imaging/StitchMatcher.h"
#include "imaging/StitchMosaic.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

const cv::Size kFrame(1920, 1080);

// Hand-made features: `n` random descriptors in image 1; image 2 holds the
// first `copies` of them at p + shift(i) and random ones for the rest. The
// key points lie outside the central box unless `central` says how many of
// the first ones lie inside it (in image 2).
struct Features {
    std::vector<cv::KeyPoint> kp1, kp2;
    cv::Mat d1, d2;
};

Features makeFeatures(int n1, int n2, int copies, const std::function<cv::Point2f(int)>& shift, int central = 0) {
    cv::RNG rng(12345);
    Features f;
    f.d1.create(n1, 32, CV_8U);
    f.d2.create(n2, 32, CV_8U);
    rng.fill(f.d1, cv::RNG::UNIFORM, 0, 256);
    rng.fill(f.d2, cv::RNG::UNIFORM, 0, 256);
    for (int i = 0; i < n1; ++i) {
        // Outside the box: the left and right quarter strips.
        cv::Point2f p(float(40 + (i % 7) * 50 + (i % 2) * 1400), float(60 + (i * 37) % 900));
        if (i < central)
            p = cv::Point2f(float(700 + 60 * i), float(400 + 30 * i));
        f.kp1.emplace_back(p - (i < copies ? shift(i) : cv::Point2f()), 31.0f);
    }
    for (int i = 0; i < n2; ++i) {
        if (i < copies && i < n1) {
            f.d1.row(i).copyTo(f.d2.row(i));
            f.kp2.emplace_back(f.kp1[size_t(i)].pt + shift(i), 31.0f);
        } else {
            f.kp2.emplace_back(cv::Point2f(float(100 + i), float(900 - i)), 31.0f);
        }
    }
    return f;
}

int offsetOf(StitchMatcher& m, const Features& f, int* ox, int* oy, StitchVotes* votes) {
    return m.computeFrameOffset(f.kp1, f.d1, f.kp2, f.d2, kFrame, ox, oy, votes);
}

auto constant(cv::Point2f d) {
    return [d](int) { return d; };
}

} // namespace

TEST(StitchMatcherRules, HundredDescriptorsAreTooFewAndHundredAndOneAreMatched) {
    StitchMatcher m;
    int ox = 5, oy = 6;
    StitchVotes votes;
    const auto shift = constant({50, 0});
    EXPECT_EQ(offsetOf(m, makeFeatures(100, 101, 100, shift), &ox, &oy, &votes), StitchFewFeatures);
    EXPECT_EQ(offsetOf(m, makeFeatures(101, 100, 100, shift), &ox, &oy, &votes), StitchFewFeatures);
    EXPECT_EQ(ox, 5); // outputs untouched
    EXPECT_TRUE(votes.empty());
    EXPECT_EQ(offsetOf(m, makeFeatures(101, 101, 101, shift), &ox, &oy, &votes), StitchMoved);
    EXPECT_EQ(ox, 50);
    EXPECT_EQ(oy, 0);
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].x, 500);
    EXPECT_EQ(votes[0].weight, 30); // the best 30 % of 101 matches
}

TEST(StitchMatcherRules, FourReliableMatchesAreNotEnoughFiveAre) {
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    EXPECT_EQ(offsetOf(m, makeFeatures(200, 200, 4, constant({80, 40})), &ox, &oy, &votes), StitchUnreliable);
    EXPECT_TRUE(votes.empty());
    EXPECT_EQ(offsetOf(m, makeFeatures(200, 200, 5, constant({80, 40})), &ox, &oy, &votes), StitchMoved);
    EXPECT_EQ(ox, 80);
    EXPECT_EQ(oy, 40);
}

TEST(StitchMatcherRules, WithoutARepeatedKeyTheOffsetsStayUnsetAndTheResultIsUnreliable) {
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    const auto scattered = [](int i) { return cv::Point2f(float(40 + 13 * i), float(3 * i * i)); };
    EXPECT_EQ(offsetOf(m, makeFeatures(150, 150, 12, scattered), &ox, &oy, &votes), StitchUnreliable);
    EXPECT_EQ(ox, -10000);
    EXPECT_EQ(oy, -10000);
    for (const StitchVote& v : votes)
        EXPECT_EQ(v.weight, 1);
}

TEST(StitchMatcherRules, StillBelowThirtyOnePixels) {
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    EXPECT_EQ(offsetOf(m, makeFeatures(101, 101, 101, constant({30.9f, -30.9f})), &ox, &oy, &votes), StitchStill);
    EXPECT_EQ(ox, 30);
    EXPECT_EQ(oy, -30);
    ASSERT_FALSE(votes.empty());
    EXPECT_EQ(votes[0].x, 309);
    EXPECT_EQ(votes[0].y, -309);
    votes.clear();
    EXPECT_EQ(offsetOf(m, makeFeatures(101, 101, 101, constant({31.0f, 0.0f})), &ox, &oy, &votes), StitchMoved);
}

TEST(StitchMatcherRules, HitsInTheCentralHalfCountTwice) {
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    // Of the 30 kept matches, 3 lie in the central box of image 2.
    EXPECT_EQ(offsetOf(m, makeFeatures(101, 101, 101, constant({-60, 0}), 3), &ox, &oy, &votes), StitchMoved);
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].weight, 3 * 2 + 27);
}

TEST(StitchMatcherRules, AStopEndsTheMatchingOfAWholeMosaicsFeatures) {
    // As many features as a large mosaic's: a stop seen while they are
    // matched ends the match unplaced, the outputs untouched; without one,
    // they give the shift.
    const Features f = makeFeatures(60000, 200, 200, constant({50, 0}));
    for (const bool stop : {false, true}) {
        StitchMatcher m;
        m.setStopped([stop] { return stop; });
        int ox = 5, oy = 6;
        StitchVotes votes;
        EXPECT_EQ(offsetOf(m, f, &ox, &oy, &votes), stop ? StitchUnreliable : StitchMoved) << stop;
        EXPECT_EQ(ox, stop ? 5 : 50) << stop;
        EXPECT_EQ(votes.empty(), stop) << stop;
    }
}

TEST(StitchMatcherRules, HammingMatchEqualsBruteForceMatcher) {
    cv::RNG rng(99);
    cv::Mat query(700, 32, CV_8U), train(500, 32, CV_8U);
    rng.fill(query, cv::RNG::UNIFORM, 0, 256);
    rng.fill(train, cv::RNG::UNIFORM, 0, 256);
    // Equal train rows: the first one wins.
    for (int i = 0; i < 50; ++i) {
        train.row(i).copyTo(train.row(400 + i));
        train.row(i).copyTo(query.row(i));
    }
    std::vector<cv::DMatch> ours, reference;
    StitchMatcher::matchHamming(query, train, &ours);
    cv::BFMatcher(cv::NORM_HAMMING, false).match(query, train, reference);
    ASSERT_EQ(ours.size(), reference.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].queryIdx, reference[i].queryIdx);
        EXPECT_EQ(ours[i].trainIdx, reference[i].trainIdx) << i;
        EXPECT_EQ(ours[i].distance, reference[i].distance);
    }
    EXPECT_EQ(ours[7].trainIdx, 7);
    EXPECT_EQ(ours[7].distance, 0.0f);
}

// ---------------------------------------------------------------- real frames


TEST(StitchMatcherFrames, MeasuresTheStageMovement) {
    StitchMatcher m;
    const cv::Mat ref = StitchPanGenerator::standard().frameAt({600, 500}, 0);
    int ox = 0, oy = 0;
    StitchVotes votes;
    // The stage moves right and up: the content moves left and down.
    EXPECT_EQ(m.matchFrames(ref, StitchPanGenerator::standard().frameAt({800, 380}, 1), true, &ox, &oy, &votes), StitchMoved);
    EXPECT_EQ(ox, -200);
    EXPECT_EQ(oy, 120);
    sortVotesByWeight(votes);
    EXPECT_EQ(votes[0].x, -2000);
    EXPECT_EQ(votes[0].y, 1200);
    EXPECT_GE(votes[0].weight, 100);

    votes.clear();
    EXPECT_EQ(m.matchFrames(ref, StitchPanGenerator::standard().frameAt({610, 495}, 2), true, &ox, &oy, &votes), StitchStill);
    EXPECT_EQ(ox, -10);
    EXPECT_EQ(oy, 5);
}

TEST(StitchMatcherFrames, ReusedFeaturesGiveTheSameResult) {
    // The frame just matched becomes the next reference: its features are
    // reused, and the outcome equals a fresh matcher's.
    const cv::Mat a = StitchPanGenerator::standard().frameAt({600, 500}, 0), b = StitchPanGenerator::standard().frameAt({750, 520}, 1);
    const cv::Mat c = StitchPanGenerator::standard().frameAt({900, 480}, 2);
    StitchMatcher chained, fresh;
    int ox = 0, oy = 0, fx = 0, fy = 0;
    StitchVotes votes, freshVotes;
    chained.matchFrames(a, b, true, &ox, &oy, &votes);
    votes.clear();
    const int status = chained.matchFrames(b, c, true, &ox, &oy, &votes);
    EXPECT_EQ(status, fresh.matchFrames(b, c, true, &fx, &fy, &freshVotes));
    EXPECT_EQ(ox, fx);
    EXPECT_EQ(oy, fy);
    ASSERT_EQ(votes.size(), freshVotes.size());
    for (size_t i = 0; i < votes.size(); ++i)
        EXPECT_TRUE(votes[i].x == freshVotes[i].x && votes[i].y == freshVotes[i].y &&
                    votes[i].weight == freshVotes[i].weight);
}

TEST(StitchMatcherFrames, FastModeOnHalvedFrames) {
    StitchPanOptions o;
    o.halve = true;
    const StitchPanGenerator half(o);
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    EXPECT_EQ(m.matchFrames(half.frameAt({600, 500}, 0), half.frameAt({400, 620}, 1), false, &ox, &oy, &votes),
              StitchMoved);
    EXPECT_EQ(ox, 100);
    EXPECT_EQ(oy, -60);
}

TEST(StitchMatcherFrames, NearlyUniformPatchHasTooFewFeatures) {
    StitchMatcher m;
    const cv::Rect patch = StitchPanGenerator::standard().uniformPatch();
    int ox = 0, oy = 0;
    StitchVotes votes;
    const cv::Mat blank = StitchPanGenerator::standard().frameAt(QPoint(patch.x + 20, patch.y + 40), 3);
    EXPECT_EQ(m.matchFrames(StitchPanGenerator::standard().frameAt({600, 500}, 0), blank, true, &ox, &oy, &votes), StitchFewFeatures);
    EXPECT_EQ(m.matchFrames(blank, blank, true, &ox, &oy, &votes), StitchFewFeatures);
    EXPECT_TRUE(votes.empty());
}

// A stop seen at any of a full search's looks ends it there, unplaced, and
// it is not asked again; the work after that look is left undone. A 5000
// mosaic reduced to an eighth: 625 rows, two bands, then the detection (its
// first look once under way) and the region's match. The last row stops at
// the first look after the reduced mosaic's features were found (and the
// reduced mosaic let go).
struct StopRow {
    int stopAt;      // the look that sees the stop; 0: the first once the mosaic's features were found
    int reducedRows; // rows of the reduced mosaic written
    bool detecting;  // its detection may have begun
};
std::ostream& operator<<(std::ostream& out, const StopRow& row) { return out << "stop at look " << row.stopAt; }

class StitchMatcherStop : public ::testing::TestWithParam<StopRow> {};

TEST_P(StitchMatcherStop, FullSearchEndsAtTheLookThatSeesIt) {
    cv::Mat mosaic(5000, 5000, CV_8UC3, cv::Scalar::all(0));
    StitchPanGenerator::standard().specimen()(cv::Rect(200, 300, 3000, 1800)).copyTo(mosaic(cv::Rect(1000, 1500, 3000, 1800)));
    const cv::Mat frame = StitchPanGenerator::standard().frameAt({1300, 900}, 4);
    const StopRow row = GetParam();
    const cv::Size reduced(625, 625), reducedFrame(240, 135);
    CvAllocationLog log;
    log.watch(reduced, CV_8UC3);
    int looks = 0, stoppedAt = 0;
    StitchMatcher m;
    m.setStopped([&] {
        ++looks;
        if (!stoppedAt && (row.stopAt ? looks >= row.stopAt : !log.writtenRows(reduced, CV_8UC3).isEmpty()))
            stoppedAt = looks;
        return stoppedAt > 0;
    });
    QRect region(0, 0, 1920, 1080);
    int ox = 0, oy = 0;
    StitchVotes votes;
    EXPECT_EQ(m.searchMosaic(mosaic, frame, true, &region, &ox, &oy, &votes), StitchUnreliable);
    EXPECT_EQ(looks, stoppedAt);
    if (row.stopAt) {
        EXPECT_EQ(looks, row.stopAt);
    }
    EXPECT_EQ(log.made(reducedFrame, CV_8UC1), 0) << "the frame's features were detected";
    EXPECT_EQ(log.made(frame.size(), CV_8UC1), 0) << "the region was matched";
    EXPECT_EQ(region, QRect(0, 0, 1920, 1080));
    // A detection left running holds the reduced mosaic (the log waits for it at its end).
    if (!row.detecting) {
        EXPECT_EQ(log.made(reduced, CV_8UC1), 0) << "the reduced mosaic's detection began";
        EXPECT_EQ(log.writtenRows(reduced, CV_8UC3), QList<int>{row.reducedRows});
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StitchMatcherStop,
                         ::testing::Values(StopRow{1, 0, false}, StopRow{2, 512, false}, StopRow{3, 625, false},
                                           StopRow{4, 625, true}, StopRow{5, 625, true}, StopRow{0, 625, true}));

// While it lives, holds the thread that asks OpenCV for the first matrix of
// one channel and `size` (ORB's grey copy of a picture that size, its first
// step) until open() is called, and tells when that matrix is freed again
// (the detection has ended).
class HeldGreyCopy : public cv::MatAllocator {
public:
    explicit HeldGreyCopy(cv::Size size)
        : m_size(size), m_base(cv::Mat::getStdAllocator()), m_previous(cv::Mat::getDefaultAllocator()) {
        cv::Mat::setDefaultAllocator(this);
    }
    ~HeldGreyCopy() override { cv::Mat::setDefaultAllocator(m_previous); }

    bool waitHeld() { return waitUntil([this] { return m_held; }); }
    bool waitFreed() { return waitUntil([this] { return m_freed; }); }
    void open() {
        std::lock_guard<std::mutex> l(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override {
        std::unique_lock<std::mutex> l(m_lock);
        const bool grey = !data && !m_held && dims == 2 && type == CV_8UC1 && sizes[0] == m_size.height &&
                          sizes[1] == m_size.width;
        if (!grey) {
            l.unlock();
            return m_base->allocate(dims, sizes, type, data, step, flags, usage);
        }
        m_held = true;
        m_changed.notify_all();
        m_changed.wait(l, [this] { return m_open; });
        cv::UMatData* u = m_base->allocate(dims, sizes, type, data, step, flags, usage);
        u->currAllocator = this; // its release comes here
        return u;
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        return m_base->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData* data) const override {
        const bool held = data->currAllocator == this;
        m_base->deallocate(data);
        if (held) {
            std::lock_guard<std::mutex> l(m_lock);
            m_freed = true;
            m_changed.notify_all();
        }
    }

private:
    template <class Condition> bool waitUntil(Condition condition) {
        std::unique_lock<std::mutex> l(m_lock);
        return m_changed.wait_for(l, std::chrono::seconds(60), condition);
    }
    const cv::Size m_size;
    cv::MatAllocator* m_base;
    cv::MatAllocator* m_previous;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    mutable bool m_held = false, m_open = false, m_freed = false;
};

// A stop that comes while ORB looks at the reduced mosaic ends the search
// unplaced, though the detection itself has not ended: it is held at its
// first step here until the search has returned (or a minute went by).
TEST(StitchMatcherStopDuringDetection, FullSearchReturnsWhileTheMosaicIsStillBeingDetected) {
    cv::Mat mosaic(5000, 5000, CV_8UC3, cv::Scalar::all(0));
    StitchPanGenerator::standard().specimen()(cv::Rect(200, 300, 3000, 1800)).copyTo(mosaic(cv::Rect(1000, 1500, 3000, 1800)));
    const cv::Mat frame = StitchPanGenerator::standard().frameAt({1300, 900}, 4);
    std::atomic<bool> stop{false};
    StitchMatcher m;
    m.setStopped([&] { return stop.load(); });
    HeldGreyCopy held(cv::Size(625, 625)); // the mosaic at an eighth
    std::mutex lock;
    std::condition_variable changed;
    bool returned = false;
    int status = -1;
    std::thread search([&] {
        QRect region(0, 0, 1920, 1080);
        int ox = 0, oy = 0;
        StitchVotes votes;
        const int s = m.searchMosaic(mosaic, frame, true, &region, &ox, &oy, &votes);
        std::lock_guard<std::mutex> l(lock);
        status = s;
        returned = true;
        changed.notify_all();
    });
    const bool detecting = held.waitHeld();
    stop = true;
    bool ended = false;
    {
        std::unique_lock<std::mutex> l(lock);
        ended = changed.wait_for(l, std::chrono::seconds(60), [&] { return returned; });
    }
    held.open();
    search.join();
    EXPECT_TRUE(detecting);
    EXPECT_TRUE(ended) << "the search waited for the detection";
    EXPECT_EQ(status, StitchUnreliable);
    // What was left behind ends by itself.
    EXPECT_TRUE(held.waitFreed());
}

TEST(StitchMatcherFrames, FullSearchFindsAFrameInTheMosaic) {
    // A mosaic with specimen content around (1000, 1500)..(4000, 3300).
    cv::Mat mosaic(5000, 5000, CV_8UC3, cv::Scalar::all(0));
    StitchPanGenerator::standard().specimen()(cv::Rect(200, 300, 3000, 1800)).copyTo(mosaic(cv::Rect(1000, 1500, 3000, 1800)));
    const cv::Mat frame = StitchPanGenerator::standard().frameAt({1300, 900}, 4); // at (2100, 2100) in the mosaic

    StitchMatcher m;
    for (QRect region : {QRect(0, 0, 1920, 1080), QRect()}) {
        int ox = 0, oy = 0;
        StitchVotes votes;
        ASSERT_EQ(m.searchMosaic(mosaic, frame, true, &region, &ox, &oy, &votes), StitchMoved);
        ASSERT_FALSE(votes.empty());
        EXPECT_EQ(region.size(), QSize(1920, 1080));
        EXPECT_TRUE(QRect(0, 0, 5000, 5000).contains(region));
        sortVotesByWeight(votes);
        int mx = 0, my = 0;
        ASSERT_TRUE(stitchVoteMean(votes, stitchVoteTotal(votes), &mx, &my));
        EXPECT_EQ(region.x() - mx, 2100);
        EXPECT_EQ(region.y() - my, 2100);
    }

    // Fast mode works on the mosaic reduced to a quarter.
    StitchPanOptions o;
    o.halve = true;
    const StitchPanGenerator half(o);
    cv::Mat small;
    cv::resize(mosaic, small, cv::Size(2500, 2500), 0, 0, cv::INTER_AREA);
    QRect region(0, 0, 960, 540);
    int ox = 0, oy = 0;
    StitchVotes votes;
    ASSERT_EQ(m.searchMosaic(small, half.frameAt({1300, 900}, 4), false, &region, &ox, &oy, &votes), StitchMoved);
    sortVotesByWeight(votes);
    int mx = 0, my = 0;
    ASSERT_TRUE(stitchVoteMean(votes, stitchVoteTotal(votes), &mx, &my));
    EXPECT_EQ(region.x() - mx, 1050);
    EXPECT_EQ(region.y() - my, 1050);
}

TEST(StitchMatcherFrames, RegionMatchRefusesAWrongRegion) {
    StitchMatcher m;
    int ox = 0, oy = 0;
    StitchVotes votes;
    const cv::Mat frame = StitchPanGenerator::standard().frameAt({1300, 900}, 5);
    EXPECT_EQ(m.matchRegion(StitchPanGenerator::standard().frameAt({1340, 880}, 6), frame, true, &ox, &oy, &votes), StitchMoved);
    EXPECT_FALSE(votes.empty());
    votes.clear();
    EXPECT_NE(m.matchRegion(StitchPanGenerator::standard().frameAt({3300, 100}, 7), frame, true, &ox, &oy, &votes), StitchMoved);
}
