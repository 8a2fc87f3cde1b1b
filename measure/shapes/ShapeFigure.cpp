#include "measure/shapes/ShapeFigure.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"
#include "measure/shapes/ShapeConventions.h"

#include <QPainter>

#include <cmath>

namespace {
// Screen angle of p about c in degrees, counter-clockwise, 0..360.
double screenAngle(const QPoint& c, const QPoint& p) {
    double a = std::atan2(-(p.y() - c.y()), double(p.x() - c.x())) * 180.0 / M_PI;
    return a < 0 ? a + 360.0 : a;
}
double sweep(double from, double to) {
    const double s = to - from;
    return s < 0 ? s + 360.0 : s;
}
} // namespace

void ShapeFigure::AddArcThrough(const QPoint& centre, int radius, const QPoint& a, const QPoint& through,
                                const QPoint& b) {
    const double a0 = screenAngle(centre, a);
    const bool forward = sweep(a0, screenAngle(centre, through)) <= sweep(a0, screenAngle(centre, b));
    arcs.append(Arc{centre, radius, forward ? QPointF(a) : QPointF(b), forward ? QPointF(b) : QPointF(a)});
}

void ShapeFigure::SetLabel(CCLBaseObject& shape, const QPointF& anchor, const QString& text,
                           bool textColour) {
    hasLabel = true;
    labelText = text;
    labelBox = ShapeLabel::Box(shape, anchor, text);
    labelInTextColour = textColour;
}

void ShapeFigure::Paint(QPainter* painter, const CCLBaseObject& shape) const {
    for (const auto& c : circles)
        DrawCircle(painter, c.first, c.second);
    for (const Arc& arc : arcs)
        DrawArc(painter, QPointF(arc.centre), arc.start, arc.end);
    for (const auto& l : lines)
        DrawLine(painter, l.first, l.second);
    for (const auto& l : dashes)
        DrawDashLine(painter, l.first, l.second);
    if (hasLabel) {
        if (labelInTextColour)
            ShapeLabel::Draw(painter, shape, labelBox, labelText);
        else
            DrawText(painter, labelBox, labelText);
    }
    for (const QPoint& h : handles)
        DrawPoint(painter, h);
}

void ShapeFigure::Collect(QList<QRect>& rects) const {
    for (const auto& c : circles)
        AddCircleRects(rects, c.first, c.second);
    for (const Arc& arc : arcs)
        AddCircleRects(rects, arc.centre, arc.radius);
    for (const auto& l : lines + dashes)
        AddLineRects(rects, l.first, l.second);
    if (hasLabel)
        rects.append(labelBox);
    for (const QPoint& h : handles)
        AddPointRect(rects, h, 30);
}
