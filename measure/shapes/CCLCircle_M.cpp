#include "measure/shapes/CCLCircle_M.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ThreePointCircle.h"

#include <algorithm>
#include <cmath>

CCLCircle_M::CCLCircle_M() {
    kind = KindCircleM;
    name = QStringLiteral("C_M");
}

void CCLCircle_M::AppendCircle(CCLBaseObject& shape, const QPointF& a, const QPointF& b, const QPointF& c) {
    const ThreePointCircle circle = ThreePointCircle::Through(a, b, c);
    if (!circle.valid)
        return;
    const double r = circle.radius;
    shape.derivedPoints.append(circle.centre);
    shape.results << r << 2.0 * r * M_PI << r * r * M_PI;
}

int CCLCircle_M::CircleColumn(int j) {
    switch (j) {
    case 0:
        return ColRadius;
    case 1:
        return ColGirth;
    case 2:
        return ColArea;
    default:
        return -1;
    }
}

bool CCLCircle_M::SetFirstRadius(CCLBaseObject& shape, int part, double value) {
    if (!ShapeEdit::Accepts(shape.IsFinished(), shape.results.size() >= 3 && !shape.derivedPoints.isEmpty(),
                            part == 0, value))
        return false;
    const double old = shape.results[0];
    if (old <= 0.001)
        return false;
    const QPointF c = shape.derivedPoints[0];
    for (int i = 0; i < 3; ++i)
        shape.points[i] = ShapeEdit::ScaleAbout(c, shape.points[i], value, old);
    shape.CalcResult();
    return true;
}

QString CCLCircle_M::RadiusText(const CCLBaseObject& shape, double value, const QString& tail) {
    const bool showR = ShapeLabel::Switch("Circle/R", true);
    const bool showD = ShapeLabel::Switch("Circle/D", true);
    const int style = ShapeText::CurrentStyle();
    QString text;
    if (showR) {
        const QString v = ShapeText::ValueText(value, shape.numbits);
        text += QString("%1%2\n").arg(ShapeText::StyledLine(style, shape.name, shape.labelNumber, "R", v),
                                      shape.unit);
    }
    if (showD) {
        const QString d = ShapeText::ValueText(value + value, shape.numbits);
        QString line;
        if (!showR)
            line = ShapeText::StyledLine(style, shape.name, shape.labelNumber, "D", d);
        else if (style == 3)
            line = d;
        else if (style == 4)
            line = QString("D%1=%2").arg(shape.labelNumber).arg(d);
        else
            line = QString("D=%1").arg(d);
        text += QString("%1%2").arg(line, shape.unit) + tail;
    }
    return text;
}

bool CCLCircle_M::FinishMulti() {
    // One complete circle is a measurement too: it is kept, not thrown away.
    const int n = points.size();
    if (n < 3)
        return false;
    points.resize(n - n % 3);
    count = n / 3;
    finished = true;
    return true;
}

int CCLCircle_M::Reset() {
    CCLBaseObject::Reset();
    finished = false;
    count = 0;
    return 0;
}

bool CCLCircle_M::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (points.size() != 1) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points[0], point, snapped);
}

bool CCLCircle_M::IsFinished() {
    if (!finished)
        return false;
    if (!points.isEmpty() && points.size() % 3 == 0)
        points.append(points.last());
    return true;
}

bool CCLCircle_M::IsAddPointValid(const QPointF& point, int) {
    const int n = points.size();
    return ThreePointCircle::CanAdd(points, n - n % 3, point);
}

bool CCLCircle_M::IsMovePointValid(const QPointF& point, int index) {
    if (index < 0 || index >= count * 3)
        return true; // the label anchor
    return ThreePointCircle::KeepsCircle(points, index - index % 3, index, point);
}

void CCLCircle_M::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    for (int i = 2; i < count * 3 && i < points.size(); i += 3)
        AppendCircle(*this, points[i - 2], points[i - 1], points[i]);
}

