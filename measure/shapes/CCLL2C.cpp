#include "measure/shapes/CCLL2C.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"
#include "measure/shapes/ThreePointCircle.h"

#include <cmath>

namespace {

bool insideImage(const QPointF& p) {
    return p.x() >= 0 && p.y() >= 0 && p.x() <= imageWidth && p.y() <= imageHeight;
}
} // namespace

CCLL2C::CCLL2C() {
    kind = KindL2C;
    name = QStringLiteral("L");
}

bool CCLL2C::Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped) {
    snapped = point;
    return s.points.size() == 4 && ShapeSnap::ToReference(s.points[3], point, snapped);
}

bool CCLL2C::AddValid(CCLBaseObject& s, int variant, const QPointF& point) {
    const int n = s.points.size();
    if (n < 3)
        return ThreePointCircle::CanAdd(s.points, 0, point);
    if (n != 4)
        return true;
    const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    if (!circle.valid)
        return false;
    const QPointF g = GetFootPoint(circle.centre, s.points[3], point);
    if (variant != CircleFamily::Centre && GetDistance(g, circle.centre) < 0.0001)
        return false;
    return insideImage(g);
}

bool CCLL2C::MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index) {
    if (s.points.size() < 5 || index > 4)
        return true;
    QVector<QPointF> moved = s.points;
    moved[index] = point;
    const ThreePointCircle circle = ThreePointCircle::Through(moved[0], moved[1], moved[2]);
    if (!circle.valid)
        return false;
    return variant == CircleFamily::Centre ||
           GetDistance(GetFootPoint(circle.centre, moved[3], moved[4]), circle.centre) >= 0.0001;
}

void CCLL2C::Calc(CCLBaseObject& s, int variant) {
    if (!s.IsFinished())
        return;
    s.derivedPoints.clear();
    s.results.clear();
    const ThreePointCircle circle = ThreePointCircle::Through(s.points[0], s.points[1], s.points[2]);
    if (!circle.valid)
        return;
    const QPointF c = circle.centre;
    const QPointF f = GetFootPoint(c, s.points[3], s.points[4]);
    s.derivedPoints << c << f;
    if (variant == CircleFamily::Centre) {
        s.results.append(GetDistance(c, f));
        return;
    }
    const QPointF q = CircleFamily::RimPoint(variant, f, c, GetDistance(c, s.points[0]));
    s.derivedPoints.append(q);
    s.results.append(GetDistance(q, f));
}

QString CCLL2C::Text(CCLBaseObject& s, int variant, double value) {
    const int style = variant == CircleFamily::Centre ? ShapeText::CurrentStyle() : 0;
    return ShapeText::SingleLabel(style, s.name, s.labelNumber, "L", ShapeText::ValueText(value, s.numbits),
                                  s.unit);
}

int CCLL2C::Hit(CCLBaseObject& s, int variant, const QPoint& view) {
    const int derived = variant == CircleFamily::Centre ? 2 : 3;
    if (s.points.size() < 5 || s.derivedPoints.size() != derived)
        return 0;
    const QPoint c = ImageToView(s.derivedPoints[0]);
    const QPoint f = ImageToView(s.derivedPoints[1]);
    const QPoint p3 = ImageToView(s.points[3]);
    const QPoint p4 = ImageToView(s.points[4]);
    const QPoint to = variant == CircleFamily::Centre ? c : ImageToView(s.derivedPoints[2]);
    const bool hit = HitTestRing(view, c, GetDistanceI(c, ImageToView(s.points[0]))) ||
                     HitTestLine(view, p3, p4) || HitTestLine(view, f, p4) || HitTestLine(view, f, to);
    return hit ? 3 : 0;
}

