#include "FrameSynth.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>

namespace FrameSynth {

namespace {

inline uint8_t clamp8(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 255.0))); }

// BT.601, limited range: the coefficients cameras use for NV12 and YUYV.
inline uint8_t lumaOf(int r, int g, int b) { return clamp8(16.0 + 0.256788 * r + 0.504129 * g + 0.097906 * b); }
inline uint8_t cbOf(int r, int g, int b) { return clamp8(128.0 - 0.148223 * r - 0.290993 * g + 0.439216 * b); }
inline uint8_t crOf(int r, int g, int b) { return clamp8(128.0 + 0.439216 * r - 0.367788 * g - 0.071427 * b); }

QImage rgb888(const QImage& image) {
    return image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
}

} // namespace

const QVector<QColor>& barColours() {
    static const QVector<QColor> bars = {QColor(235, 235, 235), QColor(230, 230, 20), QColor(20, 220, 220),
                                         QColor(30, 200, 40),   QColor(210, 40, 210), QColor(220, 30, 30),
                                         QColor(30, 40, 210),   QColor(20, 20, 20)};
    return bars;
}

QImage colourBars(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    const auto& bars = barColours();
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QColor& c = bars[x * bars.size() / width];
            row[3 * x] = uchar(c.red());
            row[3 * x + 1] = uchar(c.green());
            row[3 * x + 2] = uchar(c.blue());
        }
    }
    return image;
}

QImage specimen(int width, int height, int t) {
    QImage image(width, height, QImage::Format_RGB888);
    const int cell = std::max(8, width / 24);
    const int markX = (t * 13) % std::max(1, width - cell);
    const int markY = height / 2 + int(height / 4 * std::sin(t * 0.1));
    const double cx = width * 0.5, cy = height * 0.5, r0 = std::min(width, height) * 0.2;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            int r = 180 + ((x * 7 + y * 3) & 15), g = 170 + ((x * 3 + y * 5) & 15), b = 150;
            if (x % cell < 2 || y % cell < 2)
                r = g = b = 40;
            const double d = std::hypot(x - cx, y - cy);
            if (std::fabs(d - r0) < 3 || std::fabs(d - r0 * 1.6) < 3) {
                r = 30;
                g = 60;
                b = 200;
            }
            if (x >= markX && x < markX + cell && y >= markY - cell / 2 && y < markY + cell / 2) {
                r = 220;
                g = 40;
                b = 40;
            }
            row[3 * x] = uchar(r);
            row[3 * x + 1] = uchar(g);
            row[3 * x + 2] = uchar(b);
        }
    }
    return image;
}

std::vector<uint8_t> toNV12(const QImage& input) {
    const QImage rgb = rgb888(input);
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> out(size_t(w) * h * 3 / 2);
    uint8_t* yPlane = out.data();
    uint8_t* uv = out.data() + size_t(w) * h;
    for (int y = 0; y < h; ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < w; ++x)
            yPlane[size_t(y) * w + x] = lumaOf(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    for (int y = 0; y < h / 2; ++y) {
        const uchar* r0 = rgb.constScanLine(2 * y);
        const uchar* r1 = rgb.constScanLine(2 * y + 1);
        for (int x = 0; x < w / 2; ++x) {
            int r = 0, g = 0, b = 0;
            for (const uchar* p : {r0 + 6 * x, r0 + 6 * x + 3, r1 + 6 * x, r1 + 6 * x + 3}) {
                r += p[0];
                g += p[1];
                b += p[2];
            }
            uv[size_t(y) * w + 2 * x] = cbOf(r / 4, g / 4, b / 4);
            uv[size_t(y) * w + 2 * x + 1] = crOf(r / 4, g / 4, b / 4);
        }
    }
    return out;
}

std::vector<uint8_t> toYUYV(const QImage& input) {
    const QImage rgb = rgb888(input);
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> out(size_t(w) * h * 2);
    for (int y = 0; y < h; ++y) {
        const uchar* row = rgb.constScanLine(y);
        uint8_t* o = out.data() + size_t(y) * w * 2;
        for (int x = 0; x + 1 < w; x += 2) {
            const uchar* a = row + 3 * x;
            const uchar* b = a + 3;
            const int r = (a[0] + b[0]) / 2, g = (a[1] + b[1]) / 2, bl = (a[2] + b[2]) / 2;
            o[2 * x] = lumaOf(a[0], a[1], a[2]);
            o[2 * x + 1] = cbOf(r, g, bl);
            o[2 * x + 2] = lumaOf(b[0], b[1], b[2]);
            o[2 * x + 3] = crOf(r, g, bl);
        }
    }
    return out;
}

std::vector<uint8_t> toBGR(const QImage& input) {
    const QImage rgb = rgb888(input);
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> out(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uchar* row = rgb.constScanLine(y);
        uint8_t* o = out.data() + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            o[3 * x] = row[3 * x + 2];
            o[3 * x + 1] = row[3 * x + 1];
            o[3 * x + 2] = row[3 * x];
        }
    }
    return out;
}

std::vector<uint8_t> toJpeg(const QImage& input, int quality, bool sub422) {
    return toJpegSampled(input, quality, sub422 ? TJSAMP_422 : TJSAMP_420);
}

std::vector<uint8_t> toJpegSampled(const QImage& input, int quality, int tjSampling) {
    const QImage rgb = rgb888(input);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    if (tjCompress2(tj, rgb.constBits(), rgb.width(), rgb.bytesPerLine(), rgb.height(), TJPF_RGB, &jpeg, &size,
                    tjSampling, quality, TJFLAG_ACCURATEDCT) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

const QVector<QColor>& rowColours() {
    // Neighbours differ in hue, so a chroma row taken from another band shows.
    static const QVector<QColor> colours{QColor(200, 40, 40),  QColor(40, 60, 200), QColor(40, 180, 60),
                                         QColor(210, 190, 40), QColor(170, 50, 180), QColor(40, 180, 190)};
    return colours;
}

QImage rowBands(int width, int height, int band) {
    QImage img(width, height, QImage::Format_RGB888);
    const auto& colours = rowColours();
    for (int y = 0; y < height; ++y) {
        const QColor c = colours[(y / band) % colours.size()];
        uchar* row = img.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar(c.red());
            row[3 * x + 1] = uchar(c.green());
            row[3 * x + 2] = uchar(c.blue());
        }
    }
    return img;
}

} // namespace FrameSynth
