#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

#include <cstdint>

// Geometry of the video window's render step, kept apart so it can be tested
// alone: which part of a frame is converted, at which decimation step, and
// where it lands on the canvas.

struct VideoCrop {
    QRect source; // frame pixels to convert; corners aligned to 2 * step
    int step = 1; // 1, 2 or 4: every step-th pixel of every step-th row
    QRectF target; // canvas rectangle the converted part is drawn into
    bool isEmpty() const { return source.isEmpty(); }
    // Size of the converted picture (the texture).
    QSize textureSize() const { return QSize(source.width() / step, source.height() / step); }
};

// frame: the frame size (even); dest: the destination rectangle on the canvas
// (may be larger than the canvas or partly outside it); canvas: the canvas
// size. Only the part of the frame that lands inside the canvas is taken; when
// the picture is shown at half size or less, frames are decimated by 2 or 4
// (what nearest-neighbour scaling would pick anyway). Widths are rounded up to
// a multiple of 32 steps so that panning keeps the texture size.
VideoCrop computeVideoCrop(QSize frame, const QRectF& dest, QSize canvas);

// Decimation of a cropped part of a network camera's frame (packed 3-byte
// pixels, rows of `stride` bytes) into tight rows. `part` is a VideoCrop
// source rectangle and `step` its step (1 copies the part).
void decimateBgr(const uint8_t* frame, int stride, const QRect& part, int step, uint8_t* dst);
