#include "measure/shapes/CircleFamilyShape.h"

#include "measure/engine/GeometryHelpers.h"

QPointF CircleFamily::RimPoint(int variant, const QPointF& from, const QPointF& c, double r) {
    QPointF nearPoint, farPoint;
    GetNearFarPoints(from, c, r, nearPoint, farPoint);
    return variant == Nearest ? nearPoint : farPoint;
}
