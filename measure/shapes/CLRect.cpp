#include "measure/shapes/CLRect.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <cmath>

CLRect::CLRect() {
    kind = KindRect;
    name = QStringLiteral("C");
}

void CLRect::SetLanguage(int lang) {
    language = lang;
    name = lang == 1 ? QStringLiteral("Rect") : QStringLiteral("矩形");
}

bool CLRect::IsFinished() {
    return ShapeCreate::FinishFixed(points, 2);
}

void CLRect::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    const QPointF &p0 = points[0], &p1 = points[1];
    derivedPoints << QPointF(p0.x(), p1.y()) << QPointF(p1.x(), p0.y());
    const double w = std::fabs(p0.x() - p1.x());
    const double h = std::fabs(p0.y() - p1.y());
    results << (h + w) + (h + w) << h * w << w << h;
}

int CLRect::GetResultColumn(int j) {
    static const int columns[4] = {ColGirth, ColArea, ColWidth, ColHeight};
    return j >= 0 && j < 4 ? columns[j] : -1;
}

int CLRect::GetEditPart(int column, int) {
    if (column == ColWidth)
        return 2;
    if (column == ColHeight)
        return 3;
    return -1;
}

QString CLRect::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    return ShapeText::SingleLabel(ShapeText::CurrentStyle(), name, labelNumber, "C",
                                  ShapeText::ValueText(value, numbits), unit);
}

int CLRect::HitTest(const QPoint& view) {
    if (points.size() < 2 || derivedPoints.size() < 2)
        return 0;
    const QPoint a = ImageToView(points[0]), b = ImageToView(points[1]);
    const QPoint d0 = ImageToView(derivedPoints[0]), d1 = ImageToView(derivedPoints[1]);
    return HitTestLine(view, a, d0) || HitTestLine(view, a, d1) || HitTestLine(view, b, d0) ||
                   HitTestLine(view, b, d1)
               ? 3
               : 0;
}

void CLRect::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || derivedPoints.size() != 2 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    const QPoint a = ImageToView(points[0]), b = ImageToView(points[1]);
    s.rectLines(a, b);
    if (withLabel)
        s.label(*this, points[2], GetShowText(results[0] * GetUnitRate()));
    s.handle(a);
    s.handle(b);
}

void CLRect::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 3 || derivedPoints.size() != 2 || results.isEmpty())
        return;
    ShapeSketch s(rects, penWidth);
    const QPoint a = ImageToView(points[0]), b = ImageToView(points[1]);
    s.rectLines(a, b);
    s.label(*this, points[2], GetShowText(results[0] * GetUnitRate()));
    s.handle(a);
    s.handle(b);
}

void CLRect::sketchCreating(ShapeSketch& s) {
    if (points.isEmpty() || points.size() > 2)
        return;
    const QPoint a = ImageToView(points[0]);
    const QPointF corner = points.size() == 2 ? points[1] : curPoint;
    const QPoint b = ImageToView(corner);
    if (points.size() == 1 && IsNearPoint(ImageToView(curPoint), a)) {
        s.handle(a);
        return;
    }
    s.rectLines(a, b);
    const double perimeter = 2.0 * (std::fabs(points[0].y() - corner.y()) + std::fabs(points[0].x() - corner.x()));
    s.label(*this, curPoint, GetShowText(perimeter * GetUnitRate()), false);
    if (points.size() == 2)
        s.handle(a);
}

void CLRect::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLRect::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLRect::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLRect::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLRect::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), results.size() >= 4, part == 2 || part == 3, value))
        return false;
    const double old = results[part];
    const double origin = part == 2 ? points[0].x() : points[0].y();
    const double current = part == 2 ? points[1].x() : points[1].y();
    const double moved = old > 0.0001 ? origin + (current - origin) * (value / old) : origin + value;
    if (part == 2)
        points[1].setX(moved);
    else
        points[1].setY(moved);
    CalcResult();
    return true;
}

void CLRect::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 3)
        return;
    out.append(FlipImageY(points[0]));
    out.append(FlipImageY(points[1]));
}
