#include "measure/shapes/CLCL2CL.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

using ShapeGeom::Midpoint;

CLCL2CL::CLCL2CL() {
    kind = KindCL2CL;
    name = QStringLiteral("L");
}

void CLCL2CL::SetLanguage(int lang) {
    language = lang;
    name = QStringLiteral("L");
}

bool CLCL2CL::SnapPoint(const QPointF& point, QPointF& snapped) {
    snapped = point;
    return false;
}

bool CLCL2CL::IsFinished() {
    return ShapeCreate::FinishFixed(points, 5);
}

QPointF CLCL2CL::halfDirection() const {
    return (points[1] - points[0]) / 2.0;
}

CLCL2CL::CentreLine CLCL2CL::BandA(const QPointF& p0, const QPointF& p1, const QPointF& q) {
    const QPointF h = (p1 - p0) / 2.0;
    CentreLine c;
    c.a = Midpoint(p0, q - h);
    c.b = Midpoint(p1, q + h);
    const QPointF e0 = GetFootPoint(p0, c.a, c.b);
    const QPointF e1 = GetFootPoint(p1, c.a, c.b);
    const QPointF k = GetFootPoint(q, c.a, c.b);
    c.first = GetDistance(e0, k) > GetDistance(e1, k);
    if (c.first) {
        c.from = e0;
        c.to = GetFootPoint(q + h, c.a, c.b);
    } else {
        c.from = GetFootPoint(q - h, c.a, c.b);
        c.to = e1;
    }
    return c;
}

CLCL2CL::CentreLine CLCL2CL::BandB(const QPointF& h, const QPointF& e0, const QPointF& e1) {
    CentreLine c;
    c.a = Midpoint(e0 - h, e1 - h);
    c.b = Midpoint(e0 + h, e1 + h);
    const QPointF g = GetFootPoint(e1, c.a, c.b);
    const QPointF back = GetFootPoint(e0 - h, c.a, c.b);
    const QPointF ahead = GetFootPoint(e0 + h, c.a, c.b);
    c.first = GetDistance(back, g) > GetDistance(ahead, g);
    if (c.first) {
        c.from = back;
        c.to = GetFootPoint(e1 + h, c.a, c.b);
    } else {
        c.from = GetFootPoint(e1 - h, c.a, c.b);
        c.to = ahead;
    }
    return c;
}

void CLCL2CL::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    const CentreLine a = BandA(points[0], points[1], points[2]);
    const CentreLine b = BandB(halfDirection(), points[3], points[4]);
    const QPointF e0 = GetFootPoint(points[0], a.a, a.b);
    const QPointF e1 = GetFootPoint(points[1], a.a, a.b);
    const QPointF g = GetFootPoint(points[4], b.a, b.b);
    const QPointF x = GetFootPoint(g, e0, e1);
    QPointF a0 = a.from, a1 = a.to;
    // Centre line A is stretched to reach the measuring point.
    const double da = GetDistance(a0, x), db = GetDistance(a1, x), dc = GetDistance(a0, a1);
    if (da > db && da > dc)
        a1 = x;
    else if (db > da && db > dc)
        a0 = x;
    derivedPoints << a0 << a1 << b.from << b.to << x << g;
    results.append(GetDistance(x, g));
}

QString CLCL2CL::GetShowText(double value, bool) {
    return QString("%1%2").arg(QString("%1%2:L=%3").arg(name).arg(labelNumber).arg(ShapeText::ValueText(value, numbits)),
                               unit);
}

int CLCL2CL::HitTest(const QPoint& view) {
    if (points.size() < 5 || derivedPoints.size() != 6)
        return 0;
    const QPointF h = halfDirection();
    if (HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])))
        return 3;
    for (int i = 2; i <= 4; ++i)
        if (HitTestLine(view, ImageToView(points[i] - h), ImageToView(points[i] + h)))
            return 3;
    for (int i = 0; i < 6; i += 2)
        if (HitTestLine(view, ImageToView(derivedPoints[i]), ImageToView(derivedPoints[i + 1])))
            return 3;
    return 0;
}

void CLCL2CL::parallel(ShapeSketch& s, const QPointF& through) {
    const QPointF h = halfDirection();
    s.dashLine(ImageToView(through - h), ImageToView(through + h));
}

void CLCL2CL::sketchObj(ShapeSketch& s, bool withLabel) {
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
    s.handle(v0);
    s.handle(v1);
    s.dashLine(v0, v1);
    for (int i = 2; i <= 4; ++i) {
        s.handle(ImageToView(points[i]));
        parallel(s, points[i]);
    }
    QPoint d[6];
    for (int i = 0; i < 6; ++i)
        d[i] = ImageToView(derivedPoints[i]);
    s.line(d[0], d[1]);
    s.line(d[2], d[3]);
    s.dashLine(d[4], d[5]);
    if (withLabel)
        s.label(*this, points[5], GetShowText(results[0] * GetUnitRate()));
}

void CLCL2CL::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || derivedPoints.size() != 6 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLCL2CL::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 6 || derivedPoints.size() != 6 || results.isEmpty())
        return;
    // The label box is placed exactly as it is painted: at the anchor's view
    // position.
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLCL2CL::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n < 1 || n > 4)
        return;
    const QPoint c = ImageToView(curPoint);
    const QPoint v0 = ImageToView(points[0]);
    s.handle(v0);
    if (n == 1) {
        if (!IsNearPoint(c, v0))
            s.dashLine(v0, c);
        return;
    }
    const QPoint v1 = ImageToView(points[1]);
    s.handle(v1);
    s.dashLine(v0, v1);
    if (n == 2 && IsNearPoint(c, v1))
        return;
    const QPointF q = n == 2 ? curPoint : points[2];
    if (n >= 3)
        s.handle(ImageToView(points[2]));
    parallel(s, q);
    const CentreLine a = BandA(points[0], points[1], q);
    s.line(ImageToView(a.from), ImageToView(a.to));
    if (n == 2)
        return;
    if (n == 3) {
        parallel(s, curPoint);
        return;
    }
    if (IsNearPoint(c, ImageToView(points[3])))
        return;
    s.handle(ImageToView(points[3]));
    parallel(s, points[3]);
    parallel(s, curPoint);
    s.handle(c);
    const CentreLine b = BandB(halfDirection(), points[3], curPoint);
    s.line(ImageToView(b.from), ImageToView(b.to));
    const QPointF g = GetFootPoint(curPoint, b.a, b.b);
    const QPointF x = GetFootPoint(g, a.a, a.b);
    const QPointF end = GetFootPoint(b.first ? points[1] : points[0], a.a, a.b);
    s.line(ImageToView(x), ImageToView(end));
    s.dashLine(ImageToView(x), ImageToView(g));
    s.label(*this, curPoint, GetShowText(GetDistance(x, g) * GetUnitRate()), false);
}

void CLCL2CL::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLCL2CL::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLCL2CL::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLCL2CL::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLCL2CL::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), !results.isEmpty() && derivedPoints.size() == 6, part == 0, value))
        return false;
    const QPointF x = derivedPoints[4], g = derivedPoints[5];
    // Coinciding centre lines part along the direction line's normal.
    const QPointF moved = ShapeGeom::AtDistance(x, g, points[0], points[1], value, results[0]);
    points[3] += moved - g;
    points[4] += moved - g;
    CalcResult();
    return true;
}

void CLCL2CL::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 6)
        return;
    for (int i = 0; i < 5; ++i)
        out.append(FlipImageY(points[i]));
}
