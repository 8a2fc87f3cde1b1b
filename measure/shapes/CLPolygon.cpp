#include "measure/shapes/CLPolygon.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <cmath>
#include <cstdlib>

CLPolygon::CLPolygon() {
    kind = KindPolygon;
    name = QStringLiteral("AR");
}

void CLPolygon::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("多边形"), QStringLiteral("Polygon"), QStringLiteral("多邊形"));
}

int CLPolygon::Reset() {
    CCLBaseObject::Reset();
    finished = false;
    count = 0;
    return 0;
}

bool CLPolygon::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (kind == KindLasso || count != 0 || points.isEmpty()) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points.last(), point, snapped);
}

bool CLPolygon::IsFinished() {
    const int n = points.size();
    if (n < minPoints)
        return false;
    if (finished)
        return true;
    if (count >= 1 && n > count) {
        finished = true;
        return true;
    }
    const QPoint a = ImageToView(points[n - 2]), b = ImageToView(points[n - 1]);
    if (std::abs(a.x() - b.x()) > 5 || std::abs(a.y() - b.y()) > 5)
        return false;
    count = n - 1;
    finished = true;
    UpdateObj();
    return true;
}

void CLPolygon::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    double length = 0.0;
    for (int i = 0; i + 1 < count; ++i)
        length += GetDistance(points[i], points[i + 1]);
    if (!closedOutline) {
        results.append(length);
        return;
    }
    if (count >= 2)
        length += GetDistance(points[0], points[count - 1]);
    double area = 0.0;
    for (int i = 0; i < count; ++i) {
        const QPointF& a = points[i];
        const QPointF& b = points[(i + 1) % count];
        area += (b.x() - a.x()) * 0.5 * (a.y() + b.y());
    }
    results << length << std::fabs(area);
}

int CLPolygon::GetResultColumn(int j) {
    if (j == 0)
        return ColGirth;
    return j == 1 && closedOutline ? ColArea : -1;
}

QString CLPolygon::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    const QString unitText = closedOutline ? unit + QChar(0x00B2) : unit;
    return ShapeText::SingleLabel(ShapeText::CurrentStyle(), name, labelNumber, closedOutline ? "AR" : "D",
                                  ShapeText::ValueText(value, numbits), unitText);
}

double CLPolygon::labelValue() const {
    const double rate = GetUnitRate();
    return closedOutline ? results[1] * rate * rate : results[0] * rate;
}

int CLPolygon::HitTest(const QPoint& view) {
    if (count == 0 || points.size() < count)
        return 0;
    for (int i = 0; i + 1 < count; ++i)
        if (HitTestLine(view, ImageToView(points[i]), ImageToView(points[i + 1])))
            return 3;
    if (closedOutline && HitTestLine(view, ImageToView(points[count - 1]), ImageToView(points[0])))
        return 3;
    return 0;
}

void CLPolygon::sketchObj(ShapeSketch& s, bool withLabel) {
    for (int i = 0; i + 1 < count; ++i)
        s.line(ImageToView(points[i]), ImageToView(points[i + 1]));
    if (closedOutline)
        s.line(ImageToView(points[count - 1]), ImageToView(points[0]));
    if (withLabel)
        s.label(*this, points.last(), GetShowText(labelValue()));
    for (int i = 0; i < count; ++i)
        s.handle(ImageToView(points[i]));
}

void CLPolygon::DrawObj(QPainter* painter, bool withLabel) {
    if (!finished || count == 0 || points.size() <= count || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLPolygon::CollectObjRects(QList<QRect>& rects) {
    if (!finished || count == 0 || points.size() <= count || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLPolygon::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n == 0)
        return;
    if (finished) {
        for (const QPointF& p : points)
            s.handle(ImageToView(p));
        return;
    }
    const QPoint m = ImageToView(curPoint);
    if (n == 1) {
        const QPoint p0 = ImageToView(points[0]);
        if (IsNearPoint(m, p0))
            s.handle(p0);
        else
            s.line(p0, m);
        return;
    }
    for (int i = 0; i + 1 < n; ++i)
        s.line(ImageToView(points[i]), ImageToView(points[i + 1]));
    s.line(ImageToView(points[n - 1]), m);
    for (const QPointF& p : points)
        s.handle(ImageToView(p));
}

void CLPolygon::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLPolygon::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLPolygon::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLPolygon::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

void CLPolygon::CollectKeyPoints(QList<QPointF>& out) {
    if (!finished)
        return;
    for (int i = 0; i + 1 < points.size(); ++i)
        out.append(FlipImageY(points[i]));
}
