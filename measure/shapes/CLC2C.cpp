#include "measure/shapes/CLC2C.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"
#include "measure/shapes/ThreePointCircle.h"

#include <cmath>
#include <limits>

namespace {
// The variant's rim points of both circles on the line of centres (circle 1
// through p0, circle 2 through p3); false when the centres coincide.
bool rimPoints(const CCLBaseObject& s, int variant, const QPointF& c1, const QPointF& c2, QPointF& a,
               QPointF& b) {
    if (GetDistance(c1, c2) < 0.0001)
        return false;
    a = CircleFamily::RimPoint(variant, c2, c1, GetDistance(c1, s.points[0]));
    b = CircleFamily::RimPoint(variant, c1, c2, GetDistance(c2, s.points[3]));
    return true;
}
} // namespace

CLC2C::CLC2C() {
    kind = KindC2C;
    name = QStringLiteral("L");
}

bool CLC2C::Snap(CCLBaseObject&, const QPointF& point, QPointF& snapped) {
    snapped = point;
    return false;
}

bool CLC2C::AddValid(CCLBaseObject& s, int, const QPointF& point) {
    const int n = s.points.size();
    return n >= 6 || ThreePointCircle::CanAdd(s.points, n < 3 ? 0 : 3, point);
}

bool CLC2C::MoveValid(CCLBaseObject& s, int, const QPointF& point, int index) {
    if (s.points.size() < 6 || index > 5)
        return true;
    return ThreePointCircle::KeepsCircle(s.points, index < 3 ? 0 : 3, index, point);
}

void CLC2C::Calc(CCLBaseObject& s, int variant) {
    if (!s.IsFinished())
        return;
    s.derivedPoints.clear();
    s.results.clear();
    const ThreePointCircle one = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    const ThreePointCircle two = ThreePointCircle::Through(s.points[3], s.points[4], s.points[5]);
    if (!one.valid || !two.valid)
        return;
    s.derivedPoints << one.centre << two.centre;
    if (variant == CircleFamily::Centre) {
        s.results.append(GetDistance(one.centre, two.centre));
        return;
    }
    QPointF a(-1, -1), b(-1, -1);
    const bool apart = rimPoints(s, variant, one.centre, two.centre, a, b);
    s.derivedPoints << a << b;
    s.results.append(apart ? GetDistance(a, b) : std::numeric_limits<double>::quiet_NaN());
}

QString CLC2C::Text(CCLBaseObject& s, int variant, double value) {
    if (!std::isfinite(value))
        return ShapeText::StyledLine(0, s.name, s.labelNumber, "L", QString());
    const int style = variant == CircleFamily::Centre ? ShapeText::CurrentStyle() : 0;
    return ShapeText::SingleLabel(style, s.name, s.labelNumber, "L", ShapeText::ValueText(value, s.numbits),
                                  s.unit);
}

int CLC2C::Hit(CCLBaseObject& s, int variant, const QPoint& view) {
    const int derived = variant == CircleFamily::Centre ? 2 : 4;
    if (s.points.size() < 6 || s.derivedPoints.size() != derived)
        return 0;
    const QPoint c1 = ImageToView(s.derivedPoints[0]);
    const QPoint c2 = ImageToView(s.derivedPoints[1]);
    if (HitTestRing(view, c1, GetDistanceI(c1, ImageToView(s.points[0]))) ||
        HitTestRing(view, c2, GetDistanceI(c2, ImageToView(s.points[3]))))
        return 3;
    if (variant == CircleFamily::Centre)
        return HitTestLine(view, c1, c2) ? 3 : 0;
    if (s.results.isEmpty() || !std::isfinite(s.results[0]))
        return 0;
    return HitTestLine(view, ImageToView(s.derivedPoints[2]), ImageToView(s.derivedPoints[3])) ? 3 : 0;
}

