#include "measure/shapes/ShapeSketch.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"
#include "measure/shapes/ShapeConventions.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

ShapeSketch::ShapeSketch(QPainter* painter) : m_painter(painter) {}

ShapeSketch::ShapeSketch(QList<QRect>& rects, int penWidth) : m_rects(&rects), m_penWidth(std::max(penWidth, 1)) {}

namespace {
// Liang-Barsky clip of the segment to the view grown by a margin; false when
// nothing of it lies there. Keeps far intersections from producing huge or
// countless boxes.
bool clipToView(QPointF& a, QPointF& b) {
    const double m = 40.0;
    const double xmin = -m, ymin = -m, xmax = viewWidth + m, ymax = viewHeight + m;
    double t0 = 0.0, t1 = 1.0;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - xmin, xmax - a.x(), a.y() - ymin, ymax - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF a0 = a;
    a = a0 + QPointF(dx * t0, dy * t0);
    b = a0 + QPointF(dx * t1, dy * t1);
    return true;
}

QPoint rounded(const QPointF& p) {
    return QPoint(int(std::floor(p.x() + 0.5)), int(std::floor(p.y() + 0.5)));
}
} // namespace

void ShapeSketch::coverLine(const QPointF& a, const QPointF& b) {
    QPointF u = a, v = b;
    if (!clipToView(u, v))
        return;
    const QPoint ua = rounded(u), vb = rounded(v);
    const int grow = m_penWidth > 16 ? m_penWidth / 2 : 0;
    const int first = m_rects->size();
    AddLineRects(*m_rects, ua, vb);
    for (int i = first; i < m_rects->size(); ++i)
        (*m_rects)[i].adjust(-grow, -grow, grow, grow);
}

void ShapeSketch::line(const QPointF& a, const QPointF& b) {
    if (m_painter)
        DrawLineF(m_painter, a, b);
    else
        coverLine(a, b);
}

void ShapeSketch::dimensionLine(const QPoint& a, const QPoint& b) {
    if (m_painter) {
        DrawDimensionLine(m_painter, a, b, true);
        return;
    }
    coverLine(a, b);
    // The bars stand 9 px to each side of both ends.
    const int r = std::max(30, m_penWidth + 4);
    AddPointRect(*m_rects, a, r);
    AddPointRect(*m_rects, b, r);
}

void ShapeSketch::dashLine(const QPointF& a, const QPointF& b) {
    if (m_painter)
        DrawDashLineF(m_painter, a, b);
    else
        coverLine(a, b);
}

void ShapeSketch::extendedLine(const QPointF& a, const QPointF& b) {
    const QPointF u = NormalizeVector(b - a) * 1000.0;
    dashLine(b + u, a - u);
}

void ShapeSketch::handle(const QPoint& at) {
    if (m_painter)
        DrawPoint(m_painter, at);
    else
        AddPointRect(*m_rects, at, std::max(30, m_penWidth + 4));
}

void ShapeSketch::rectLines(const QPoint& a, const QPoint& b) {
    if (m_painter) {
        DrawRectLines(m_painter, a, b);
        return;
    }
    const int first = m_rects->size();
    AddRectEdgeRects(*m_rects, QRect(a, b));
    const int grow = m_penWidth > 16 ? m_penWidth / 2 : 0;
    for (int i = first; i < m_rects->size(); ++i)
        (*m_rects)[i].adjust(-grow, -grow, grow, grow);
}

void ShapeSketch::circle(const QPoint& centre, int radius) {
    if (m_painter) {
        DrawCircle(m_painter, centre, radius);
        return;
    }
    const int first = m_rects->size();
    AddCircleRects(*m_rects, centre, radius);
    const int grow = m_penWidth > 16 ? m_penWidth / 2 : 0;
    for (int i = first; i < m_rects->size(); ++i)
        (*m_rects)[i].adjust(-grow, -grow, grow, grow);
}

namespace {
// Screen angle of p about c in degrees, counter-clockwise, 0..360.
double screenAngle(const QPoint& c, const QPoint& p) {
    const double a = std::atan2(-(p.y() - c.y()), double(p.x() - c.x())) * 180.0 / M_PI;
    return a < 0 ? a + 360.0 : a;
}
double sweep(double from, double to) {
    const double s = to - from;
    return s < 0 ? s + 360.0 : s;
}
} // namespace

void ShapeSketch::arcThrough(const QPoint& centre, int radius, const QPoint& a, const QPoint& through,
                             const QPoint& b) {
    if (!m_painter) {
        circle(centre, radius);
        return;
    }
    // Drawn counter-clockwise on screen from start to end.
    const double a0 = screenAngle(centre, a);
    const bool forward = sweep(a0, screenAngle(centre, through)) <= sweep(a0, screenAngle(centre, b));
    DrawArc(m_painter, QPointF(centre), forward ? QPointF(a) : QPointF(b), forward ? QPointF(b) : QPointF(a));
}

void ShapeSketch::pie(const QPoint& centre, int radius, int start16, int span16) {
    if (m_painter) {
        const PenBrush saved = SavePenBrush(m_painter);
        m_painter->setBrush(QBrush(saved.pen.color(), Qt::SolidPattern));
        m_painter->drawPie(QRect(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), start16, span16);
        SetPenBrush(m_painter, saved);
        return;
    }
    AddPointRect(*m_rects, centre, radius + m_penWidth + 2);
}

void ShapeSketch::arrow(const QPoint& a, const QPoint& b) {
    if (m_painter) {
        DrawArrowLine(m_painter, a, b, true, true);
        return;
    }
    coverLine(a, b);
    AddPointRect(*m_rects, a, 25);
}

void ShapeSketch::label(CCLBaseObject& shape, const QPointF& anchor, const QString& text, bool textColour) {
    const QRect box = ShapeLabel::Box(shape, anchor, text);
    if (!m_painter)
        m_rects->append(box);
    else if (!m_labels)
        return;
    else if (textColour)
        ShapeLabel::Draw(m_painter, shape, box, text);
    else
        DrawText(m_painter, box, text);
}

void ShapeSketch::text(const QRect& box, const QString& text) {
    if (m_painter)
        DrawText(m_painter, box, text);
    else
        m_rects->append(box);
}

void ShapeSketch::centredText(const QRect& box, const QString& text, int pixelSize) {
    if (m_painter) {
        const QFont saved = m_painter->font();
        QFont font = saved;
        font.setPixelSize(pixelSize);
        m_painter->setFont(font);
        m_painter->drawText(box, Qt::AlignCenter, text);
        m_painter->setFont(saved);
        return;
    }
    QFont font(measureFontFamily);
    font.setPixelSize(pixelSize);
    const QRect drawn = QFontMetrics(font).boundingRect(box, Qt::AlignCenter, text);
    m_rects->append(box.united(drawn).adjusted(-2, -2, 2, 2));
}

void ShapeSketch::cover(const QRect& rect) {
    if (m_rects)
        m_rects->append(rect);
}
