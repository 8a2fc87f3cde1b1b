#include "measure/engine/UpdateRegions.h"

#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/MeasureView.h"

#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdlib>

void AddPointRect(QList<QRect>& rects, const QPoint& at, int r) {
    if (r <= 0)
        rects.append(CenteredBox300(at));
    else
        rects.append(QRect(at.x() - r, at.y() - r, 2 * r, 2 * r));
}

void UpdatePointBox(const QPoint& at, int r) {
    QList<QRect> rects;
    AddPointRect(rects, at, r);
    UpdateRects(rects);
}

QRect CenteredBox300(const QPoint& at) {
    return QRect(at.x() - 150, at.y() - 150, 300, 300);
}

void AddLineRects(QList<QRect>& rects, const QPoint& a, const QPoint& b) {
    const int dx = b.x() - a.x();
    const int dy = b.y() - a.y();
    if (std::abs(dx) < 6 && std::abs(dy) < 6) {
        rects.append(CenteredBox300(a));
        return;
    }
    if (std::abs(dx) >= 300 && std::abs(dy) >= 300) {
        const double slope = double(dy) / double(dx);
        const int step = dx > 0 ? 300 : -300;
        const int pieces = (std::abs(dx) + 299) / 300;
        for (int i = 0; i < pieces; ++i) {
            const int x0 = a.x() + i * step;
            const int x1 = (i == pieces - 1) ? b.x() : x0 + step;
            const int y0 = int(std::lround(a.y() + slope * (x0 - a.x())));
            const int y1 = int(std::lround(a.y() + slope * (x1 - a.x())));
            rects.append(InflateRect10(QRect(QPoint(x0, y0), QPoint(x1, y1)).normalized()));
        }
        return;
    }
    rects.append(InflateRect10(QRect(a, b).normalized()));
}

void UpdateLineBox(const QPoint& a, const QPoint& b) {
    QList<QRect> rects;
    AddLineRects(rects, a, b);
    UpdateRects(rects);
}

void UpdateLineBand(const QPoint& a, const QPoint& b) {
    const QRect r = QRect(a, b).normalized();
    if (r.width() >= 31 && r.height() >= 31) {
        const QRegion band =
            QRegion(r.adjusted(-10, -10, 10, 10)).xored(QRegion(r.adjusted(10, 10, -10, -10)));
        QList<QRect> rects;
        for (const QRect& piece : band)
            rects.append(piece);
        UpdateRects(rects);
    } else {
        UpdateViewRect(InflateRect10(r));
    }
}

void AddCircleRects(QList<QRect>& rects, const QPoint& c, int r) {
    if (r <= 30) {
        rects.append(QRect(c.x() - 40, c.y() - 40, 80, 80));
        return;
    }
    const int outer = r + 10;
    const int inner = int(r / 1.414) - 10; // the strips overlap where the outline crosses the diagonals
    const int band = outer - inner;
    rects.append(QRect(c.x() - outer, c.y() - outer, 2 * outer, band)); // top
    rects.append(QRect(c.x() - outer, c.y() + inner, 2 * outer, band)); // bottom
    rects.append(QRect(c.x() - outer, c.y() - inner, band, 2 * inner)); // left
    rects.append(QRect(c.x() + inner, c.y() - inner, band, 2 * inner)); // right
}

void AddRectEdgeRects(QList<QRect>& rects, const QRect& rect) {
    const QRect r = rect.normalized();
    const int w = r.width();
    const int h = r.height();
    if (w >= 31 && h >= 31) {
        rects.append(QRect(r.left() - 10, r.top() - 10, w + 20, 20));
        rects.append(QRect(r.left() - 10, r.top() + h - 10, w + 20, 20));
        rects.append(QRect(r.left() - 10, r.top() - 10, 20, h + 20));
        rects.append(QRect(r.left() + w - 10, r.top() - 10, 20, h + 20));
    } else {
        rects.append(QRect(r.center().x() - (w + 20) / 2, r.center().y() - (h + 20) / 2, w + 20, h + 20));
    }
}

void AddHVLineRect(QList<QRect>& rects, bool horizontal, int pos) {
    const int start = std::max(pos - 5, 0);
    if (horizontal)
        rects.append(QRect(0, start, int(viewWidth), 10));
    else
        rects.append(QRect(start, 0, 10, int(viewHeight)));
}

QRect InflateRect10(const QRect& rect) {
    return rect.adjusted(-10, -10, 10, 10);
}

QRect ClampRectToView(const QPoint& anchor, const QSize& size) {
    int x = anchor.x();
    int y = anchor.y();
    if (x + size.width() > viewWidth)
        x = int(viewWidth) - size.width();
    x = std::max(x, 0);
    if (y + size.height() > viewHeight)
        y = int(viewHeight) - size.height();
    y = std::max(y, 0);
    return QRect(QPoint(x, y), size);
}

void UpdateRects(const QList<QRect>& rects) {
    if (!measureView)
        return;
    for (const QRect& r : rects)
        measureView->updateViewRect(r);
}

void UpdateViewRect(const QRect& rect) {
    if (measureView)
        measureView->updateViewRect(rect);
}

void UpdateView() {
    if (measureView)
        measureView->updateView();
}
