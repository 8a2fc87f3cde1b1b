#include "camera/VideoCrop.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int floorTo(int v, int a) { return v / a * a; }
int ceilTo(int v, int a) { return (v + a - 1) / a * a; }

// One axis: the span [lo, hi) of source pixels that covers the visible span
// of the destination, aligned and rounded as described in the header.
void cropAxis(int frameLen, double destPos, double destLen, double visLo, double visHi, int step, int& lo,
              int& len) {
    const double perPixel = frameLen / destLen; // source pixels per canvas pixel
    const int align = 2 * step;
    const int full = floorTo(frameLen, align);
    const double exactLo = (visLo - destPos) * perPixel;
    const double exactHi = (visHi - destPos) * perPixel;
    // The length depends only on the visible span, not on where it starts,
    // so that scrolling a zoomed picture keeps the texture.
    const int need = int(std::ceil(exactHi - exactLo)) + align;
    const int want = ceilTo(need, 32 * step);
    if (want >= full) {
        lo = 0;
        len = full;
        return;
    }
    int a = floorTo(std::clamp(int(std::floor(exactLo)), 0, full), align);
    if (a + want > full)
        a = full - want;
    lo = a;
    len = want;
}

} // namespace

VideoCrop computeVideoCrop(QSize frame, const QRectF& dest, QSize canvas) {
    VideoCrop crop;
    if (frame.isEmpty() || dest.width() <= 0 || dest.height() <= 0 || canvas.isEmpty())
        return crop;
    const QRectF visible = dest.intersected(QRectF(0, 0, canvas.width(), canvas.height()));
    if (visible.width() <= 0 || visible.height() <= 0)
        return crop;
    const double sx = frame.width() / dest.width();
    const double sy = frame.height() / dest.height();
    int step = 1;
    if (sx >= 4.0 && sy >= 4.0)
        step = 4;
    else if (sx >= 2.0 && sy >= 2.0)
        step = 2;
    int x = 0, w = 0, y = 0, h = 0;
    cropAxis(frame.width(), dest.x(), dest.width(), visible.left(), visible.right(), step, x, w);
    cropAxis(frame.height(), dest.y(), dest.height(), visible.top(), visible.bottom(), step, y, h);
    if (w <= 0 || h <= 0)
        return crop;
    crop.source = QRect(x, y, w, h);
    crop.step = step;
    crop.target = QRectF(dest.x() + x / sx, dest.y() + y / sy, w / sx, h / sy);
    return crop;
}

void decimateBgr(const uint8_t* frame, int stride, const QRect& part, int step, uint8_t* dst) {
    const int outW = part.width() / step;
    const int outH = part.height() / step;
    for (int r = 0; r < outH; ++r) {
        const uint8_t* row = frame + size_t(part.y() + r * step) * stride + size_t(part.x()) * 3;
        uint8_t* out = dst + size_t(r) * outW * 3;
        if (step == 1) {
            std::memcpy(out, row, size_t(outW) * 3);
            continue;
        }
        for (int c = 0; c < outW; ++c) {
            const uint8_t* p = row + size_t(c) * step * 3;
            out[3 * c] = p[0];
            out[3 * c + 1] = p[1];
            out[3 * c + 2] = p[2];
        }
    }
}
