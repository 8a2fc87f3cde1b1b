#include "measure/shapes/CLL2L.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/CLP2L.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

using ShapeGeom::Midpoint;

CLL2L::CLL2L() {
    kind = KindL2L;
    name = QStringLiteral("L");
}

void CLL2L::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("线间距"), QStringLiteral("L2L"), QStringLiteral("線間距"));
}

bool CLL2L::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (points.size() != 1 && points.size() != 3) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points.last(), point, snapped);
}

bool CLL2L::IsFinished() {
    return ShapeCreate::FinishFixed(points, 4);
}

bool CLL2L::IsAddPointValid(const QPointF& point, int) {
    if (points.size() != 3)
        return true;
    return ShapeGeom::InsideImage(GetFootPoint(Midpoint(points[2], point), points[0], points[1]));
}

bool CLL2L::IsMovePointValid(const QPointF& point, int index) {
    if (index == 4)
        return true;
    if (index < 0 || index > 4 || points.size() < 4)
        return false;
    QPointF q[4] = {points[0], points[1], points[2], points[3]};
    q[index] = point;
    if (index < 2)
        return ShapeGeom::InsideImage(GetFootPoint(Midpoint(q[0], q[1]), q[2], q[3]));
    return ShapeGeom::InsideImage(GetFootPoint(Midpoint(q[2], q[3]), q[0], q[1]));
}

void CLL2L::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    const QPointF m = Midpoint(points[2], points[3]);
    const QPointF f = GetFootPoint(m, points[0], points[1]);
    derivedPoints << m << f;
    results.append(GetDistance(f, m));
}

QString CLL2L::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    return ShapeText::SingleLabel(ShapeText::CurrentStyle(), name, labelNumber, "L",
                                  ShapeText::ValueText(value, numbits), unit);
}

int CLL2L::HitTest(const QPoint& view) {
    if (points.size() < 4 || derivedPoints.size() != 2)
        return 0;
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])) ||
                   HitTestLine(view, ImageToView(points[2]), ImageToView(points[3])) ||
                   HitTestLine(view, ImageToView(derivedPoints[0]), ImageToView(derivedPoints[1]))
               ? 3
               : 0;
}

void CLL2L::sketchObj(ShapeSketch& s, bool withLabel) {
    const QPointF& f = derivedPoints[1];
    QPoint v[4];
    for (int i = 0; i < 4; ++i)
        v[i] = ImageToView(points[i]);
    s.line(v[0], v[1]);
    s.line(v[2], v[3]);
    s.line(ImageToView(CLP2L::NearerEnd(points[0], points[1], f)), ImageToView(f));
    s.line(ImageToView(derivedPoints[0]), ImageToView(f));
    if (withLabel)
        s.label(*this, points[4], GetShowText(results[0] * GetUnitRate()));
    for (const QPoint& p : v)
        s.handle(p);
}

void CLL2L::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || derivedPoints.size() != 2 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLL2L::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 5 || derivedPoints.size() != 2 || results.isEmpty())
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLL2L::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n < 1 || n > 3)
        return;
    const QPoint c = ImageToView(curPoint);
    const QPoint v0 = ImageToView(points[0]);
    if (n == 1) {
        if (!IsNearPoint(c, v0)) {
            s.line(v0, c);
            s.extendedLine(v0, c);
        }
        s.handle(v0);
        return;
    }
    const QPoint v1 = ImageToView(points[1]);
    s.line(v0, v1);
    s.extendedLine(v0, v1);
    if (n == 3) {
        const QPoint v2 = ImageToView(points[2]);
        if (!IsNearPoint(c, v2)) {
            const QPointF m = Midpoint(points[2], curPoint);
            const QPointF f = GetFootPoint(m, points[0], points[1]);
            s.line(ImageToView(CLP2L::NearerEnd(points[0], points[1], f)), ImageToView(f));
            s.line(ImageToView(f), ImageToView(m));
            s.line(v2, c);
            s.extendedLine(v2, c);
            s.label(*this, curPoint, GetShowText(GetDistance(f, m) * GetUnitRate()), false);
        }
        s.handle(v2);
    }
    s.handle(v0);
    s.handle(v1);
}

void CLL2L::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLL2L::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLL2L::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLL2L::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLL2L::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), !results.isEmpty() && derivedPoints.size() == 2, part == 0, value))
        return false;
    const QPointF m = derivedPoints[0];
    const QPointF moved = ShapeGeom::AtDistance(derivedPoints[1], m, points[0], points[1], value, results[0]);
    points[2] += moved - m;
    points[3] += moved - m;
    CalcResult();
    return true;
}

void CLL2L::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 5)
        return;
    for (int i = 0; i < 4; ++i)
        out.append(FlipImageY(points[i]));
}
