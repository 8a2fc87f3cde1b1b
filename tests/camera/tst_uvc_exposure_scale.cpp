// The exposure scale of the USB models and the words of the register channel.
#include "camera/UvcExposureScale.h"
#include "camera/UvcRegisterChannel.h"

#include <gtest/gtest.h>

using namespace UvcExposureScale;

TEST(ExposureScale, LongTypeTextsAndRegisterValuesAtTheStretchBoundaries) {
    struct Row {
        int slider;
        const char* text;
        long long value;
    };
    const Row rows[] = {{0, "7us", 0},         {30, "967us", 9},     {31, "1ms", 10},     {130, "100ms", 1000},
                        {131, "150ms", 1500},  {147, "950ms", 9500}, {148, "1s", 10000},  {149, "1.1s", 11000},
                        {188, "5s", 50000}};
    for (const Row& r : rows) {
        EXPECT_EQ(longText(r.slider), QString(r.text)) << r.slider;
        EXPECT_EQ(longRegisterValue(r.slider, true), r.value) << r.slider;
    }
    // Cameras counting in microseconds get the microseconds.
    EXPECT_EQ(longRegisterValue(95, false), 65000);
    EXPECT_EQ(longText(95), QString("65ms"));
}

TEST(ExposureScale, ShortTypeIsThreeMicrosecondsAStep) {
    EXPECT_EQ(shortText(0), QString("7us"));
    EXPECT_EQ(shortText(5541), QString("16630us"));
    EXPECT_EQ(shortMicros(5541), 16630);
    EXPECT_EQ(shortText(16531), QString("49600us"));
}

TEST(ExposureScale, InverseOfBothTypes) {
    EXPECT_EQ(longSlider(7), 0);
    EXPECT_EQ(longSlider(999), 31);
    EXPECT_EQ(longSlider(1000), 31);
    EXPECT_EQ(longSlider(100000), 130);
    EXPECT_EQ(longSlider(1000000), 148);
    EXPECT_EQ(longSlider(5000000), 188);
    EXPECT_EQ(longSlider(9000000), 188);
    EXPECT_EQ(shortSlider(16630, 16630), 5541);
    EXPECT_EQ(shortSlider(20000, 16630), 5541); // clamped
    EXPECT_EQ(shortSlider(49600, 49600), 16531);
    EXPECT_EQ(shortSlider(60000, 19600), 6531);
    EXPECT_EQ(shortSlider(0, 16630), 0); // never below the slider
    for (int s = 0; s <= LongSliderMax; ++s)
        EXPECT_EQ(longSlider(longMicros(s)), s) << s;
    for (int s = 0; s <= 5541; s += 7)
        EXPECT_EQ(shortSlider(shortMicros(s), 16630), s) << s;
}

TEST(RegisterChannel, WordsAreClampedSoTheyNeverSpillOrTurnIntoReads) {
    EXPECT_EQ(UvcRegisterChannel::registerWord(0x07, 1), 0x0701);
    EXPECT_EQ(UvcRegisterChannel::registerWord(0x02, 300), 0x02FE);
    EXPECT_EQ(UvcRegisterChannel::registerWord(0x02, 255), 0x02FE);
    EXPECT_EQ(UvcRegisterChannel::registerWord(0x02, -4), 0x0200);
    EXPECT_EQ(UvcRegisterChannel::selectorWord(1, 400), 0x1000 + 400);
    EXPECT_EQ(UvcRegisterChannel::selectorWord(2, 5000), 0x2FFE);
    EXPECT_EQ(UvcRegisterChannel::selectorWord(0, -1), 0);
}
