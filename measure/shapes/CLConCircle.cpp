#include "measure/shapes/CLConCircle.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

CLConCircle::CLConCircle() {
    kind = KindConCircle;
    name = QStringLiteral("R");
}

void CLConCircle::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("同心圆"), QStringLiteral("R"), QStringLiteral("同心圓"));
}

int CLConCircle::Reset() {
    CCLBaseObject::Reset();
    finished = false;
    count = 0;
    return 0;
}

void CLConCircle::finish(int pointsBefore) {
    finished = true;
    count = pointsBefore;
    points.append(points[0]);
    UpdateObj();
}

bool CLConCircle::IsFinished() {
    const int n = points.size();
    if (n < 2)
        return false;
    if (finished)
        return true;
    if (n < 21) {
        if (n % 2 == 0) {
            points.append(points.last());
            if (points.size() == 21) {
                finish(20);
                return true;
            }
        }
        return false;
    }
    finish(n - 1);
    return true;
}

bool CLConCircle::FinishMulti() {
    const int n = points.size();
    if (n < 3)
        return false;
    if (n % 2 == 0)
        points.removeLast();
    finish(n - 1);
    return true;
}

bool CLConCircle::IsVertexValid(int i) {
    return i >= 0 && i < points.size() - 1 && (i < 2 || i % 2 == 1);
}

void CLConCircle::CalcResult() {
    if (!finished || points.size() % 2 == 1)
        return;
    derivedPoints.clear();
    results.clear();
    std::remove_reference_t<decltype(results)> radii;
    for (int i = 1; i < points.size() - 1; i += 2)
        radii.append(GetDistance(points[i], points[0]));
    decltype(radii)::value_type mn = 0, mx = 0, avg = 0;
    if (!ShapeStats::MinMaxAvg(radii, mn, mx, avg))
        return;
    results = radii;
    results << mn << mx << avg;
}

bool CLConCircle::CalcMinMax(float& minimum, float& maximum, float& average) {
    if (!finished || results.size() < 4)
        return false;
    const int k = results.size();
    minimum = results[k - 3];
    maximum = results[k - 2];
    average = results[k - 1];
    return true;
}

QString CLConCircle::GetItemText(double value, int item) {
    static const char* const tags = "ABCDEFGHIJ";
    if (item < 0 || item > 9)
        return QString();
    return QString("%1%2").arg(QString("R%1%2=%3").arg(labelNumber).arg(QChar(tags[item])).arg(
                                   ShapeText::ValueText(value, numbits)),
                               unit);
}

int CLConCircle::HitTest(const QPoint& view) {
    if (points.size() < 2)
        return 0;
    const QPoint c = ImageToView(points[0]);
    const int last = finished ? points.size() - 1 : points.size();
    for (int i = 1; i < last; i += 2) {
        const QPoint p = ImageToView(points[i]);
        if (HitTestLine(view, c, p) || HitTestRing(view, c, GetDistanceI(c, p)))
            return 3;
    }
    return 0;
}

void CLConCircle::sketchCircle(ShapeSketch& s, const QPointF& on, bool handle) {
    const QPoint c = ImageToView(points[0]), p = ImageToView(on);
    s.line(c, p);
    if (handle)
        s.handle(p);
    s.circle(c, GetDistanceI(c, p));
}

void CLConCircle::sketchObj(ShapeSketch& s) {
    s.handle(ImageToView(points[0]));
    for (int i = 1; i < points.size() - 1; i += 2)
        sketchCircle(s, points[i], true);
}

void CLConCircle::DrawObj(QPainter* painter, bool) {
    if (!finished || results.size() < 4 || points.size() - 2 != 2 * (results.size() - 3))
        return;
    ShapeSketch s(painter);
    sketchObj(s);
}

void CLConCircle::CollectObjRects(QList<QRect>& rects) {
    if (!finished || !count || results.size() < 4 || points.size() - 2 != 2 * (results.size() - 3))
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s);
}

void CLConCircle::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n < 1 || finished)
        return;
    const QPoint c = ImageToView(curPoint);
    s.handle(ImageToView(points[0]));
    if (n == 1 && IsNearPoint(c, ImageToView(points[0])))
        return;
    const double rate = GetUnitRate();
    for (int i = 1; i + 1 < n; i += 2) {
        sketchCircle(s, points[i], true);
        s.label(*this, points[i + 1], GetItemText(GetDistance(points[0], points[i]) * rate, (i - 1) / 2), false);
    }
    if (n % 2 == 1 && n > 1 && IsNearPoint(c, ImageToView(points.last())))
        return;
    const QPointF live = n % 2 == 1 ? curPoint : points.last();
    sketchCircle(s, live, false);
    s.label(*this, curPoint, GetItemText(GetDistance(points[0], live) * rate, n / 2), false);
}

void CLConCircle::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLConCircle::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLConCircle::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLConCircle::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLConCircle::SetValue(int part, float value) {
    const int circles = results.size() - 3;
    if (!ShapeEdit::Accepts(finished, circles > 0 && part < circles, part >= 0, value) ||
        points.size() < 2 * part + 3)
        return false;
    // A radius point on the centre goes to (c.x + value, c.y), so the typed
    // radius is always reached.
    points[2 * part + 1] = ShapeEdit::ScaleAbout(points[0], points[2 * part + 1], value, results[part]);
    CalcResult();
    return true;
}

void CLConCircle::CollectKeyPoints(QList<QPointF>& out) {
    if (!finished)
        return;
    out.append(FlipImageY(points[0]));
    for (int i = 1; i < points.size() - 1; i += 2)
        out.append(FlipImageY(points[i]));
}
