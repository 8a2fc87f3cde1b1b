#pragma once

#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QPoint>
#include <QRect>
#include <QSize>

class CCLBaseObject;

// Paint-coverage check of a shape's update rectangles: the shape is painted
// (DrawObj with its label, or DrawCreating) into a transparent image of the
// view size with the pen and font the measurement system uses, and every
// painted pixel must lie inside one of the rectangles the shape reports
// (CollectObjRects / CollectCreatingRects), grown by `margin` for
// antialiasing. Returns the pixels outside (empty = covered) and the number
// of painted pixels, so a test can also see that something was painted.
// Label text is clipped to its box when painted, so a box measured too
// small shows as clipped text, not as uncovered pixels: check box sizes
// apart.
// The shape painted alone (pen of its colour and width, the label font)
// into a transparent image of the view size.
QImage PaintShape(CCLBaseObject& shape, bool creating, QSize view = QSize(1920, 1080));

struct PaintCoverage {
    QList<QPoint> outside;
    int painted = 0;
};
PaintCoverage CheckPaintCoverage(CCLBaseObject& shape, bool creating, QSize view = QSize(1920, 1080),
                                 int margin = 1);

// A shape of `kind` (from the registry) clicked point by point, each state
// painted with the mouse at `cursor` (the last point once all are placed):
// the number of painted pixels outside the creating update rectangles, -1
// when a state painted nothing at all.
int UncoveredWhileCreating(int kind, const QPolygonF& points, const QPointF& cursor, int penWidth = 3);
