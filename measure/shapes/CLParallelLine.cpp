#include "measure/shapes/CLParallelLine.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

CLParallelLine::CLParallelLine() {
    kind = KindParallel;
    name = QStringLiteral("L");
}

void CLParallelLine::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("平行线"), QStringLiteral("Paralle"), QStringLiteral("平行線"));
}

int CLParallelLine::Reset() {
    CCLBaseObject::Reset();
    finished = false;
    count = 0;
    return 0;
}

QPointF CLParallelLine::HalfDirection() const {
    return (points[0] - points[1]) / 2.0;
}

void CLParallelLine::finish(int pointsBefore) {
    finished = true;
    count = pointsBefore;
    points.append(points[basePoints - 1]);
    UpdateObj();
}

bool CLParallelLine::IsFinished() {
    const int n = points.size();
    const int full = basePoints + 20; // ten items with their twins
    if (n <= basePoints)
        return false;
    if (finished)
        return true;
    if (n < full) {
        if ((n - basePoints) % 2 == 1) {
            points.append(points.last()); // the twin: anchor of the item's label
            if (points.size() == full) {
                finish(full - 1);
                return true;
            }
        }
        return false;
    }
    finish(n - 1);
    return true;
}

bool CLParallelLine::FinishMulti() {
    const int n = points.size();
    if (n < basePoints + 2)
        return false;
    if ((n - basePoints) % 2 == 1)
        points.removeLast();
    finish(n - 1);
    return true;
}

bool CLParallelLine::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (kind != KindParallel && kind != KindMulP2L) {
        snapped = point;
        return false;
    }
    if (points.size() != 1) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points[0], point, snapped);
}

bool CLParallelLine::IsVertexValid(int i) {
    return i >= 0 && i < points.size() - 1 && (i < basePoints || (i - basePoints) % 2 == 0);
}

QPointF CLParallelLine::Foot(const QPointF& p, const QPointF& a, const QPointF& b) const {
    return GetFootPoint(p, a, b);
}

bool CLParallelLine::ItemInside(const QPointF& p, const QPointF& a, const QPointF& b) const {
    const QPointF h = (a - b) / 2.0;
    return ShapeGeom::InsideImage(Foot(p, a, b)) && ShapeGeom::InsideImage(p - h) &&
           ShapeGeom::InsideImage(p + h);
}

bool CLParallelLine::IsAddPointValid(const QPointF& point, int) {
    const int n = points.size();
    if (n < 2 || n % 2 == 1)
        return true;
    return ItemInside(point, points[0], points[1]);
}

bool CLParallelLine::IsMovePointValid(const QPointF& point, int index) {
    const int n = points.size();
    if (index < 0 || index >= n)
        return false;
    if (index >= 2) {
        const bool anchor = index % 2 == 1 || (index == n - 1 && kind == KindMulP2L);
        return anchor || ItemInside(point, points[0], points[1]);
    }
    const QPointF a = index == 0 ? point : points[0];
    const QPointF b = index == 1 ? point : points[1];
    for (int i = 2; i + 1 < n; i += 2)
        if (!ItemInside(points[i], a, b))
            return false;
    return true;
}

void CLParallelLine::AppendDerived(const QPointF& p, const QPointF& foot) {
    const QPointF h = HalfDirection();
    derivedPoints << p - h << p + h << foot;
}

void CLParallelLine::CalcResult() {
    if (!finished || (points.size() - basePoints) % 2 == 0)
        return;
    derivedPoints.clear();
    results.clear();
    QList<double> items;
    for (int i = basePoints; i < points.size() - 1; i += 2) {
        const QPointF f = Foot(points[i], points[0], points[basePoints - 1]);
        AppendDerived(points[i], f);
        results.append(GetDistance(f, points[i]));
        items.append(results.last());
    }
    // Min and Max start from the first item, not from the picture's width.
    double mn = 0, mx = 0, avg = 0;
    if (!ShapeStats::MinMaxAvg(items, mn, mx, avg))
        return;
    results << mn << mx << avg;
}

bool CLParallelLine::CalcMinMax(double& minimum, double& maximum, double& average) {
    if (!finished || results.size() < 4)
        return false;
    const int k = results.size();
    minimum = results[k - 3];
    maximum = results[k - 2];
    average = results[k - 1];
    return true;
}

QString CLParallelLine::GetItemText(double value, int item) {
    return ShapeText::ItemText(ShapeText::CurrentStyle(), labelNumber, item, ShapeText::ValueText(value, numbits),
                               unit);
}

QString CLParallelLine::GetStatText(double minimum, double maximum, double average) {
    return ShapeText::StatText(ShapeText::CurrentStyle(), name, labelNumber, ShapeText::ValueText(minimum, numbits),
                               ShapeText::ValueText(maximum, numbits), ShapeText::ValueText(average, numbits),
                               unit);
}

bool CLParallelLine::HitBase(const QPoint& view) {
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1]));
}

bool CLParallelLine::HitItem(const QPoint& view, const QPointF& p) {
    const QPointF h = HalfDirection();
    const QPoint f = ImageToView(Foot(p, points[0], points[1]));
    return HitTestLine(view, ImageToView(p - h), ImageToView(p + h)) || HitTestLine(view, f, ImageToView(points[0])) ||
           HitTestLine(view, f, ImageToView(p));
}

int CLParallelLine::HitTest(const QPoint& view) {
    if (points.size() < basePoints)
        return 0;
    if (HitBase(view))
        return 3;
    const int last = finished ? points.size() - 1 : points.size();
    for (int i = basePoints; i + 1 < last; i += 2)
        if (HitItem(view, points[i]))
            return 3;
    return 0;
}

