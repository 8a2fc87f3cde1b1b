// Focus-stacking arithmetic against hand-computed values: grid geometry, cell
// sharpness, rank score, search rectangle, voting histogram, focus map, and
// the per-pixel blend rule of the fusion.

#include "imaging/FocusFusionPlanes.h"
#include "imaging/FocusStackMath.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <numeric>

namespace fsm = FocusStackMath;

TEST(FocusStackMath, GridCellsOfA1080pFrameAreCentredWithIntegerMargins) {
    // 1920 x 1080 -> 240 x 135 at 1/8; cells 15 x 8; margins 0 and (135 - 128) / 2 = 3.
    const auto cells = fsm::gridCells(cv::Size(240, 135));
    ASSERT_EQ(cells.size(), 256u);
    EXPECT_EQ(cells[0], cv::Rect(0, 3, 15, 8));
    EXPECT_EQ(cells[17], cv::Rect(15, 11, 15, 8)); // row 1, column 1
    EXPECT_EQ(cells[255], cv::Rect(225, 123, 15, 8));
    // 1000 x 750 -> 125 x 94: cells 7 x 5, margins (125 - 112) / 2 = 6 and (94 - 80) / 2 = 7.
    EXPECT_EQ(fsm::gridCells(cv::Size(125, 94))[0], cv::Rect(6, 7, 7, 5));
}

