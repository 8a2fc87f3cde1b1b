// Flat-field gain: computed from an evenly lit field, applied to frames.
#include "app/hub/FlatFieldGain.h"

#include "tests/support/TestEnv.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// A grey field of w x h with the centre 11 x 11 at `centre` and one pixel
// (x, y) at `value`.
QImage field(int w, int h, int centre, int x = -1, int y = -1, int value = 0) {
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(QColor(centre, centre, centre));
    if (x >= 0)
        img.setPixelColor(x, y, QColor(value, value, value));
    return img;
}

int gainAt(const cv::Mat& g, int x, int y) { return g.at<uchar>(y, x); }

} // namespace

TEST(FlatFieldGain, GainIsTheShortfallAgainstTheCentreInPercent) {
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 100)), 3, 4), 100); // half
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 210, 3, 4, 70)), 3, 4), 200);  // a third
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 80)), 3, 4), 150);
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 57)), 3, 4), 251);  // 250.877
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 55)), 3, 4), 255);  // limited
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 0)), 3, 4), 0);     // black
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(64, 48, 200, 3, 4, 250)), 3, 4), 0);   // brighter

    const cv::Mat even = FlatFieldGain::computeGainPicture(field(64, 48, 123));
    ASSERT_EQ(even.type(), CV_8UC1);
    ASSERT_EQ(even.size(), cv::Size(64, 48));
    EXPECT_EQ(cv::countNonZero(even), 0);
    EXPECT_TRUE(FlatFieldGain::computeGainPicture(QImage()).empty());
}

TEST(FlatFieldGain, CentreIsTheIntegerMeanOfItsElevenByElevenWindow) {
    // Centre (32, 24): the window spans x 27..37, y 19..29. One pixel of 0
    // in it: sum 120 x 200 = 24000, mean 198 (integer division).
    QImage img = field(64, 48, 200, 27, 19, 0);
    img.setPixelColor(38, 24, QColor(0, 0, 0)); // just outside: ignored
    img.setPixelColor(5, 5, QColor(99, 99, 99));
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(img), 5, 5), 100); // 198 / 99 - 1
    // A field smaller than the window: the mean of all it has,
    // (5 x 200 + 100) / 6 = 183.
    EXPECT_EQ(gainAt(FlatFieldGain::computeGainPicture(field(3, 2, 200, 0, 0, 100)), 0, 0), 83);
}

TEST(FlatFieldGain, ApplyBrightensAndSaturates) {
    cv::Mat g(2, 3, CV_8UC1);
    g.at<uchar>(0, 0) = 100;
    g.at<uchar>(0, 1) = 200;
    g.at<uchar>(0, 2) = 70;
    g.at<uchar>(1, 0) = 0;
    g.at<uchar>(1, 1) = 255;
    g.at<uchar>(1, 2) = 33;
    const cv::Mat table = FlatFieldGain::gainTable(g);
    ASSERT_EQ(table.type(), CV_32FC1);
    EXPECT_FLOAT_EQ(table.at<float>(1, 1), 2.55f);

    QImage frame(3, 2, QImage::Format_RGB888);
    frame.setPixelColor(0, 0, QColor(100, 50, 127));
    frame.setPixelColor(1, 0, QColor(80, 90, 1));
    frame.setPixelColor(2, 0, QColor(10, 20, 30));
    frame.setPixelColor(0, 1, QColor(255, 0, 9));
    frame.setPixelColor(1, 1, QColor(100, 60, 71));
    frame.setPixelColor(2, 1, QColor(3, 100, 10));
    ASSERT_TRUE(FlatFieldGain::apply(&frame, table));
    EXPECT_EQ(frame.pixelColor(0, 0), QColor(200, 100, 254));
    EXPECT_EQ(frame.pixelColor(1, 0), QColor(240, 255, 3));
    EXPECT_EQ(frame.pixelColor(2, 0), QColor(17, 34, 51)); // 10 + 7 exactly, not 16
    EXPECT_EQ(frame.pixelColor(0, 1), QColor(255, 0, 9));
    EXPECT_EQ(frame.pixelColor(1, 1), QColor(255, 213, 252));
    EXPECT_EQ(frame.pixelColor(2, 1), QColor(3, 133, 13));
}

// Every value and gain against integer arithmetic: v + floor(v x G / 100),
// limited to 255 (v = 55, G = 120 gives 121).
TEST(FlatFieldGain, ApplyIsExactForEveryValueAndGain) {
    cv::Mat g(256, 256, CV_8UC1);
    QImage frame(256, 256, QImage::Format_RGB888);
    for (int v = 0; v < 256; ++v)
        for (int G = 0; G < 256; ++G) {
            g.at<uchar>(v, G) = uchar(G);
            frame.setPixelColor(G, v, QColor(v, v, v));
        }
    ASSERT_TRUE(FlatFieldGain::apply(&frame, FlatFieldGain::gainTable(g)));
    int wrong = 0;
    for (int v = 0; v < 256; ++v)
        for (int G = 0; G < 256; ++G)
            wrong += frame.pixelColor(G, v).red() != std::min(255, v + v * G / 100);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(frame.pixelColor(120, 55).green(), 121);
}

TEST(FlatFieldGain, OtherSizesAndFormatsPassUnchanged) {
    const cv::Mat table = FlatFieldGain::gainTable(cv::Mat(1080, 1920, CV_8UC1, cv::Scalar(100)));
    QImage frame(960, 540, QImage::Format_RGB888);
    frame.fill(QColor(10, 10, 10));
    EXPECT_FALSE(FlatFieldGain::apply(&frame, table));
    EXPECT_EQ(frame.pixelColor(5, 5), QColor(10, 10, 10));
    QImage argb(1920, 1080, QImage::Format_ARGB32);
    EXPECT_FALSE(FlatFieldGain::apply(&argb, table));
    QImage ok(1920, 1080, QImage::Format_RGB888);
    ok.fill(QColor(10, 10, 10));
    EXPECT_FALSE(FlatFieldGain::apply(&ok, cv::Mat()));
    EXPECT_TRUE(FlatFieldGain::apply(&ok, table));
    EXPECT_EQ(ok.pixelColor(1919, 1079), QColor(20, 20, 20));
}

TEST(FlatFieldGain, SavedPictureIsAnEightBitGreyBmp) {
    TestEnv env;
    cv::Mat g(48, 64, CV_8UC1);
    for (int y = 0; y < g.rows; ++y)
        for (int x = 0; x < g.cols; ++x)
            g.at<uchar>(y, x) = uchar((x * 4 + y) % 256);
    const QString path = env.file("pinjie/YinYingData.bmp");
    ASSERT_TRUE(FlatFieldGain::save(g, path)); // creates pinjie/
    EXPECT_FALSE(FlatFieldGain::save(cv::Mat(), path));

    // An independent reader sees an 8-bit grey BMP with the same values.
    QProcess identify;
    identify.start("identify", {"-format", "%m %w %h %[type] %[depth] %[pixel:p{10,3}] %[pixel:p{5,2}]", path});
    ASSERT_TRUE(identify.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(identify.readAllStandardOutput()).trimmed(),
              "BMP3 64 48 Grayscale 8 srgb(43,43,43) srgb(22,22,22)");
}
