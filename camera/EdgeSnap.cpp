#include "camera/EdgeSnap.h"

#include "camera/SDLBackground.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace EdgeSnap {

bool nearestEdgePoint(const QImage& area, QPoint reference, QPoint& found) {
    if (area.isNull())
        return false;
    const QImage rgb = area.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    cv::Mat grey, blurred, gx, gy, ax, ay, sum, binary;
    cv::cvtColor(view, grey, cv::COLOR_RGB2GRAY);
    cv::GaussianBlur(grey, blurred, cv::Size(3, 3), 1.0, 3.0);
    cv::Sobel(blurred, gx, CV_16S, 1, 0, 3, 1, 0);
    cv::Sobel(blurred, gy, CV_16S, 0, 1, 3, 1, 0);
    cv::convertScaleAbs(gx, ax);
    cv::convertScaleAbs(gy, ay);
    cv::add(ax, ay, sum); // saturating
    cv::threshold(sum, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_NONE);
    double best = 1920.0;
    bool any = false;
    for (const auto& contour : contours)
        for (const cv::Point& p : contour) {
            const double d = std::hypot(double(p.x - reference.x()), double(p.y - reference.y()));
            if (d < best) {
                best = d;
                found = QPoint(p.x, p.y);
                any = true;
            }
        }
    return any;
}

namespace {
// One axis of the search window: its start, shifted to stay in the picture.
int windowStart(int v, int size, int pictureSize) {
    int start = v - (size - 1) / 2;
    if (start < 0)
        start = 0;
    if (start + size > pictureSize)
        start = pictureSize - size;
    return std::max(0, start); // a picture smaller than the window starts at 0
}
} // namespace

bool snapToEdge(const SDLBackground& window, QSize search, int& x, int& y) {
    const QRectF dest = window.destination();
    const int pw = int(dest.width()), ph = int(dest.height());
    if (search.isEmpty() || pw <= 0 || ph <= 0)
        return false;
    const int left = windowStart(x, search.width(), pw);
    const int top = windowStart(y, search.height(), ph);
    const QRect area(int(dest.x()) + left, int(dest.y()) + top, std::min(search.width(), pw),
                     std::min(search.height(), ph));
    QImage pixels;
    if (!window.readBack(pixels, area))
        return false;
    // The reference is the point itself (one pixel past it, as the search
    // has always measured), also when the window was shifted at a border.
    const QPoint c(x - left + 1, y - top + 1);
    QPoint p;
    if (!nearestEdgePoint(pixels, c, p))
        return false;
    const int px = p.x() > c.x() ? p.x() + 2 : p.x();
    const int py = p.y() > c.y() ? p.y() + 2 : p.y();
    x += px - c.x();
    y += py - c.y();
    return true;
}

} // namespace EdgeSnap