double CCLCircle_M::Roundness() const {
    if (!finished || results.isEmpty())
        return 1.0;
    double smallest = results[0], largest = results[0];
    for (int i = 0; i < results.size(); i += 3) {
        smallest = std::min(smallest, results[i]);
        largest = std::max(largest, results[i]);
    }
    // All circles without size: no ratio to show, and never NaN or inf.
    return largest > 0.0 ? smallest / largest : 0.0;
}

QString CCLCircle_M::GetShowText(double value, bool) {
    return RadiusText(*this, value, QString("\nRD=%1\n").arg(ShapeText::ValueText(Roundness(), numbits)));
}

int CCLCircle_M::HitTestVertex(const QPoint& view, int& index) {
    // Every point answers, the label anchor included.
    return ShapeHit::AnyPoint(points, view, index);
}

int CCLCircle_M::HitTestLabel(const QPoint& view, int& index) {
    if (points.isEmpty())
        return 0;
    index = points.size() - 1;
    if (results.size() < 3)
        return 0;
    const double last = results[results.size() - 3];
    const QRect box = ShapeLabel::Box(*this, points.last(), GetShowText(last * GetUnitRate()));
    return box.contains(view) ? 2 : 0;
}

int CCLCircle_M::HitTest(const QPoint& view) {
    if (derivedPoints.isEmpty() || count < 1 || points.size() < count * 3)
        return 0;
    const QPoint c = ImageToView(derivedPoints.last());
    return HitTestRing(view, c, GetDistanceI(c, ImageToView(points[count * 3 - 2]))) ? 3 : 0;
}

// The last circle (finished), or the group in progress (creating).
void CCLCircle_M::sketch(ShapeSketch& k, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const double rate = GetUnitRate();
    if (!creating) {
        if (!finished || derivedPoints.isEmpty() || results.size() < 3 || points.size() < count * 3 + 1)
            return;
        const int first = count * 3 - 3;
        const QPoint c = ImageToView(derivedPoints.last());
        const QPoint q0 = ImageToView(points[first]);
        k.circle(c, GetDistanceI(c, q0));
        k.label(*this, points.last(), GetShowText(results[results.size() - 3] * rate));
        handles.points << q0 << ImageToView(points[first + 1]) << ImageToView(points[first + 2]) << c;
        return;
    }
    const int n = points.size();
    if (n == 0)
        return;
    const int inGroup = n % 3;
    const QPoint m = ImageToView(curPoint);
    if (inGroup == 1) {
        handles.points << ImageToView(points[n - 1]);
    } else if (inGroup == 2) {
        const QPoint a = ImageToView(points[n - 2]);
        const QPoint b = ImageToView(points[n - 1]);
        handles.points << a << b;
        const ThreePointCircle circle = ThreePointCircle::Through(points[n - 2], points[n - 1], curPoint);
        if (!IsNearPoint(m, a) && !IsNearPoint(m, b) && circle.valid) {
            const QPoint c = ImageToView(circle.centre);
            k.circle(c, GetDistanceI(c, a));
            k.label(*this, curPoint, GetShowText(circle.radius * rate), false);
        }
    } else {
        const ThreePointCircle circle =
            ThreePointCircle::Through(points[n - 3], points[n - 2], points[n - 1]);
        for (int i = n - 3; i < n; ++i)
            handles.points << ImageToView(points[i]);
        if (circle.valid) {
            const QPoint c = ImageToView(circle.centre);
            k.circle(c, GetDistanceI(c, ImageToView(points[n - 3])));
            k.label(*this, points[n - 1], GetShowText(circle.radius * rate), false);
        }
    }
}

void CCLCircle_M::CollectKeyPoints(QList<QPointF>& out) {
    if (!IsFinished() || derivedPoints.isEmpty() || count < 1)
        return;
    out.append(FlipImageY(derivedPoints.last()));
    out.append(FlipImageY(points[count * 3 - 3]));
}

void CCLCircle_M::SetLanguage(int lang) {
    language = lang;
    name = lang == 1 ? QStringLiteral("M_Circle") : QStringLiteral("真圆比");
}
