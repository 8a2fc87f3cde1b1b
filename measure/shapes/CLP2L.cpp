#include "measure/shapes/CLP2L.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

CLP2L::CLP2L() {
    kind = KindP2L;
    name = QStringLiteral("L");
}

void CLP2L::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("点线距"), QStringLiteral("P2L"), QStringLiteral("點線距"));
}

bool CLP2L::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (points.size() != 1) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points[0], point, snapped);
}

bool CLP2L::IsFinished() {
    return ShapeCreate::FinishFixed(points, 3);
}

bool CLP2L::IsAddPointValid(const QPointF& point, int) {
    if (points.size() != 2)
        return true;
    return ShapeGeom::InsideImage(GetFootPoint(point, points[0], points[1]));
}

bool CLP2L::IsMovePointValid(const QPointF& point, int index) {
    if (index == 3)
        return true;
    if (index < 0 || index > 3 || points.size() < 3)
        return false;
    QPointF q[3] = {points[0], points[1], points[2]};
    q[index] = point;
    return ShapeGeom::InsideImage(GetFootPoint(q[2], q[0], q[1]));
}

void CLP2L::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    const QPointF f = GetFootPoint(points[2], points[0], points[1]);
    derivedPoints.append(f);
    results.append(GetDistance(f, points[2]));
}

QString CLP2L::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    return ShapeText::SingleLabel(ShapeText::CurrentStyle(), name, labelNumber, "L",
                                  ShapeText::ValueText(value, numbits), unit);
}

QPointF CLP2L::NearerEnd(const QPointF& a, const QPointF& b, const QPointF& f) {
    return GetDistance(a, f) > GetDistance(b, f) ? b : a;
}

int CLP2L::HitTest(const QPoint& view) {
    if (points.size() < 3 || derivedPoints.isEmpty())
        return 0;
    const QPoint f = ImageToView(derivedPoints[0]);
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])) ||
                   HitTestLine(view, f, ImageToView(points[2]))
               ? 3
               : 0;
}

void CLP2L::sketchObj(ShapeSketch& s, bool withLabel) {
    const QPointF& f = derivedPoints[0];
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]), v2 = ImageToView(points[2]);
    const QPoint vf = ImageToView(f);
    s.line(v0, v1);
    s.line(ImageToView(NearerEnd(points[0], points[1], f)), vf);
    s.line(vf, v2);
    if (withLabel)
        s.label(*this, points[3], GetShowText(results[0] * GetUnitRate()));
    s.handle(v0);
    s.handle(v1);
    s.handle(v2);
    s.handle(vf);
}

void CLP2L::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || derivedPoints.size() != 1 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLP2L::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 4 || derivedPoints.size() != 1 || results.isEmpty())
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLP2L::sketchCreating(ShapeSketch& s) {
    const QPoint c = ImageToView(curPoint);
    if (points.size() == 1) {
        const QPoint v0 = ImageToView(points[0]);
        if (!IsNearPoint(c, v0)) {
            s.line(v0, c);
            s.extendedLine(v0, c);
        }
        s.handle(v0);
    } else if (points.size() == 2) {
        const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
        s.line(v0, v1);
        if (!IsNearPoint(c, v0) && !IsNearPoint(c, v1)) {
            const QPointF f = GetFootPoint(curPoint, points[0], points[1]);
            const QPoint vf = ImageToView(f);
            s.line(ImageToView(NearerEnd(points[0], points[1], f)), vf);
            s.line(vf, c);
            s.extendedLine(vf, c);
            s.label(*this, curPoint, GetShowText(GetDistance(f, curPoint) * GetUnitRate()), false);
        }
        s.handle(v0);
        s.handle(v1);
    }
}

void CLP2L::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLP2L::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLP2L::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLP2L::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLP2L::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), !results.isEmpty() && !derivedPoints.isEmpty(), part == 0, value))
        return false;
    // A point on the line leaves it along the line's normal, so the new
    // distance is the typed one whatever the line's direction.
    points[2] = ShapeGeom::AtDistance(derivedPoints[0], points[2], points[0], points[1], value, results[0]);
    CalcResult();
    return true;
}

void CLP2L::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 4)
        return;
    for (int i = 0; i < 3; ++i)
        out.append(FlipImageY(points[i]));
}
