#include "measure/engine/CCLBaseObject.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

CCLBaseObject::CCLBaseObject() = default;

CCLBaseObject::CCLBaseObject(const CCLBaseObject& other) {
    copyFrom(other);
}

CCLBaseObject& CCLBaseObject::operator=(const CCLBaseObject& other) {
    if (this != &other)
        copyFrom(other);
    return *this;
}

void CCLBaseObject::copyFrom(const CCLBaseObject& other) {
    kind = other.kind;
    color = other.color;
    color2 = other.color2;
    penWidth = other.penWidth;
    fontSize = other.fontSize;
    name = other.name;
    curPoint = other.curPoint;
    cachedLineLength = other.cachedLineLength;
    cachedLabelSize = other.cachedLabelSize;
    points = other.points;
    results = other.results;
    derivedPoints = other.derivedPoints;
    labelNumber = other.labelNumber;
    mode = other.mode;
    language = other.language;
    disrate = other.disrate;
    unitFactor = other.unitFactor;
    unit = other.unit;
    numbits = other.numbits;
    // The group stays the target's own: groups belong to registrations.
}

CCLBaseObject::~CCLBaseObject() = default;

bool CCLBaseObject::IsCreateCanceled() {
    return false;
}

bool CCLBaseObject::FinishMulti() {
    return false;
}

int CCLBaseObject::Reset() {
    points.clear();
    derivedPoints.clear();
    results.clear();
    labelNumber = -1;
    cachedLineLength = -1;
    curPoint = QPointF(0, 0);
    return 0;
}

bool CCLBaseObject::SnapPoint(const QPointF& point, QPointF& snapped) {
    snapped = point;
    return false;
}

bool CCLBaseObject::IsVertexValid(int i) {
    return i >= 0 && i < points.size() - 1;
}

int CCLBaseObject::HitTestLabel(const QPoint& view, int& index) {
    if (points.isEmpty())
        return 0;
    index = points.size() - 1;
    if (results.isEmpty())
        return 0;
    const QString text = GetShowText(results.first() * GetUnitRate(), false);
    const QSize size = GetMultiLineTextSize(text);
    const QRect box = ClampRectToView(ImageToView(points.last()), size);
    // Edges included: QRect::contains with proper = false.
    return box.contains(view) ? 2 : 0;
}

int CCLBaseObject::HitTestVertex(const QPoint& view, int& index) {
    index = -1;
    const int n = points.size();
    if (n < 2)
        return 0;
    for (int i = 0; i <= n - 2; ++i) {
        const QPoint v = ImageToView(points[i]);
        const double dx = v.x() - view.x();
        const double dy = v.y() - view.y();
        if (dx * dx + dy * dy <= 25.0) {
            index = i;
            return 1;
        }
    }
    return 0;
}

void CCLBaseObject::UpdateObj() {
    if (!measureView)
        return;
    QList<QRect> rects;
    CollectCreatingRects(rects);
    UpdateRects(rects);
}

bool CCLBaseObject::IsMovePointValid(const QPointF&, int) {
    return true;
}

bool CCLBaseObject::IsAddPointValid(const QPointF&, int) {
    return true;
}

int CCLBaseObject::GetObjType() {
    return 0;
}

void CCLBaseObject::CollectKeyPoints(QList<QPointF>&) {}

bool CCLBaseObject::CalcMinMax(double&, double&, double&) {
    return false;
}

int CCLBaseObject::GetResultCount() {
    return results.size();
}

double CCLBaseObject::GetUnitRate() const {
    if (unit == QLatin1String("pix"))
        return 1.0;
    return disrate * unitFactor;
}

int CCLBaseObject::GetFamilyCounter() const {
    if (!measureSys)
        return -1;
    return measureSys->shapeContainer()->GetFamilyCount(kind);
}

QSize CCLBaseObject::GetTextSize(const QString& text) {
    if (!measureSys)
        return QSize(0, 0);
    cachedLineLength = -1;
    return measureSys->GetTextSize(text, measureSys->shapeFontSize());
}

QSize CCLBaseObject::GetMultiLineTextSize(const QString& text) {
    const QStringList lines = text.split('\n');
    int longest = 0;
    for (const QString& line : lines)
        longest = std::max(longest, int(line.size()));
    cachedLineLength = longest < 1 ? -1 : longest;
    if (!measureSys)
        return QSize(0, 0);
    cachedLabelSize = measureSys->GetTextSize(text, measureSys->shapeFontSize());
    return cachedLabelSize;
}

