// Geometry of the render step: the converted part of a frame, its decimation
// step and where it lands. (How raw frames are reduced by that step is tested
// on the decoder's pictures, in tst_frame_rows_shown.)
#include "camera/VideoCrop.h"

#include <gtest/gtest.h>


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
