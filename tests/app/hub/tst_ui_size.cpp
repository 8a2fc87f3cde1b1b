#include "app/hub/UiSize.h"

#include <gtest/gtest.h>

// Interface size from the primary screen's width, at the boundaries of each band.
TEST(UiSize, FactorAndFontAtBandEdges) {
    struct Case {
        int width, factor, font;
    };
    const Case cases[] = {{1920, 10, 15}, {2111, 10, 15}, {2112, 12, 18}, {2496, 12, 18}, {2497, 14, 21},
                          {2880, 14, 21}, {2881, 16, 24}, {3263, 16, 24}, {3264, 18, 27}, {3648, 18, 27},
                          {3649, 20, 30}, {3840, 20, 30}, {1280, 10, 15}};
    for (const Case& c : cases) {
        EXPECT_EQ(sizeFactorForWidth(c.width), c.factor) << c.width;
        EXPECT_EQ(fontPixelSizeForFactor(sizeFactorForWidth(c.width)), c.font) << c.width;
    }
}

TEST(UiSize, IndicatorIsTwiceTheFactor) {
    for (int f : {10, 12, 14, 16, 18, 20})
        EXPECT_EQ(indicatorSize(f), 2 * f);
}

TEST(UiSize, LoopPacingFillsSixteenMilliseconds) {
    using us = std::chrono::microseconds;
    // elapsed, rest (microseconds); a pass of 15.2 ms rests 0.8 ms, not the
    // 1 ms that whole milliseconds would give (nor 2 ms when the tick count
    // turned just after the pass began).
    const long long cases[][2] = {{5000, 11000}, {0, 16000}, {15000, 1000}, {15200, 800}, {4999, 11001},
                                  {15999, 1}, {16000, 0}, {20000, 0}, {1000000000, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(loopRest(us(c[0])).count(), c[1]) << c[0];
}

TEST(UiSize, ScaleSizeRoundsHalvesUp) {
    EXPECT_EQ(scaleSize(QSize(101, 33), 1.4), QSize(141, 46));
    EXPECT_EQ(scaleSize(QSize(101, 33), 0.5), QSize(51, 17));
    EXPECT_EQ(scaleSize(QSize(300, 40), 2.0), QSize(600, 80));
}
