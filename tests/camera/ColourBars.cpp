#include "ColourBars.h"

#include "platform/YuvPack.h"

#include <algorithm>
#include <cstdlib>

namespace ColourBars {

QVector<QColor> colours() {
    return {QColor(191, 191, 191), QColor(191, 191, 0), QColor(0, 191, 191), QColor(0, 191, 0),
            QColor(191, 0, 191),   QColor(191, 0, 0),   QColor(0, 0, 191),   QColor(0, 0, 0)};
}

cv::Mat picture(int width, int height) {
    cv::Mat bgr(height, width, CV_8UC3);
    const QVector<QColor> c = colours();
    const int barW = width / 8;
    for (int y = 0; y < height; ++y) {
        auto* row = bgr.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            const QColor& q = c[std::min(7, x / barW)];
            row[3 * x] = uint8_t(q.blue());
            row[3 * x + 1] = uint8_t(q.green());
            row[3 * x + 2] = uint8_t(q.red());
        }
    }
    return bgr;
}

QByteArray frame(int pixelFormat, int width, int height, bool chroma422) {
    const cv::Mat bgr = picture(width, height);
    if (pixelFormat == 15)
        return YuvPack::bgrToJpeg(bgr, 100, chroma422);
    QByteArray out(int(YuvPack::rawFrameBytes(pixelFormat, width, height)), Qt::Uninitialized);
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    if (pixelFormat == 22)
        YuvPack::bgrToNv12(bgr, dst);
    else
        YuvPack::bgrToYuyv(bgr, dst);
    return out;
}

int barCentre(int i, double x0, double drawnWidth) { return int(x0 + drawnWidth * (i + 0.5) / 8.0); }

int colourDistance(QRgb a, const QColor& b) {
    return std::max({std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()), std::abs(qBlue(a) - b.blue())});
}

} // namespace ColourBars
