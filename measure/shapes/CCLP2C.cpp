#include "measure/shapes/CCLP2C.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"
#include "measure/shapes/ThreePointCircle.h"

#include <cmath>

namespace {
bool onCentre(const QPointF& p, const QPointF& c) {
    return std::fabs(p.x() - c.x()) < 0.0001 && std::fabs(p.y() - c.y()) < 0.0001;
}
} // namespace

CCLP2C::CCLP2C() {
    kind = KindP2C;
    name = QStringLiteral("L");
}

bool CCLP2C::Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped) {
    snapped = point;
    if (s.points.size() != 3)
        return false;
    const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    return circle.valid && ShapeSnap::ToReference(circle.centre, point, snapped);
}

bool CCLP2C::AddValid(CCLBaseObject& s, int variant, const QPointF& point) {
    const int n = s.points.size();
    if (n < 3)
        return ThreePointCircle::CanAdd(s.points, 0, point);
    if (n == 3 && variant != CircleFamily::Centre) {
        const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
        return circle.valid && !onCentre(point, circle.centre);
    }
    return true;
}

bool CCLP2C::MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index) {
    if (s.points.size() < 4 || index > 3)
        return true;
    QVector<QPointF> moved = s.points;
    moved[index] = point;
    const ThreePointCircle circle = ThreePointCircle::Through(moved[0], moved[1], moved[2]);
    if (!circle.valid)
        return false;
    // The variants have no rim point for a point on the centre.
    return variant == CircleFamily::Centre || !onCentre(moved[3], circle.centre);
}

void CCLP2C::Calc(CCLBaseObject& s, int variant) {
    if (!s.IsFinished())
        return;
    s.derivedPoints.clear();
    s.results.clear();
    const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    if (!circle.valid)
        return;
    const QPointF c = circle.centre;
    s.derivedPoints.append(c);
    if (variant == CircleFamily::Centre) {
        s.results.append(GetDistance(c, s.points[3]));
        return;
    }
    const QPointF q = CircleFamily::RimPoint(variant, s.points[3], c, GetDistance(c, s.points[0]));
    s.derivedPoints.append(q);
    s.results.append(GetDistance(q, s.points[3]));
}

QString CCLP2C::Text(CCLBaseObject& s, int variant, double value) {
    const int style = variant == CircleFamily::Centre ? ShapeText::CurrentStyle() : 0;
    return ShapeText::SingleLabel(style, s.name, s.labelNumber, "L", ShapeText::ValueText(value, s.numbits),
                                  s.unit);
}

int CCLP2C::Hit(CCLBaseObject& s, int variant, const QPoint& view) {
    const int derived = variant == CircleFamily::Centre ? 1 : 2;
    if (s.points.size() < 4 || s.derivedPoints.size() != derived)
        return 0;
    const QPoint c = ImageToView(s.derivedPoints[0]);
    if (HitTestRing(view, c, GetDistanceI(c, ImageToView(s.points[0]))))
        return 3;
    return HitTestLine(view, ImageToView(s.derivedPoints.last()), ImageToView(s.points[3])) ? 3 : 0;
}

void CCLP2C::Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = s.GetUnitRate();
    const int n = s.points.size();
    if (!creating) {
        const int derived = variant == CircleFamily::Centre ? 1 : 2;
        if (n != 5 || s.derivedPoints.size() != derived || s.results.size() != 1)
            return;
        const QPoint c = ImageToView(s.derivedPoints[0]);
        const QPoint q = ImageToView(s.derivedPoints.last());
        const QPoint p3 = ImageToView(s.points[3]);
        k.circle(c, GetDistanceI(c, ImageToView(s.points[0])));
        k.line(q, p3);
        k.label(s, s.points[4], Text(s, variant, s.results[0] * rate));
        for (int i = 0; i < 4; ++i)
            handles.points << ImageToView(s.points[i]);
        handles.points << c;
        if (variant != CircleFamily::Centre)
            handles.points << q;
        return;
    }
    for (int i = 0; i < n && i < 3; ++i)
        handles.points << ImageToView(s.points[i]);
    if (n < 2)
        return;
    const QPoint m = ImageToView(s.curPoint);
    const QPoint p0 = handles.points[0];
    if (n == 2) {
        if (IsNearPoint(m, p0) || IsNearPoint(m, handles.points[1]))
            return;
        const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.curPoint);
        if (circle.valid) {
            const QPoint c = ImageToView(circle.centre);
            k.circle(c, GetDistanceI(c, p0));
        }
        return;
    }
    const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    if (!circle.valid)
        return;
    const QPoint c = ImageToView(circle.centre);
    k.circle(c, GetDistanceI(c, p0));
    if (IsNearPoint(m, handles.points[2]) || (variant != CircleFamily::Centre && IsNearPoint(m, c)))
        return;
    QPointF from = circle.centre;
    if (variant != CircleFamily::Centre) {
        if (onCentre(s.curPoint, circle.centre))
            return;
        from = CircleFamily::RimPoint(variant, s.curPoint, circle.centre,
                                      GetDistance(circle.centre, s.points[0]));
        handles.points << ImageToView(from);
    }
    k.line(ImageToView(from), m);
    k.label(s, s.curPoint, Text(s, variant, GetDistance(from, s.curPoint) * rate), false);
}

bool CCLP2C::Set(CCLBaseObject& s, int variant, int part, double value) {
    if (!ShapeEdit::Accepts(s.IsFinished(), !s.results.isEmpty() && !s.derivedPoints.isEmpty(), part == 0,
                            value))
        return false;
    const QPointF c = s.derivedPoints[0];
    const double r = GetDistance(c, s.points[0]);
    const double d = GetDistance(c, s.points[3]);
    double target = value;
    if (variant == CircleFamily::Nearest)
        target = r + value;
    else if (variant == CircleFamily::Farthest)
        target = value - r;
    if (variant == CircleFamily::Farthest && target < 0.0001)
        return false;
    const double current = variant == CircleFamily::Centre ? s.results[0] : d;
    if (d > 0.001 && current > 0.001)
        s.points[3] = c + (s.points[3] - c) * (target / current);
    else
        s.points[3] = QPointF(c.x() + target, c.y());
    s.CalcResult();
    return true;
}

void CCLP2C::Name(CCLBaseObject& s, int lang) {
    s.language = lang;
    s.name = ShapeText::Pick(lang, QStringLiteral("点心距"), QStringLiteral("P2C"), QStringLiteral("點心距"));
}

void CCLP2C::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 5 || derivedPoints.isEmpty())
        return;
    const QPointF c = derivedPoints[0];
    out << FlipImageY(points[0]) << FlipImageY(2 * c - points[0]) << FlipImageY(points[3]);
}