int CLParallelLine::HitTestLabel(const QPoint& view, int& index) {
    if (!finished || results.size() < 4 || !labelsWhenFinished)
        return 0;
    const double rate = GetUnitRate();
    const int items = results.size() - 3;
    for (int j = 0; j < items && basePoints + 2 * j + 1 < points.size(); ++j) {
        const int twin = basePoints + 2 * j + 1;
        if (ShapeLabel::Box(*this, points[twin], GetItemText(results[j] * rate, j)).contains(view)) {
            index = twin;
            return 2;
        }
    }
    // The block answers only where it is drawn: from two items on.
    if (items >= 2) {
        const QRect box = ShapeLabel::Box(
            *this, points.last(), GetStatText(results[items] * rate, results[items + 1] * rate, results[items + 2] * rate));
        if (box.contains(view)) {
            index = points.size() - 1;
            return 2;
        }
    }
    return 0;
}

void CLParallelLine::SketchBase(ShapeSketch& s, bool creating) {
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
    s.line(v0, v1);
    if (creating && kind == KindParallel)
        s.extendedLine(v0, v1);
    s.handle(v0);
    s.handle(v1);
}

void CLParallelLine::SketchItem(ShapeSketch& s, const QPointF& p, bool live) {
    const QPointF h = HalfDirection();
    const QPointF f = Foot(p, points[0], points[1]);
    const QPoint vp = ImageToView(p), vf = ImageToView(f);
    s.line(ImageToView(p - h), ImageToView(p + h));
    if (live) {
        s.extendedLine(ImageToView(p - h), ImageToView(p + h));
    } else {
        s.handle(vp);
        s.handle(vf);
    }
    s.dashLine(vf, vp);
    s.line(vf, ImageToView(points[0]));
}

void CLParallelLine::sketchObj(ShapeSketch& s, bool withLabel) {
    SketchBase(s, false);
    const double rate = GetUnitRate();
    const int items = results.size() - 3;
    withLabel = withLabel && labelsWhenFinished;
    for (int j = 0; j < items; ++j) {
        SketchItem(s, points[basePoints + 2 * j], false);
        if (withLabel)
            s.label(*this, points[basePoints + 2 * j + 1], GetItemText(results[j] * rate, j));
    }
    if (withLabel && items >= 2)
        s.label(*this, points.last(),
                GetStatText(results[items] * rate, results[items + 1] * rate, results[items + 2] * rate));
}

bool CLParallelLine::consistent() const {
    return finished && results.size() >= 4 && points.size() == basePoints + 2 * (results.size() - 3) + 1;
}

void CLParallelLine::DrawObj(QPainter* painter, bool withLabel) {
    if (!consistent())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLParallelLine::CollectObjRects(QList<QRect>& rects) {
    if (!consistent() || !count)
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLParallelLine::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n < 1 || finished)
        return;
    const QPoint c = ImageToView(curPoint);
    if (n < basePoints) {
        const QPoint v0 = ImageToView(points[0]);
        s.handle(v0);
        if (!IsNearPoint(c, v0)) {
            const QPoint end = ImageToView(Constrain(curPoint));
            s.line(v0, end);
            if (kind == KindParallel)
                s.extendedLine(v0, end);
        }
        return;
    }
    SketchBase(s, true);
    if (n == basePoints && IsNearPoint(c, ImageToView(points.last())))
        return;
    const double rate = GetUnitRate();
    for (int i = basePoints; i + 1 < n; i += 2) {
        SketchItem(s, points[i], false);
        const double d = GetDistance(Foot(points[i], points[0], points[basePoints - 1]), points[i]);
        s.label(*this, points[i + 1], GetItemText(d * rate, (i - basePoints) / 2), false);
    }
    const bool pending = (n - basePoints) % 2 == 1; // an item point still without its twin
    if (!pending && n > basePoints && IsNearPoint(c, ImageToView(points.last())))
        return;
    const QPointF q = pending ? points.last() : curPoint;
    SketchItem(s, q, true);
    const double d = GetDistance(Foot(q, points[0], points[basePoints - 1]), q);
    s.label(*this, curPoint, GetItemText(d * rate, (n - basePoints) / 2), false);
}

void CLParallelLine::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLParallelLine::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLParallelLine::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, points.size() == 1 ? Constrain(point) : point, true);
}

void CLParallelLine::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, points.size() == 1 ? Constrain(point) : point, false);
}

void CLParallelLine::NormalLine(QPointF& a, QPointF& b) const {
    a = points[0];
    b = points[1];
}

bool CLParallelLine::SetValue(int part, double value) {
    const int items = results.size() - 3;
    if (!ShapeEdit::Accepts(finished, items > 0 && part < items, part >= 0, value) ||
        points.size() < basePoints + 2 * part + 3)
        return false;
    QPointF& p = points[basePoints + 2 * part];
    QPointF a, b;
    NormalLine(a, b);
    // An item on the base leaves it along the base's normal: the typed
    // distance is always reached.
    p = ShapeGeom::AtDistance(Foot(p, points[0], points[basePoints - 1]), p, a, b, value, results[part]);
    CalcResult();
    return true;
}

void CLParallelLine::CollectKeyPoints(QList<QPointF>& out) {
    if (!finished)
        return;
    for (int i = 0; i < basePoints; ++i)
        out.append(FlipImageY(points[i]));
    for (int i = basePoints; i < points.size() - 1; i += 2)
        out.append(FlipImageY(points[i]));
}
