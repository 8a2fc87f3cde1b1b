#include "measure/shapes/ThreePointCircle.h"

#include "measure/engine/GeometryHelpers.h"

#include <cmath>

ThreePointCircle ThreePointCircle::Through(const QPointF& a, const QPointF& b, const QPointF& c) {
    ThreePointCircle circle;
    bool ok = false;
    const QPointF centre = GetCircleCenter(a, b, c, &ok);
    if (!ok)
        return circle;
    circle.centre = centre;
    circle.radius = GetDistance(centre, c);
    circle.valid = true;
    return circle;
}

bool ThreePointCircle::Collinear(const QPointF& a, const QPointF& b, const QPointF& c) {
    return AreCollinear(a, b, c);
}

bool ThreePointCircle::KeepsCircle(const QVector<QPointF>& points, int first, int index,
                                   const QPointF& moved) {
    if (first < 0 || first + 3 > points.size())
        return true;
    if (index < first || index > first + 2)
        return true;
    QPointF p[3] = {points[first], points[first + 1], points[first + 2]};
    p[index - first] = moved;
    return !Collinear(p[0], p[1], p[2]);
}

bool ThreePointCircle::CanAdd(const QVector<QPointF>& points, int first, const QPointF& candidate) {
    const int placed = points.size() - first;
    if (placed == 1)
        return GetDistance(points[first], candidate) >= 0.001;
    if (placed == 2)
        return !Collinear(points[first], points[first + 1], candidate);
    return true;
}
