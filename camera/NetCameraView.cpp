#include "camera/NetCameraView.h"

#include "camera/EdgeSnap.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

QList<float> NetCameraView::zoomList(QSize host, QSize frame, int* fitIndex) {
    QList<float> list;
    for (int i = 1; i <= 10; ++i)
        list.append(i / 10.0f);
    int index = -1;
    if (!host.isEmpty() && !frame.isEmpty()) {
        const float fitW = float(host.width()) / frame.width();
        const float fitH = float(host.height()) / frame.height();
        const float fit = fitH <= fitW ? fitH : fitW;
        list.append(fit);
        std::sort(list.begin(), list.end());
        index = list.indexOf(fit);
    }
    if (fitIndex)
        *fitIndex = index;
    return list;
}

QRect NetCameraView::zoomRect(const QRect& current, QSize frame, float f, QPoint anchor, float fitFactor,
                              QSize host) {
    const int w = int(frame.width() * f), h = int(frame.height() * f);
    const bool anchored = anchor != QPoint(noAnchor, noAnchor) && fitFactor < f && current.width() > 0 &&
                          current.height() > 0;
    if (anchored) {
        const int x = current.x() - int(float(w) * anchor.x() / current.width() - anchor.x());
        const int y = current.y() - int(float(h) * anchor.y() / current.height() - anchor.y());
        return QRect(x, y, w, h);
    }
    return QRect((host.width() - w) / 2, (host.height() - h) / 2, w, h);
}

QRect NetCameraView::fitRect(QSize screen, QSize frame, QSize host) {
    if (frame.isEmpty())
        return QRect();
    const float s = std::min(float(screen.width()) / frame.width(), float(screen.height()) / frame.height());
    const int w = int(frame.width() * s), h = int(frame.height() * s);
    return QRect((host.width() - w) / 2, (host.height() - h) / 2, w, h);
}

QRect NetCameraView::edgeSearchArea(int x, int y, int w, int h, QSize dest) {
    int left = std::max(0, x - (w - 1) / 2);
    if (left + w > dest.width())
        left = std::max(0, dest.width() - w);
    int top = std::max(0, y - (h - 1) / 2);
    if (top + h > dest.height())
        top = std::max(0, dest.height() - h);
    return QRect(left, top, w, h);
}

bool NetCameraView::edgeOffset(const QImage& area, QPoint* offset) {
    // The network driver measures from the window's centre, and a point to the
    // right of or below it lands two pixels further.
    const QPoint c((area.width() - 1) / 2 + 1, (area.height() - 1) / 2 + 1);
    QPoint nearest;
    if (!EdgeSnap::nearestEdgePoint(area, c, nearest))
        return false;
    const int px = nearest.x() > c.x() ? nearest.x() + 2 : nearest.x();
    const int py = nearest.y() > c.y() ? nearest.y() + 2 : nearest.y();
    if (offset)
        *offset = QPoint(px - c.x(), py - c.y());
    return true;
}