void CLC2C::Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = s.GetUnitRate();
    const int n = s.points.size();
    if (!creating) {
        const int derived = variant == CircleFamily::Centre ? 2 : 4;
        if (n != 7 || s.derivedPoints.size() != derived || s.results.size() != 1)
            return;
        const QPoint c1 = ImageToView(s.derivedPoints[0]);
        const QPoint c2 = ImageToView(s.derivedPoints[1]);
        k.circle(c1, GetDistanceI(c1, ImageToView(s.points[0])));
        k.circle(c2, GetDistanceI(c2, ImageToView(s.points[3])));
        if (variant == CircleFamily::Centre) {
            k.line(c1, c2);
        } else if (std::isfinite(s.results[0])) {
            const QPoint a = ImageToView(s.derivedPoints[2]);
            const QPoint b = ImageToView(s.derivedPoints[3]);
            k.line(a, b);
            handles.points << a << b;
        }
        k.label(s, s.points[6], Text(s, variant, s.results[0] * rate));
        for (int i = 0; i < 6; ++i)
            handles.points << ImageToView(s.points[i]);
        return;
    }
    for (int i = 0; i < n && i < 6; ++i)
        handles.points << ImageToView(s.points[i]);
    if (n < 2)
        return;
    const QPoint m = ImageToView(s.curPoint);
    if (n == 2 && IsNearPoint(m, handles.points[1]))
        return;
    const ThreePointCircle one =
        ThreePointCircle::Through(s.points[0], s.points[1], n == 2 ? s.curPoint : s.points[2]);
    if (!one.valid)
        return;
    const QPoint c1 = ImageToView(one.centre);
    k.circle(c1, GetDistanceI(c1, handles.points[0]));
    if (n < 5 || (n == 5 && IsNearPoint(m, handles.points[4])))
        return;
    const ThreePointCircle two =
        ThreePointCircle::Through(s.points[3], s.points[4], n == 5 ? s.curPoint : s.points[5]);
    if (!two.valid)
        return;
    const QPoint c2 = ImageToView(two.centre);
    k.circle(c2, GetDistanceI(c2, handles.points[3]));
    if (variant == CircleFamily::Centre) {
        k.line(c1, c2);
        k.label(s, s.curPoint, Text(s, variant, GetDistance(one.centre, two.centre) * rate), false);
        return;
    }
    QPointF a, b;
    if (!rimPoints(s, variant, one.centre, two.centre, a, b))
        return;
    k.line(ImageToView(a), ImageToView(b));
    handles.points << ImageToView(a) << ImageToView(b);
    k.label(s, s.curPoint, Text(s, variant, GetDistance(a, b) * rate), false);
}

bool CLC2C::Set(CCLBaseObject& s, int variant, int part, double value) {
    if (!ShapeEdit::Accepts(s.IsFinished(), !s.results.isEmpty() && s.derivedPoints.size() >= 2, part == 0,
                            value))
        return false;
    const QPointF c1 = s.derivedPoints[0];
    const QPointF c2 = s.derivedPoints[1];
    const double r1 = GetDistance(c1, s.points[0]);
    const double r2 = GetDistance(c2, s.points[3]);
    double target = value;
    if (variant == CircleFamily::Nearest)
        target = value + r1 + r2;
    else if (variant == CircleFamily::Farthest)
        target = value - r1 - r2;
    // Below r1 + r2 there is no such far distance; at it the centres coincide.
    if (variant == CircleFamily::Farthest && target < 0.0001)
        return false;
    const double d = GetDistance(c1, c2);
    const QPointF moved = d > 0.001 ? c1 + (c2 - c1) * (target / d) : QPointF(c1.x() + target, c1.y());
    for (int i = 3; i < 6; ++i)
        s.points[i] += moved - c2;
    s.CalcResult();
    return true;
}

void CLC2C::Name(CCLBaseObject& s, int lang) {
    s.language = lang;
    s.name = ShapeText::Pick(lang, QStringLiteral("圆心距"), QStringLiteral("C2C"), QStringLiteral("圓心距"));
}

void CLC2C::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 7 || derivedPoints.size() < 2)
        return;
    const QPointF c1 = derivedPoints[0];
    const QPointF c2 = derivedPoints[1];
    out << FlipImageY(points[0]) << FlipImageY(2 * c1 - points[0]) << FlipImageY(points[3])
        << FlipImageY(2 * c2 - points[3]);
}