TEST(FocusStackMath, CellSharpnessIsTheMeanMixedSobelAndAtLeastOne) {
    // f(x, y) = 2xy: the mixed 3x3 Sobel f(x-1,y-1) - f(x+1,y-1) - f(x-1,y+1) + f(x+1,y+1) = 8.
    cv::Mat ramp(12, 12, CV_8UC1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ramp.at<uchar>(y, x) = static_cast<uchar>(2 * x * y);
    const cv::Mat flat(12, 12, CV_8UC1, cv::Scalar(77));
    const std::vector<cv::Rect> cells = {cv::Rect(1, 1, 10, 10), cv::Rect(3, 2, 4, 5)};
    std::vector<float> grid;
    fsm::gridSharpness(ramp, cells, grid);
    ASSERT_EQ(grid.size(), 2u);
    EXPECT_FLOAT_EQ(grid[0], 8.0f);
    EXPECT_FLOAT_EQ(grid[1], 8.0f);
    fsm::gridSharpness(flat, cells, grid);
    EXPECT_FLOAT_EQ(grid[0], 1.0f); // a mean of 0 counts as 1
    EXPECT_FLOAT_EQ(grid[1], 1.0f);
}

TEST(FocusStackMath, RankScoreSumsTheIndicesOfThe80HighestCells) {
    std::vector<float> grid(256);
    std::iota(grid.begin(), grid.end(), 0.0f);
    EXPECT_EQ(fsm::rankScore(grid), (176 + 255) * 80 / 2); // cells 176..255
    // Values are truncated before ranking; equal values keep index order.
    std::fill(grid.begin(), grid.end(), 3.1f);
    grid[200] = 3.9f;
    EXPECT_EQ(fsm::rankScore(grid), 79 * 80 / 2); // cells 0..79
    grid[200] = 4.0f;
    EXPECT_EQ(fsm::rankScore(grid), 78 * 79 / 2 + 200); // 200 first, then 0..78
}

TEST(FocusStackMath, SearchRectCoversTheSharpest12x12Block) {
    std::vector<float> grid(256, 1.0f);
    // Equal sums everywhere: the first block (0, 0).
    EXPECT_EQ(fsm::searchRect(grid, 1920, 1080), cv::Rect(0, 0, 360, 201));
    // Blocks start at rows and columns 0..3 and span 12 cells, so cell (14, 14)
    // lies only in block (3, 3): x = 120 * 3 / 4, y = 67 * 3 / 4.
    grid[14 * 16 + 14] = 100.0f;
    EXPECT_EQ(fsm::searchRect(grid, 1920, 1080), cv::Rect(90, 50, 360, 201));
    // Sharp cell in row 0, column 14: blocks with c = 3 (columns 3..14) and r = 0.
    std::fill(grid.begin(), grid.end(), 1.0f);
    grid[14] = 100.0f;
    EXPECT_EQ(fsm::searchRect(grid, 640, 480), cv::Rect(30, 0, 120, 90));
}

TEST(FocusStackMath, VoteTakesTheHeaviestWindowAndItsWeightedMean) {
    double mean = 0;
    // Windows (tolerance 35): 1100 -> 1; 1010 -> {1010, 1000} = 5; 1000 -> 5 (not
    // strictly greater); 900 -> 1. Mean (1010 * 2 + 1000 * 3) / 5.
    ASSERT_TRUE(fsm::voteKeys({1000, 1000, 1000, 1010, 1010, 1100, 900}, 35, mean));
    EXPECT_DOUBLE_EQ(mean, 1004.0);
    // Equal weights: the highest key wins.
    ASSERT_TRUE(fsm::voteKeys({10, 20}, 5, mean));
    EXPECT_DOUBLE_EQ(mean, 20.0);
    // A window reaches both ways from its bin: 0 gathers -600 and 600.
    ASSERT_TRUE(fsm::voteKeys({-600, 0, 600, 5000}, 625, mean));
    EXPECT_DOUBLE_EQ(mean, 0.0);
    EXPECT_FALSE(fsm::voteKeys({}, 35, mean));
}

TEST(FocusStackMath, FocusMapIsHighWhereDetailIsAndKeepsTheFrameSize) {
    // Textured on the left, flat beyond the filters' reach (about 160 pixels)
    // on the right; an odd size is brought back exactly.
    cv::Mat y(75, 403, CV_8UC1, cv::Scalar(128));
    cv::Mat left = y(cv::Rect(0, 0, 100, 75));
    cv::randu(left, 0, 256);
    cv::Mat f;
    fsm::focusMap(y, f);
    ASSERT_EQ(f.size(), y.size());
    ASSERT_EQ(f.type(), CV_8UC1);
    EXPECT_GT(cv::mean(f(cv::Rect(0, 0, 60, 75)))[0], 30.0);
    EXPECT_LT(cv::mean(f(cv::Rect(300, 0, 103, 75)))[0], 1.0);
    const cv::Mat flat(64, 64, CV_8UC1, cv::Scalar(9));
    fsm::focusMap(flat, f);
    EXPECT_EQ(cv::countNonZero(f), 0);
}

TEST(FocusStackMath, AStopIsSeenBetweenThePiecesOfTheFocusMapAndLeavesTheOutputAlone) {
    // A 4K focus map lasts a few hundred ms on busy cores: a stop (the
    // program ending) is seen after the piece at work, no further piece runs,
    // and the output is written only by a map that ran to its end.
    cv::Mat y(2160, 3840, CV_8UC1);
    cv::randu(y, 0, 256);
    cv::Mat whole;
    ASSERT_TRUE(fsm::focusMap(y, whole));
    const cv::Mat untouched(7, 5, CV_8UC1, cv::Scalar(3));
    int pieces = 0;
    for (int stopAt = 1;; ++stopAt) {
        SCOPED_TRACE(stopAt);
        ASSERT_LT(stopAt, 50);
        int asked = 0, askedAfterStop = 0;
        cv::Mat out = untouched.clone();
        const bool done = fsm::focusMap(y, out, [&] {
            askedAfterStop += asked >= stopAt;
            return ++asked >= stopAt;
        });
        if (done) {
            // Past the last question: the map is the one made without any.
            ASSERT_EQ(out.size(), whole.size());
            EXPECT_EQ(cv::norm(out, whole, cv::NORM_INF), 0.0);
            break;
        }
        ++pieces;
        EXPECT_EQ(askedAfterStop, 0);
        ASSERT_EQ(out.size(), untouched.size());
        EXPECT_EQ(cv::norm(out, untouched, cv::NORM_INF), 0.0);
    }
    // The full-size box filter, the difference, both reductions, the guided
    // filter and the enlargement are pieces of their own.
    EXPECT_GE(pieces, 5);
}

// A large frame's finest detail is a grey level or two (4K JPEG frames of
// the simulated camera: about 1.3 in the sharpest band): the map must still
// tell the sharper of two frames apart there, or the fused band keeps
// whichever frame came first wherever the two read the same whole number.
TEST(FocusStackMath, FocusMapTellsTheSharperFrameApartAtAGreyLevelOfDetail) {
    cv::Mat field(480, 640, CV_32F);
    cv::randn(field, 0.0, 1.0);
    cv::GaussianBlur(field, field, cv::Size(), 0.7);
    cv::Scalar mean, dev;
    cv::meanStdDev(field, mean, dev);
    field = (field - mean[0]) / dev[0];
    // The same texture at rising contrasts, each a quarter above the one
    // before: every step is the sharper frame.
    const cv::Rect inner(16, 16, 608, 448);
    cv::Mat before;
    for (double contrast = 0.8; contrast <= 2.05; contrast += 0.25) {
        cv::Mat y, f;
        field.convertTo(y, CV_8U, contrast, 128.0);
        fsm::focusMap(y, f);
        if (!before.empty()) {
            const double sharperShare = cv::countNonZero(f(inner) > before(inner)) / double(inner.area());
            EXPECT_GE(sharperShare, 0.95) << "contrast " << contrast;
        }
        before = f;
    }
}

// Printed text carries far more detail than a grain of texture: its
// strokes differ from their surroundings by tens of grey levels. A map that
// saturated at a few grey levels would read a sharp page and a slightly
// blurred one the same, and the fused page would keep whichever came first.
TEST(FocusStackMath, FocusMapTellsTheSharperFrameApartOnPrintedText) {
    cv::Mat page(480, 640, CV_8UC1, cv::Scalar(235));
    const char* lines[] = {"Sevrin measures what the", "microscope shows: lines,", "circles and angles on",
                           "calibrated pictures with", "scale bars 0123456789 and", "ABCDEFGHIJKLMNOPQRSTUVWXY"};
    for (int y = 30; y < 470; y += 14)
        cv::putText(page, lines[(y / 14) % 6], cv::Point(8, y), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(25), 1,
                    cv::LINE_AA);
    cv::Mat blurred;
    cv::GaussianBlur(page, blurred, cv::Size(), 0.6);
    // The detail the map stands for, worked out here without it: mean
    // |Y - mean of its 5 x 5 neighbourhood| over the print.
    const auto detail = [](const cv::Mat& yy, const cv::Rect& r) {
        double sum = 0;
        for (int py = r.y; py < r.y + r.height; ++py)
            for (int px = r.x; px < r.x + r.width; ++px) {
                int s = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        s += yy.at<uchar>(py + dy, px + dx);
                sum += std::abs(yy.at<uchar>(py, px) - s / 25.0);
            }
        return sum / r.area();
    };
    const cv::Rect print(16, 24, 200, 432);
    const double sharpDetail = detail(page, print), blurredDetail = detail(blurred, print);
    std::printf("printed text: %.1f grey levels of detail sharp, %.1f blurred\n", sharpDetail, blurredDetail);
    // Small print: more than 32 grey levels of detail sharp, and blurred
    // still far more than a grain of texture carries.
    ASSERT_GT(sharpDetail, 32.0);
    ASSERT_GT(blurredDetail, 16.0);
    cv::Mat fs, fb;
    fsm::focusMap(page, fs);
    fsm::focusMap(blurred, fb);
    const double sharperShare = cv::countNonZero(fs(print) > fb(print)) / double(print.area());
    EXPECT_GE(sharperShare, 0.95);
}

// Beside a sharp edge the guided filter keeps the detail on its own side of
// it, and the flat side reads at least half the detail spread by a Gaussian
// of 6 blocks (the 1/8-size plane's pixels) there. Left of column 192 a
// checkerboard of 0 and 100, right of it a flat 250: the guide (the luma at
// 1/8 size, two pixels of each kind averaged) is a step from 50 to 250, and
// the detail does not depend on the row. The floor is worked out here
// without the map: the 5 x 5 detail at every pixel, its 8 x 8 block means,
// their Gaussian spread, half of it in eighths of a grey level, enlarged
// bilinearly.
TEST(FocusStackMath, FocusMapBesideASharpEdgeKeepsHalfTheSpreadDetail) {
    const int width = 512, height = 128, edge = 192;
    cv::Mat y(height, width, CV_8UC1);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            y.at<uchar>(r, c) = static_cast<uchar>(c >= edge ? 250 : ((r + c) & 1) * 100);
    const auto reflect = [](int i, int n) { return i < 0 ? -i : i >= n ? 2 * n - 2 - i : i; };
    // Block means of |Y - mean of its 5 x 5 neighbourhood|, over every row.
    const int blocks = width / 8;
    std::vector<double> detail(blocks, 0.0);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            int sum = 0;
            for (int dr = -2; dr <= 2; ++dr)
                for (int dc = -2; dc <= 2; ++dc)
                    sum += y.at<uchar>(reflect(r + dr, height), reflect(c + dc, width));
            detail[c / 8] += std::abs(y.at<uchar>(r, c) - sum / 25.0) / (8.0 * height);
        }
    ASSERT_NEAR(detail[10], 12 * 100 / 25.0, 1e-9); // 13 like the centre, 12 unlike it
    const double sigma = 6.0, pi = std::acos(-1.0);
    const auto floorUnits = [&](int block) {
        double spread = 0.0;
        for (int k = -36; k <= 36; ++k)
            spread += std::exp(-k * k / (2 * sigma * sigma)) / (sigma * std::sqrt(2 * pi)) *
                      detail[reflect(block + k, blocks)];
        return std::round(0.5 * spread * 8.0);
    };
    cv::Mat f;
    ASSERT_TRUE(fsm::focusMap(y, f));
    ASSERT_EQ(f.size(), y.size());
    // The eight blocks after the first flat one (which holds some of the
    // checkerboard's detail): about 80 units down to 17, where the guided
    // filter alone leaves 15 or less.
    EXPECT_GT(floorUnits(edge / 8 + 1), 70.0);
    EXPECT_LT(floorUnits(edge / 8 + 8), 20.0);
    for (int c = edge + 8 + 4; c < edge + 9 * 8 - 4; ++c) {
        const double at = (c + 0.5) / 8.0 - 0.5;
        const int b = static_cast<int>(std::floor(at));
        const double expected = floorUnits(b) + (at - b) * (floorUnits(b + 1) - floorUnits(b));
        for (int r : {0, height / 2, height - 1})
            EXPECT_NEAR(f.at<uchar>(r, c), expected, 1.5) << "column " << c << ", row " << r;
    }
}