void CCLBaseObject::DrawHandles(QPainter* painter) {
    const int n = points.size();
    const int last = IsFinished() ? n - 1 : n;
    for (int i = 0; i < last; ++i)
        DrawPoint(painter, ImageToView(points[i]));
}

int CCLBaseObject::HitTestObj(const QPoint& view, int& index) {
    if (HitTestVertex(view, index))
        return 1;
    if (HitTest(view)) {
        index = -1;
        return 3;
    }
    if (HitTestLabel(view, index)) {
        if (kind == KindText) {
            index = 1;
            return 1;
        }
        index = points.size() - 1;
        return 2;
    }
    index = -1;
    return 0;
}

bool CCLBaseObject::MovePoint(const QPointF& point, int index) {
    if (!IsFinished() || index < 0 || index > points.size() - 1 || !IsMovePointValid(point, index))
        return false;
    QList<QRect> rects;
    CollectObjRects(rects);
    QPointF target = point;
    // The horizontal and vertical parallel lines keep their base line straight.
    if (kind == KindParallelH && points.size() > 1) {
        if (index == 1)
            target.setY(points[0].y());
        else if (index == 0)
            points[1].setY(point.y());
    } else if (kind == KindParallelV && points.size() > 1) {
        if (index == 1)
            target.setX(points[0].x());
        else if (index == 0)
            points[1].setX(point.x());
    }
    points[index] = target;
    CalcResult();
    CollectObjRects(rects);
    UpdateRects(rects);
    return true;
}

bool CCLBaseObject::MoveLabelBy(const QPointF& to, const QPointF& from, int index) {
    if (!IsFinished() || points.isEmpty() || index < 0 || index >= points.size())
        return false;
    QList<QRect> rects;
    CollectObjRects(rects);
    points[index] += to - from;
    CollectObjRects(rects);
    UpdateRects(rects);
    return true;
}

bool CCLBaseObject::MoveBy(const QPointF& from, const QPointF& to) {
    if (!IsFinished())
        return false;
    const QPointF delta = to - from;
    QVector<QPointF> moved;
    moved.reserve(points.size());
    for (const QPointF& p : points)
        moved.append(p + delta);
    QList<QRect> rects;
    CollectObjRects(rects);
    points = moved;
    CalcResult();
    CollectObjRects(rects);
    UpdateRects(rects);
    return true;
}

int CCLBaseObject::GetRowCount() {
    if (kind == KindText)
        return 0;
    const int v = GetValuesPerRow();
    if (v <= 0)
        return 0;
    return GetResultCount() / v;
}

void CCLBaseObject::BuildRows(QList<double>& rows) {
    if (kind == KindText)
        return;
    if (kind == KindConCircle) {
        BuildConCircleRows(rows);
        return;
    }
    const int v = GetValuesPerRow();
    if (v <= 0)
        return;
    const double f = GetUnitRate();
    const int count = GetRowCount();
    for (int r = 0; r < count; ++r) {
        double row[ColumnCount] = {};
        for (int j = 0; j < v; ++j) {
            const int c = GetResultColumn(j);
            if (c < 0 || c >= ColumnCount)
                continue;
            const double x = results.value(r * v + j);
            if (c == ColArea)
                row[c] = x * f * f;
            else if (c == ColAngle || c == ColRadian || c == ColDiameter)
                row[c] = x;
            else if (c == ColRadius && kind == KindArc)
                row[c] = x; // the arc keeps its radius in display units already
            else
                row[c] = x * f;
        }
        if (kind == KindCircle)
            row[ColDiameter] = 2.0 * row[ColRadius];
        for (double value : row)
            rows.append(value);
    }
}

void CCLBaseObject::BuildConCircleRows(QList<double>& rows) {
    const int v = GetValuesPerRow();
    const int n = v > 0 ? GetResultCount() / v : 0;
    if (n < 1)
        return;
    const double f = GetUnitRate();
    for (int i = 0; i < n; ++i) {
        const double r = results.value(i);
        double row[ColumnCount] = {};
        row[ColRadius] = r * f;
        row[ColGirth] = r * 2.0 * M_PI * f;
        row[ColArea] = r * (r * M_PI * f) * f;
        for (double value : row)
            rows.append(value);
    }
}

void CCLBaseObject::BuildRowNames(QList<QString>& names) {
    if (kind == KindText)
        return;
    const int v = GetValuesPerRow();
    if (v <= 0)
        return;
    const int count = results.size() / v;
    for (int r = 0; r < count; ++r)
        names.append(r == 0 ? QString("%1%2").arg(name).arg(labelNumber) : QString());
}
