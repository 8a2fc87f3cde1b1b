#pragma once

#include <QList>
#include <QPair>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

class CCLBaseObject;
class QPainter;

// What a shape paints in one state, in view pixels: handles, circle
// outlines, arcs, solid and dashed segments and one label. A shape builds
// its figure once and both paints it and collects its update rectangles
// from it, so the repainted area always covers what was painted.
struct ShapeFigure {
    struct Arc {
        QPoint centre;
        int radius = 0;
        QPointF start; // drawn counter-clockwise on screen from start to end
        QPointF end;
    };
    QVector<QPoint> handles;
    QVector<QPair<QPoint, int>> circles;
    QVector<Arc> arcs;
    QVector<QPair<QPoint, QPoint>> lines;
    QVector<QPair<QPoint, QPoint>> dashes;
    QString labelText;
    QRect labelBox;
    bool hasLabel = false;
    bool labelInTextColour = true; // the label colour, else the current pen

    void AddCircle(const QPoint& centre, int radius) { circles.append({centre, radius}); }
    void AddLine(const QPoint& a, const QPoint& b) { lines.append({a, b}); }
    void AddDash(const QPoint& a, const QPoint& b) { dashes.append({a, b}); }
    // The arc about `centre` from `a` to `b` that passes through `through`.
    void AddArcThrough(const QPoint& centre, int radius, const QPoint& a, const QPoint& through,
                       const QPoint& b);
    // Label text measured as a (multi-line) label box at `anchor` (image).
    void SetLabel(CCLBaseObject& shape, const QPointF& anchor, const QString& text, bool textColour = true);

    void Paint(QPainter* painter, const CCLBaseObject& shape) const;
    void Collect(QList<QRect>& rects) const;
};
