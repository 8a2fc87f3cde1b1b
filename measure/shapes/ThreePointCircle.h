#pragma once

#include <QPointF>
#include <QVector>

// The circle through three points (image pixels, y up), shared by every
// shape built on three outline clicks (circle, arc, ring distance, the
// point/line/circle-to-circle families, multi-circles, concentric circles).
// One collinearity rule for all of them (AreCollinear): three points on one
// line have no circle, and such a point is refused where it is added or
// moved to.
struct ThreePointCircle {
    QPointF centre;
    double radius = 0.0; // distance from the centre to the third point
    bool valid = false;  // false for collinear points (centre and radius 0)

    static ThreePointCircle Through(const QPointF& a, const QPointF& b, const QPointF& c);
    static bool Collinear(const QPointF& a, const QPointF& b, const QPointF& c);
    // Whether the three points from `first` still make a circle once point
    // `index` of `points` is `moved` (an index outside the three changes
    // nothing, and fewer than three points always pass).
    static bool KeepsCircle(const QVector<QPointF>& points, int first, int index, const QPointF& moved);
    // Whether `candidate` may join the group of points from `first` to the
    // end of `points`: a second point must not lie on the first, a third not
    // on the line of the other two.
    static bool CanAdd(const QVector<QPointF>& points, int first, const QPointF& candidate);
};
