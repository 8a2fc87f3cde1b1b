#include "measure/engine/PaintHelpers.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"

#include <QPainter>
#include <QPolygonF>
#include <QTextOption>

#include <cmath>
#include <functional>

void DrawLine(QPainter* p, const QPoint& a, const QPoint& b) {
    p->drawLine(a, b);
}

void DrawLineF(QPainter* p, const QPointF& a, const QPointF& b) {
    p->drawLine(a, b);
}

static void withDash(QPainter* p, const std::function<void()>& draw) {
    QPen pen = p->pen();
    pen.setStyle(Qt::DashLine);
    p->setPen(pen);
    draw();
    pen.setStyle(Qt::SolidLine);
    p->setPen(pen);
}

void DrawDashLine(QPainter* p, const QPoint& a, const QPoint& b) {
    withDash(p, [&] { p->drawLine(a, b); });
}

void DrawDashLineF(QPainter* p, const QPointF& a, const QPointF& b) {
    withDash(p, [&] { p->drawLine(a, b); });
}

void DrawDashCrossLine(QPainter* p, bool horizontal, const QPoint& at) {
    withDash(p, [&] {
        if (horizontal)
            p->drawLine(QPoint(0, at.y()), QPoint(int(std::lround(imageWidth)), at.y()));
        else
            p->drawLine(QPoint(at.x(), 0), QPoint(at.x(), int(std::lround(imageHeight))));
    });
}

void DrawCircle(QPainter* p, const QPoint& centre, int radius) {
    p->drawEllipse(centre, radius, radius);
}

void DrawRectLines(QPainter* p, const QPoint& a, const QPoint& b) {
    p->drawLine(a.x(), a.y(), b.x(), a.y());
    p->drawLine(b.x(), a.y(), b.x(), b.y());
    p->drawLine(b.x(), b.y(), a.x(), b.y());
    p->drawLine(a.x(), b.y(), a.x(), a.y());
}

void DrawPoint(QPainter* p, const QPoint& at) {
    const QPen saved = p->pen();
    QPen wide = saved;
    wide.setWidth(saved.width() + 2);
    p->setPen(wide);
    p->drawPoints(&at, 1);
    p->setPen(saved);
}

void DrawText(QPainter* p, const QRect& rect, const QString& text, Qt::Alignment align) {
    if (text.isEmpty())
        return;
    p->drawText(QRectF(rect), text, QTextOption(align));
}

void DrawCrossMark(QPainter* p, const QPoint& at) {
    p->drawLine(at.x() - 5, at.y(), at.x() + 5, at.y());
    p->drawLine(at.x(), at.y() - 5, at.x(), at.y() + 5);
}

// One filled head with its tip at x = tip, base at x = base, in the rotated frame.
static void arrowHead(QPainter* p, double tip, double base, double width) {
    QPolygonF tri;
    tri << QPointF(tip, 0) << QPointF(base, -width / 2) << QPointF(base, width / 2);
    p->drawPolygon(tri);
}

void DrawArrowLine(QPainter* p, const QPoint& a, const QPoint& b, bool large, bool singleHead) {
    const double len = GetDistance(QPointF(a), QPointF(b));
    if (len < 10.0) {
        p->drawLine(a, b);
        return;
    }
    const PenBrush saved = SavePenBrush(p);
    const double head = large ? 18.0 : 3.0 * (saved.pen.width() + 2);
    p->save();
    p->translate(a);
    p->rotate(GetLineAngleI(a, b));
    QPen thin = saved.pen;
    thin.setWidth(1);
    p->setPen(thin);
    p->setBrush(QBrush(saved.pen.color(), Qt::SolidPattern));
    if (len > 2.0 * head) {
        arrowHead(p, 0.0, head, head);
        if (!singleHead)
            arrowHead(p, len, len - head, head);
        QPen shaft = saved.pen;
        shaft.setWidth(large ? 4 : 1);
        p->setPen(shaft);
        p->drawLine(QPointF(9.0, 0.0), QPointF(len - 9.0, 0.0));
    } else {
        arrowHead(p, 0.0, -head, head);
        if (!singleHead)
            arrowHead(p, len, len + head, head);
    }
    p->restore();
    SetPenBrush(p, saved);
}

void DrawDimensionLine(QPainter* p, const QPoint& a, const QPoint& b, bool shortBars) {
    p->drawLine(a, b);
    const int half = shortBars ? 9 : 14;
    const double len = GetDistance(QPointF(a), QPointF(b));
    p->save();
    p->translate(a);
    p->rotate(GetLineAngleI(a, b));
    p->drawLine(QPointF(0, -half), QPointF(0, half));
    p->drawLine(QPointF(len, -half), QPointF(len, half));
    p->restore();
}

void DrawArc(QPainter* p, const QPointF& centre, const QPointF& start, const QPointF& end) {
    const double radius = GetVectorLength(start - centre);
    if (radius < 0.0001 || GetVectorLength(end - centre) < 0.0001)
        return;
    constexpr double kDeg = 180.0 / 3.1415926535;
    // Screen y points down; Qt's arc angles count counter-clockwise on screen.
    const double a0 = std::atan2(-(start.y() - centre.y()), start.x() - centre.x()) * kDeg;
    const double a1 = std::atan2(-(end.y() - centre.y()), end.x() - centre.x()) * kDeg;
    double span = a1 - a0;
    while (span < 0)
        span += 360.0;
    if (std::fabs(span) < 0.001)
        return;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p->drawArc(box, int(std::lround(a0 * 16.0)), int(std::lround(span * 16.0)));
}

PenBrush SavePenBrush(QPainter* p) {
    return PenBrush{p->pen(), p->brush()};
}

void SetPenBrush(QPainter* p, const PenBrush& saved) {
    p->setBrush(saved.brush);
    p->setPen(saved.pen);
}
