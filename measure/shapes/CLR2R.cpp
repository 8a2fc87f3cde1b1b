#include "measure/shapes/CLR2R.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ThreePointCircle.h"

#include <cmath>

CLR2R::CLR2R() {
    kind = KindR2R;
    name = QStringLiteral("L");
}

bool CLR2R::IsFinished() {
    return FinishWithAnchor(*this, 4);
}

bool CLR2R::IsAddPointValid(const QPointF& point, int) {
    return points.size() > 2 || ThreePointCircle::CanAdd(points, 0, point);
}

bool CLR2R::IsMovePointValid(const QPointF& point, int index) {
    return ThreePointCircle::KeepsCircle(points, 0, index, point);
}

void CLR2R::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], points[2]);
    if (!circle.valid)
        return;
    const QPointF c = circle.centre;
    const double r1 = GetDistance(c, points[0]);
    const double r2 = GetDistance(c, points[3]);
    derivedPoints << c << QPointF(c.x() + r1, c.y()) << QPointF(c.x() + r2, c.y());
    results.append(std::fabs(r1 - r2));
}

QString CLR2R::GetShowText(double value, bool) {
    return ShapeText::SingleLabel(ShapeText::CurrentStyle(), name, labelNumber, "L",
                                  ShapeText::ValueText(value, numbits), unit);
}

bool CLR2R::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), !results.isEmpty() && !derivedPoints.isEmpty(), part == 0, value))
        return false;
    const QPointF c = derivedPoints[0];
    const double r1 = GetDistance(c, points[0]);
    const double r2 = GetDistance(c, points[3]);
    const bool inside = r1 > r2;
    const double current = inside ? r1 - results[0] : r1 + results[0];
    if (inside && value > r1) {
        points[3] = QPointF(c.x() + r1 + value, c.y());
    } else if (current > 0.001) {
        const double target = inside ? r1 - value : r1 + value;
        points[3] = c + (points[3] - c) * (target / current);
    } else {
        points[3] = QPointF(c.x() + r1 + value, c.y());
    }
    CalcResult();
    return true;
}

int CLR2R::HitTest(const QPoint& view) {
    if (points.size() < 4)
        return 0;
    const QPoint v0 = ImageToView(points[0]);
    const QPoint c = GetCircleCenterI(v0, ImageToView(points[1]), ImageToView(points[2]));
    if (HitTestRing(view, c, GetDistanceI(c, v0)))
        return 3;
    return HitTestRing(view, c, GetDistanceI(c, ImageToView(points[3]))) ? 3 : 0;
}

void CLR2R::sketch(ShapeSketch& k, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = GetUnitRate();
    const int n = points.size();
    if (!creating) {
        if (n != 5 || derivedPoints.size() != 3 || results.size() != 1)
            return;
        const QPoint c = ImageToView(derivedPoints[0]);
        const QPoint e1 = ImageToView(derivedPoints[1]);
        const QPoint e2 = ImageToView(derivedPoints[2]);
        k.circle(c, GetDistanceI(c, ImageToView(points[0])));
        k.circle(c, GetDistanceI(c, ImageToView(points[3])));
        k.line(e1, e2);
        k.label(*this, points[4], GetShowText(results[0] * rate));
        for (int i = 0; i < 4; ++i)
            handles.points << ImageToView(points[i]);
        handles.points << c << e2 << e1;
        return;
    }
    const QPoint m = ImageToView(curPoint);
    for (int i = 0; i < n && i < 4; ++i)
        handles.points << ImageToView(points[i]);
    if (n == 2) {
        if (IsNearPoint(m, ImageToView(points[1])))
            return;
        const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], curPoint);
        if (circle.valid) {
            const QPoint c = ImageToView(circle.centre);
            k.circle(c, GetDistanceI(c, ImageToView(points[0])));
        }
    } else if (n >= 3) {
        const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], points[2]);
        if (!circle.valid)
            return;
        const QPoint c = ImageToView(circle.centre);
        k.circle(c, GetDistanceI(c, ImageToView(points[0])));
        if (n == 3 && IsNearPoint(m, ImageToView(points[2])))
            return;
        const QPointF ring = n == 3 ? curPoint : points[3];
        const double r1 = GetDistance(circle.centre, points[0]);
        const double r2 = GetDistance(circle.centre, ring);
        k.circle(c, GetDistanceI(c, ImageToView(ring)));
        k.line(ImageToView(QPointF(circle.centre.x() + r1, circle.centre.y())),
               ImageToView(QPointF(circle.centre.x() + r2, circle.centre.y())));
        k.label(*this, curPoint, GetShowText(std::fabs(r1 - r2) * rate), false);
    }
}

void CLR2R::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 5 || derivedPoints.isEmpty())
        return;
    out << FlipImageY(derivedPoints[0]) << FlipImageY(points[0]) << FlipImageY(points[3]);
}

void CLR2R::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("圆边距"), QStringLiteral("R2R"), QStringLiteral("圓邊距"));
}
