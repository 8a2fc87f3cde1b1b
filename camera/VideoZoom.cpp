#include "camera/VideoZoom.h"

#include "app/MainWindow.h"
#include "camera/SDLBackground.h"

#include <QWidget>

#include <algorithm>

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

QRect VideoZoom::fittedRect(QSize frame, QSize host) {
    if (frame.isEmpty())
        return QRect();
    const double s = std::min(double(host.width()) / frame.width(), double(host.height()) / frame.height());
    const int w = int(frame.width() * s), h = int(frame.height() * s);
    return QRect((host.width() - w) / 2, (host.height() - h) / 2, w, h);
}

float VideoZoom::setScaleIndex(int index, QPoint anchor, QSize frame, QSize host, SDLBackground* window) {
    m_fit = false;
    if (m_factors.isEmpty())
        return 1.0f;
    const float f = m_factors[std::clamp(index, 0, int(m_factors.size()) - 1)];
    const bool hasAnchor = anchor != QPoint(NoAnchor, NoAnchor);
    const bool beyondFit = m_scaleIndex >= 0 && m_scaleIndex < m_factors.size() && m_factors[m_scaleIndex] < f;
    const QRect current = window ? QRect(window->pos(), window->size()) : QRect();
    const QRect r = zoomedRect(frame, f, anchor, hasAnchor && beyondFit && window, current, host);
    if (window && window->isReady()) {
        window->move(r.topLeft());
        window->resize(r.size());
    }
    return f;
}

void VideoZoom::fitToWindow(QSize frame, QSize host, SDLBackground* window) {
    m_fit = true;
    const QRect r = fittedRect(frame, host);
    if (window && window->isReady() && !r.isEmpty()) {
        window->move(r.topLeft());
        window->resize(r.size());
    }
}

QSize VideoZoom::hostSize() {
    if (videoHostWidget && !videoHostWidget->size().isEmpty())
        return videoHostWidget->size();
    if (videoWindow)
        return videoWindow->canvasSize();
    return QSize(1920, 1080);
}
