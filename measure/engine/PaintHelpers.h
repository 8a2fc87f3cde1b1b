#pragma once

#include <QBrush>
#include <QPen>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <Qt>

class QPainter;

// Painting primitives in view pixels, with the pen and brush the caller set
// unless a function says otherwise.

void DrawLine(QPainter* p, const QPoint& a, const QPoint& b);
void DrawLineF(QPainter* p, const QPointF& a, const QPointF& b);
// Dashed for this one line; the pen is left solid.
void DrawDashLine(QPainter* p, const QPoint& a, const QPoint& b);
void DrawDashLineF(QPainter* p, const QPointF& a, const QPointF& b);
// Dashed line through `at` across the picture: from x 0 to the image width
// (horizontal) or from y 0 to the image height, taken as view pixels.
void DrawDashCrossLine(QPainter* p, bool horizontal, const QPoint& at);
void DrawCircle(QPainter* p, const QPoint& centre, int radius);
void DrawRectLines(QPainter* p, const QPoint& a, const QPoint& b);
// A point handle: the pen widened by 2 for one drawPoints.
void DrawPoint(QPainter* p, const QPoint& at);
// Nothing for an empty text.
void DrawText(QPainter* p, const QRect& rect, const QString& text,
              Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter);
// Lines 10 px long through the point, horizontal and vertical.
void DrawCrossMark(QPainter* p, const QPoint& at);
// Below 10 px a plain line; else arrow heads of size 3 x (pen width + 2)
// (18 when large), inside a long segment with a shaft, outside a short one.
void DrawArrowLine(QPainter* p, const QPoint& a, const QPoint& b, bool large = false,
                   bool singleHead = false);
// The segment with end bars across it: half-length 9 (short) or 14.
void DrawDimensionLine(QPainter* p, const QPoint& a, const QPoint& b, bool shortBars = true);
// The arc round `centre` from `start` counter-clockwise (on screen) to the
// direction of `end`.
void DrawArc(QPainter* p, const QPointF& centre, const QPointF& start, const QPointF& end);

struct PenBrush {
    QPen pen;
    QBrush brush;
};
PenBrush SavePenBrush(QPainter* p);
void SetPenBrush(QPainter* p, const PenBrush& saved);
