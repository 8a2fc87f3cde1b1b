#include "camera/VideoZoom.h"

#include "camera/SDLBackground.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

QWidget* videoHostWidget = nullptr;

void VideoZoom::init(QSize frame, QSize host) {
    m_factors.clear();
    for (int i = 1; i <= 10; ++i)
        m_factors.append(i / 10.0f);
    m_scaleIndex = -1;
    if (frame.isEmpty() || host.isEmpty())
        return;
    const float fitW = float(host.width()) / frame.width();
    const float fitH = float(host.height()) / frame.height();
    const float fit = fitH <= fitW ? fitH : fitW;
    m_factors.append(fit);
    std::sort(m_factors.begin(), m_factors.end());
    m_scaleIndex = int(m_factors.indexOf(fit));
}

QRect VideoZoom::zoomedRect(QSize frame, float f, QPoint anchor, bool keepAnchor, const QRect& current, QSize host) {
    const int w = int(frame.width() * f);
    const int h = int(frame.height() * f);
    if (keepAnchor && current.width() > 0 && current.height() > 0) {
        const int x = int(current.x() - (double(w) * anchor.x() / current.width() - anchor.x()));
        const int y = int(current.y() - (double(h) * anchor.y() / current.height() - anchor.y()));
        return QRect(x, y, w, h);
    }
    return QRect((host.width() - w) / 2, (host.height() - h) / 2, w, h);
}

QRect VideoZoom::fittedRect(QSize frame, QSize target, QSize host) {
    if (frame.isEmpty() || target.isEmpty())
        return QRect();
    const double s = std::min(double(target.width()) / frame.width(), double(target.height()) / frame.height());
    const int w = int(frame.width() * s), h = int(frame.height() * s);
    return QRect((host.width() - w) / 2, (host.height() - h) / 2, w, h);
}

float VideoZoom::setScaleIndex(int index, QPoint anchor, QSize frame, QSize host, const QRect& current,
                               QRect* placed) {
    m_fit = false;
    if (placed)
        *placed = QRect();
    if (m_factors.isEmpty())
        return 1.0f;
    const float f = m_factors[std::clamp(index, 0, int(m_factors.size()) - 1)];
    const bool hasAnchor = anchor != QPoint(NoAnchor, NoAnchor);
    const bool beyondFit = m_scaleIndex >= 0 && m_scaleIndex < m_factors.size() && m_factors[m_scaleIndex] < f;
    if (placed)
        *placed = zoomedRect(frame, f, anchor, hasAnchor && beyondFit, current, host);
    return f;
}

QRect VideoZoom::fitToWindow(QSize frame, QSize target, QSize host) {
    m_fit = true;
    return fittedRect(frame, target, host);
}

QSize VideoZoom::hostSize() {
    if (videoHostWidget && !videoHostWidget->size().isEmpty())
        return videoHostWidget->size();
    if (videoWindow)
        return videoWindow->canvasSize();
    return QSize(1920, 1080);
}

QSize VideoZoom::screenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && !screen->size().isEmpty() ? screen->size() : hostSize();
}

bool VideoZoom::nearestEdgePoint(const QImage& area, QPoint reference, QPoint& found) {
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

QRect VideoZoom::edgeSearchArea(int x, int y, QSize search, QSize picture) {
    const auto start = [](int v, int size, int pictureSize) {
        int s = std::max(0, v - (size - 1) / 2);
        if (s + size > pictureSize)
            s = pictureSize - size;
        return std::max(0, s); // a picture smaller than the window starts at 0
    };
    return QRect(start(x, search.width(), picture.width()), start(y, search.height(), picture.height()),
                 std::min(search.width(), picture.width()), std::min(search.height(), picture.height()));
}

bool VideoZoom::snapToEdge(const ReadBack& readBack, const QRect& picture, QSize search, int& x, int& y) {
    if (!readBack || search.isEmpty() || picture.isEmpty())
        return false;
    const QRect local = edgeSearchArea(x, y, search, picture.size());
    QImage pixels(local.size(), QImage::Format_ARGB32);
    // The picture can lie anywhere in the host (centred, zoomed, panned): the
    // read-back area is the local window moved by the picture's position.
    if (!readBack(pixels, local.translated(picture.topLeft())))
        return false;
    // Measured from the point itself (one pixel past it), not from the window
    // centre: near a border the window is shifted, and a move taken from its
    // centre would land the point beside the edge it found.
    const QPoint c(x - local.left() + 1, y - local.top() + 1);
    QPoint p;
    if (!nearestEdgePoint(pixels, c, p))
        return false;
    const int px = p.x() > c.x() ? p.x() + 2 : p.x();
    const int py = p.y() > c.y() ? p.y() + 2 : p.y();
    x += px - c.x();
    y += py - c.y();
    return true;
}
