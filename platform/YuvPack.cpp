#include "platform/YuvPack.h"

#include <turbojpeg.h>

namespace YuvPack {
namespace {

// BT.601 limited range, coefficients scaled by 2^16 (each row of the chroma
// matrix sums to zero, so grey stays at 128).
constexpr int kYR = 16829, kYG = 33039, kYB = 6416;
constexpr int kUR = -9714, kUG = -19070, kUB = 28784;
constexpr int kVR = 28784, kVG = -24103, kVB = -4681;

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline uint8_t luma(int r, int g, int b) { return clampByte(16 + ((kYR * r + kYG * g + kYB * b + 32768) >> 16)); }

// Chroma of a block whose channel sums are r, g, b over n pixels.
inline uint8_t chromaU(int r, int g, int b, int n) {
    const int64_t s = int64_t(kUR) * r + int64_t(kUG) * g + int64_t(kUB) * b;
    const int64_t d = int64_t(n) << 16;
    return clampByte(128 + int((s >= 0 ? s + d / 2 : s - d / 2) / d));
}
inline uint8_t chromaV(int r, int g, int b, int n) {
    const int64_t s = int64_t(kVR) * r + int64_t(kVG) * g + int64_t(kVB) * b;
    const int64_t d = int64_t(n) << 16;
    return clampByte(128 + int((s >= 0 ? s + d / 2 : s - d / 2) / d));
}

} // namespace

size_t rawFrameBytes(int pixelFormat, int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    if (pixelFormat == 22)
        return size_t(width) * height * 3 / 2;
    if (pixelFormat == 6)
        return size_t(width) * height * 2;
    return 0;
}

void rgbToYuv601(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v) {
    y = luma(r, g, b);
    u = chromaU(r, g, b, 1);
    v = chromaV(r, g, b, 1);
}

void bgrToNv12(const cv::Mat& bgr, uint8_t* dst) {
    const int w = bgr.cols & ~1, h = bgr.rows & ~1;
    uint8_t* yPlane = dst;
    uint8_t* uvPlane = dst + size_t(bgr.cols) * bgr.rows;
    for (int y = 0; y < h; y += 2) {
        const uint8_t* r0 = bgr.ptr<uint8_t>(y);
        const uint8_t* r1 = bgr.ptr<uint8_t>(y + 1);
        uint8_t* y0 = yPlane + size_t(y) * bgr.cols;
        uint8_t* y1 = y0 + bgr.cols;
        uint8_t* uv = uvPlane + size_t(y / 2) * bgr.cols;
        for (int x = 0; x < w; x += 2) {
            const uint8_t* a = r0 + 3 * x;
            const uint8_t* c = r1 + 3 * x;
            y0[x] = luma(a[2], a[1], a[0]);
            y0[x + 1] = luma(a[5], a[4], a[3]);
            y1[x] = luma(c[2], c[1], c[0]);
            y1[x + 1] = luma(c[5], c[4], c[3]);
            const int sb = a[0] + a[3] + c[0] + c[3];
            const int sg = a[1] + a[4] + c[1] + c[4];
            const int sr = a[2] + a[5] + c[2] + c[5];
            uv[x] = chromaU(sr, sg, sb, 4);
            uv[x + 1] = chromaV(sr, sg, sb, 4);
        }
    }
}

void bgrToYuyv(const cv::Mat& bgr, uint8_t* dst) {
    const int w = bgr.cols & ~1;
    for (int y = 0; y < bgr.rows; ++y) {
        const uint8_t* row = bgr.ptr<uint8_t>(y);
        uint8_t* out = dst + size_t(y) * bgr.cols * 2;
        for (int x = 0; x < w; x += 2) {
            const uint8_t* a = row + 3 * x;
            const int sb = a[0] + a[3], sg = a[1] + a[4], sr = a[2] + a[5];
            out[2 * x] = luma(a[2], a[1], a[0]);
            out[2 * x + 1] = chromaU(sr, sg, sb, 2);
            out[2 * x + 2] = luma(a[5], a[4], a[3]);
            out[2 * x + 3] = chromaV(sr, sg, sb, 2);
        }
    }
}

QByteArray bgrToJpeg(const cv::Mat& bgr, int quality, bool chroma422) {
    QByteArray out;
    tjhandle tj = tjInitCompress();
    if (!tj)
        return out;
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, bgr.data, bgr.cols, int(bgr.step), bgr.rows, TJPF_BGR, &buf, &size,
                    chroma422 ? TJSAMP_422 : TJSAMP_420, quality, TJFLAG_FASTDCT) == 0)
        out = QByteArray(reinterpret_cast<const char*>(buf), int(size));
    tjFree(buf);
    tjDestroy(tj);
    return out;
}

} // namespace YuvPack