namespace {

// A 1 x n YCrCb picture with the same value in all three channels.
cv::Mat pixels(std::initializer_list<int> values) {
    cv::Mat m(1, static_cast<int>(values.size()), CV_8UC3);
    int i = 0;
    for (int v : values)
        m.at<cv::Vec3b>(0, i++) = cv::Vec3b(v, v, v);
    return m;
}

cv::Mat focusRow(std::initializer_list<int> values) {
    cv::Mat m(1, static_cast<int>(values.size()), CV_8UC1);
    int i = 0;
    for (int v : values)
        m.at<uchar>(0, i++) = static_cast<uchar>(v);
    return m;
}

int out(const FocusFusionPlanes& p, int x, int c = 0) { return p.output().at<cv::Vec3b>(0, x)[c]; }

} // namespace

TEST(FocusFusionPlanes, FirstFrameAloneIsItsOwnOutput) {
    cv::Mat first(3, 5, CV_8UC3);
    cv::randu(first, 0, 256);
    FocusFusionPlanes p;
    p.init(first, focusRow({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).reshape(1, 3));
    EXPECT_EQ(cv::norm(p.output(), first, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::countNonZero(p.secondFocusPlane()), 0);
}

TEST(FocusFusionPlanes, BlendRuleFollowsBestAndSecondFocus) {
    FocusFusionPlanes p;
    // Pixels: 0 strong best, 1 weak best, 2 no focus, 3 equal focus.
    p.init(pixels({10, 100, 30, 90}), focusRow({50, 20, 0, 25}));
    p.fuse(pixels({250, 200, 240, 60}), focusRow({40, 10, 0, 25}));
    // 0: best 50 > 30 -> best values unblended; 40 becomes second.
    EXPECT_EQ(out(p, 0), 10);
    EXPECT_EQ(p.secondFocusPlane().at<uchar>(0, 0), 40);
    // 1: best 20, second 10: the best is clearly sharper, its values alone
    // (a blend would have read trunc((10 * 200 + 20 * 100) / 30) = 133).
    EXPECT_EQ(out(p, 1), 100);
    // 2: both foci 0 -> the best values stay.
    EXPECT_EQ(out(p, 2), 30);
    // 3: equal focus competes for second only: trunc((25 * 60 + 25 * 90) / 50) = 75.
    EXPECT_EQ(p.bestValues().at<cv::Vec3b>(0, 3)[0], 90);
    EXPECT_EQ(p.secondValues().at<cv::Vec3b>(0, 3)[0], 60);
    EXPECT_EQ(out(p, 3), 75);

    // A sharper frame moves the best into second place.
    p.fuse(pixels({0, 50, 0, 0}), focusRow({0, 35, 0, 0}));
    EXPECT_EQ(out(p, 1), 50); // best 35 > 30
    EXPECT_EQ(p.secondFocusPlane().at<uchar>(0, 1), 20);
    EXPECT_EQ(p.secondValues().at<cv::Vec3b>(0, 1)[0], 100);
    // At exactly 30 the blend still applies where the second is nearly as
    // sharp: best 30, second 27 -> the second's weight 27 / 57 fades by
    // (27 - 24) / 6 to 0.2368: 0.2368 x 100 + 0.7632 x 7 = 29.0.
    FocusFusionPlanes q;
    q.init(pixels({100, 100, 100}), focusRow({27, 24, 20}));
    q.fuse(pixels({7, 7, 7}), focusRow({30, 30, 30}));
    EXPECT_EQ(out(q, 0), 29);
    // At 0.8 of the best focus or less the best's values alone.
    EXPECT_EQ(out(q, 1), 7);
    EXPECT_EQ(out(q, 2), 7);
}

// Focus values count eighths of a grey level of detail (one unit is
// 1 / kFocusGain): a pixel with 5 to 30 grey levels of detail in its best
// frame is clearly in focus there, and takes that frame's values alone even
// where a second frame is nearly as sharp. A blend there would average two
// frames' detail and keep only what they share.
TEST(FocusFusionPlanes, DetailOfAFewGreyLevelsIsPickedNotBlended) {
    struct Row {
        double bestLevels, secondShare; // grey levels of detail in the best frame; the second's share of them
    };
    const Row rows[] = {{5.0, 0.95}, {8.0, 0.9}, {12.5, 0.85}, {20.0, 0.95}, {29.5, 0.9}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bestLevels);
        const int best = static_cast<int>(row.bestLevels * 8.0); // 8 units a grey level
        const int second = static_cast<int>(row.bestLevels * row.secondShare * 8.0);
        ASSERT_GT(second, 0.8 * best); // nearly as sharp: a blend would give it weight
        FocusFusionPlanes p;
        p.init(pixels({240}), focusRow({second}));
        p.fuse(pixels({20}), focusRow({best}));
        EXPECT_EQ(p.bestFocusPlane().at<uchar>(0, 0), best);
        EXPECT_EQ(p.secondFocusPlane().at<uchar>(0, 0), second);
        EXPECT_EQ(out(p, 0), 20);
        EXPECT_EQ(out(p, 0, 1), 20);
        EXPECT_EQ(out(p, 0, 2), 20);
    }
}
