// Geometry of the render step: the converted part of a frame, its decimation
// step and where it lands; the decimation of raw frames.
#include "camera/VideoCrop.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

TEST(VideoCrop, WholeFrameShownAtOneToOneIsTakenWhole) {
    const VideoCrop c = computeVideoCrop(QSize(1920, 1080), QRectF(0, 0, 1920, 1080), QSize(1920, 1080));
    EXPECT_EQ(c.source, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(c.step, 1);
    EXPECT_EQ(c.target, QRectF(0, 0, 1920, 1080));
}

TEST(VideoCrop, PictureOutsideTheCanvasConvertsNothing) {
    EXPECT_TRUE(computeVideoCrop(QSize(640, 480), QRectF(700, 0, 640, 480), QSize(640, 480)).isEmpty());
    EXPECT_TRUE(computeVideoCrop(QSize(640, 480), QRectF(0, -480, 640, 480), QSize(640, 480)).isEmpty());
    EXPECT_TRUE(computeVideoCrop(QSize(640, 480), QRectF(0, 0, 0, 480), QSize(640, 480)).isEmpty());
}

TEST(VideoCrop, FittedFourKFrameOnAFullHdCanvasIsDecimatedByTwo) {
    const VideoCrop c = computeVideoCrop(QSize(3840, 2160), QRectF(0, 0, 1920, 1080), QSize(1920, 1080));
    EXPECT_EQ(c.step, 2);
    EXPECT_EQ(c.source, QRect(0, 0, 3840, 2160));
    EXPECT_EQ(c.textureSize(), QSize(1920, 1080));
    const VideoCrop q = computeVideoCrop(QSize(3840, 2160), QRectF(0, 0, 900, 500), QSize(1920, 1080));
    EXPECT_EQ(q.step, 4);
    const VideoCrop n = computeVideoCrop(QSize(3840, 2160), QRectF(0, 0, 1921, 1081), QSize(1920, 1080));
    EXPECT_EQ(n.step, 1); // less than half size: every pixel counts
}

TEST(VideoCrop, ZoomedPictureConvertsOnlyWhatTheCanvasShows) {
    // 4K frame at 2x on a 1920x1080 canvas, scrolled to frame (1000, 500).
    const QRectF dest(-2000, -1000, 7680, 4320);
    const VideoCrop c = computeVideoCrop(QSize(3840, 2160), dest, QSize(1920, 1080));
    EXPECT_EQ(c.step, 1);
    EXPECT_TRUE(c.source.contains(QRect(1000, 500, 960, 540)));
    EXPECT_LE(c.source.width(), 960 + 32);
    EXPECT_LE(c.source.height(), 540 + 32);
    EXPECT_EQ(c.source.x() % 2, 0);
    EXPECT_EQ(c.source.y() % 2, 0);
    // The converted part lands where the whole picture would put it.
    EXPECT_DOUBLE_EQ(c.target.x(), dest.x() + c.source.x() * 2.0);
    EXPECT_DOUBLE_EQ(c.target.width(), c.source.width() * 2.0);
}

TEST(VideoCrop, PanningKeepsTheTextureSize) {
    QSize first;
    for (int dx = 0; dx < 200; dx += 7) {
        const VideoCrop c =
            computeVideoCrop(QSize(3840, 2160), QRectF(-1000 - dx, -700, 7680, 4320), QSize(1920, 1080));
        if (first.isEmpty())
            first = c.textureSize();
        EXPECT_EQ(c.textureSize(), first) << dx;
    }
}

TEST(VideoCrop, CropNearTheFrameEdgeStaysInsideTheFrame) {
    const VideoCrop c = computeVideoCrop(QSize(1920, 1080), QRectF(-3700, -1900, 5760, 3240), QSize(1920, 1080));
    EXPECT_LE(c.source.right(), 1919);
    EXPECT_LE(c.source.bottom(), 1079);
    EXPECT_GE(c.source.x(), 0);
}

TEST(VideoDecimate, YuyvKeepsEachPixelsOwnLumaAndItsPairsChroma) {
    // 8x2 frame: luma = column*10 + row, U = 100 + macro-pixel, V = 200 + macro-pixel.
    const int w = 8, h = 4;
    std::vector<uint8_t> f(size_t(w) * h * 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 2) {
            uint8_t* p = &f[(size_t(y) * w + x) * 2];
            p[0] = uint8_t(x * 10 + y);
            p[1] = uint8_t(100 + x / 2);
            p[2] = uint8_t((x + 1) * 10 + y);
            p[3] = uint8_t(200 + x / 2);
        }
    std::vector<uint8_t> out(4 * 2 * 2);
    decimateYuyv(f.data(), w, QRect(0, 0, 8, 4), 2, out.data());
    // Output row 0 = source row 0, pixels 0 and 2 | 4 and 6.
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 100);
    EXPECT_EQ(out[2], 20);
    EXPECT_EQ(out[3], 200);
    EXPECT_EQ(out[4], 40);
    EXPECT_EQ(out[5], 102);
    EXPECT_EQ(out[6], 60);
    EXPECT_EQ(out[7], 202);
    EXPECT_EQ(out[8], 2); // output row 1 = source row 2
}

TEST(VideoDecimate, Nv12PicksLumaAndChromaOfTheSameSourcePixels) {
    const int w = 16, h = 8;
    std::vector<uint8_t> f(size_t(w) * h * 3 / 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f[size_t(y) * w + x] = uint8_t(y * 16 + x);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            f[size_t(w) * h + size_t(y) * w + 2 * x] = uint8_t(100 + y * 8 + x);
            f[size_t(w) * h + size_t(y) * w + 2 * x + 1] = uint8_t(200 + y * 8 + x);
        }
    const QRect part(4, 0, 8, 8);
    std::vector<uint8_t> y(4 * 4), uv(4 * 2);
    decimateNv12(f.data(), w, h, part, 2, y.data(), uv.data());
    EXPECT_EQ(y[0], 4);              // source (4, 0)
    EXPECT_EQ(y[1], 6);              // source (6, 0)
    EXPECT_EQ(y[4], 2 * 16 + 4);     // source (4, 2)
    EXPECT_EQ(uv[0], 100 + 2);       // chroma of source (4, 0)
    EXPECT_EQ(uv[1], 200 + 2);
    EXPECT_EQ(uv[2], 100 + 4);       // chroma of source (8, 0)
    EXPECT_EQ(uv[4], 100 + 2 * 8 + 2); // output chroma row 1 = source luma row 4
}
