#include "measure/shapes/CCLCircle.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/CCLCircle_M.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ThreePointCircle.h"

CCLCircle::CCLCircle() {
    kind = KindCircle;
    name = QStringLiteral("R");
}

bool CCLCircle::IsFinished() {
    return FinishWithAnchor(*this, 3);
}

bool CCLCircle::IsAddPointValid(const QPointF& point, int) {
    return points.size() > 2 || ThreePointCircle::CanAdd(points, 0, point);
}

bool CCLCircle::IsMovePointValid(const QPointF& point, int index) {
    return ThreePointCircle::KeepsCircle(points, 0, index, point);
}

void CCLCircle::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    CCLCircle_M::AppendCircle(*this, points[0], points[1], points[2]);
}

QString CCLCircle::GetShowText(double value, bool) {
    return CCLCircle_M::RadiusText(*this, value);
}

int CCLCircle::GetResultColumn(int j) {
    return CCLCircle_M::CircleColumn(j);
}

bool CCLCircle::SetValue(int part, double value) {
    return CCLCircle_M::SetFirstRadius(*this, part, value);
}

int CCLCircle::HitTest(const QPoint& view) {
    if (derivedPoints.size() != 1 || points.size() < 3)
        return 0;
    const QPoint c = ImageToView(derivedPoints[0]);
    return HitTestRing(view, c, GetDistanceI(c, ImageToView(points[0]))) ? 3 : 0;
}

void CCLCircle::sketch(ShapeSketch& k, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = GetUnitRate();
    const int n = points.size();
    if (!creating) {
        if (n != 4 || derivedPoints.size() != 1 || results.size() != 3)
            return;
        const QPoint c = ImageToView(derivedPoints[0]);
        const QPoint p0 = ImageToView(points[0]);
        k.circle(c, GetDistanceI(c, p0));
        k.label(*this, points[3], GetShowText(results[0] * rate));
        handles.points << p0 << ImageToView(points[1]) << ImageToView(points[2]) << c;
        return;
    }
    const QPoint m = ImageToView(curPoint);
    for (int i = 0; i < n && i < 3; ++i)
        handles.points << ImageToView(points[i]);
    if (n == 2) {
        const QPoint p0 = ImageToView(points[0]);
        const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], curPoint);
        if (IsNearPoint(m, p0) || IsNearPoint(m, ImageToView(points[1])) || !circle.valid)
            return;
        const QPoint c = ImageToView(circle.centre);
        k.circle(c, GetDistanceI(c, p0));
        k.label(*this, curPoint, GetShowText(circle.radius * rate), false);
    } else if (n == 3) {
        const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], points[2]);
        if (!circle.valid)
            return;
        const QPoint c = ImageToView(circle.centre);
        k.circle(c, GetDistanceI(c, ImageToView(points[0])));
        k.label(*this, curPoint, GetShowText(GetDistance(circle.centre, points[0]) * rate), false);
    }
}

void CCLCircle::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 4 || derivedPoints.isEmpty())
        return;
    out.append(FlipImageY(derivedPoints[0]));
    out.append(FlipImageY(points[0]));
}

void CCLCircle::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("圆"), QStringLiteral("Circle"), QStringLiteral("圓"));
}