void CCLL2C::Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = s.GetUnitRate();
    const int n = s.points.size();
    if (!creating) {
        const int derived = variant == CircleFamily::Centre ? 2 : 3;
        if (n != 6 || s.derivedPoints.size() != derived || s.results.size() != 1)
            return;
        const QPoint c = ImageToView(s.derivedPoints[0]);
        const QPoint foot = ImageToView(s.derivedPoints[1]);
        const QPoint to = variant == CircleFamily::Centre ? c : ImageToView(s.derivedPoints[2]);
        const QPoint p4 = ImageToView(s.points[4]);
        k.line(ImageToView(s.points[3]), p4);
        k.line(to, foot);
        k.line(foot, p4);
        k.circle(c, GetDistanceI(c, ImageToView(s.points[0])));
        k.label(s, s.points[5], Text(s, variant, s.results[0] * rate));
        for (int i = 0; i < 5; ++i)
            handles.points << ImageToView(s.points[i]);
        handles.points << c << foot;
        if (variant != CircleFamily::Centre)
            handles.points << to;
        return;
    }
    if (n == 0)
        return;
    const QPoint m = ImageToView(s.curPoint);
    handles.points << ImageToView(s.points[0]);
    if (n >= 2)
        handles.points << ImageToView(s.points[1]);
    if (n < 2 || (n == 2 && IsNearPoint(m, handles.points[1])))
        return;
    const ThreePointCircle circle =
        ThreePointCircle::Through(s.points[0], s.points[1], n >= 3 ? s.points[2] : s.curPoint);
    if (!circle.valid)
        return;
    const QPoint c = ImageToView(circle.centre);
    k.circle(c, GetDistanceI(c, handles.points[0]));
    if (n < 3)
        return;
    handles.points << ImageToView(s.points[2]) << c;
    if (n < 4)
        return;
    const QPoint p3 = ImageToView(s.points[3]);
    handles.points << p3;
    if (n == 4 && IsNearPoint(m, p3))
        return;
    const QPointF end = n >= 5 ? s.points[4] : s.curPoint;
    const QPointF foot = GetFootPoint(circle.centre, s.points[3], end);
    QPointF to = circle.centre;
    if (variant != CircleFamily::Centre) {
        if (GetDistance(foot, circle.centre) < 0.0001)
            return;
        to = CircleFamily::RimPoint(variant, foot, circle.centre, GetDistance(circle.centre, s.points[0]));
        handles.points << ImageToView(to);
    }
    const QPoint vf = ImageToView(foot);
    const QPoint ve = ImageToView(end);
    k.line(vf, ImageToView(to));
    if (n >= 5)
        handles.points << ve;
    k.line(p3, ve);
    k.line(vf, ve);
    k.label(s, s.curPoint, Text(s, variant, GetDistance(to, foot) * rate), false);
}

bool CCLL2C::Set(CCLBaseObject& s, int variant, int part, double value) {
    if (!ShapeEdit::Accepts(s.IsFinished(), !s.results.isEmpty() && s.derivedPoints.size() >= 2, part == 0,
                            value))
        return false;
    const QPointF c = s.derivedPoints[0];
    const QPointF foot = s.derivedPoints[1];
    const double r = GetDistance(c, s.points[0]);
    const double d = GetDistance(c, foot);
    double target = value;
    if (variant == CircleFamily::Nearest)
        target = r + value;
    else if (variant == CircleFamily::Farthest)
        target = value - r;
    if (variant == CircleFamily::Farthest && target < 0.0001)
        return false;
    QPointF moved;
    if (d > 0.001) {
        moved = c + (foot - c) * (target / d);
    } else {
        // A line through the centre: move it across itself, not along.
        const QPointF along = NormalizeVector(s.points[4] - s.points[3]);
        moved = c + (GetVectorLength(along) > 0.5 ? RotateLeft90(along) : QPointF(1, 0)) * target;
    }
    const QPointF shift = moved - foot;
    s.points[3] += shift;
    s.points[4] += shift;
    s.CalcResult();
    return true;
}

void CCLL2C::Name(CCLBaseObject& s, int lang) {
    s.language = lang;
    s.name = ShapeText::Pick(lang, QStringLiteral("线心距"), QStringLiteral("L2C"), QStringLiteral("線心距"));
}

void CCLL2C::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 6 || derivedPoints.isEmpty())
        return;
    const QPointF c = derivedPoints[0];
    out << FlipImageY(points[0]) << FlipImageY(2 * c - points[0]) << FlipImageY(points[3])
        << FlipImageY(points[4]);
}
