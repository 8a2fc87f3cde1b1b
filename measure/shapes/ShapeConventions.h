#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

class CCLBaseObject;
class QPainter;

// What every shape class shares: value texts, the label formats of the five
// label styles, item labels and the statistics block of the multi-item
// shapes, the label switches of ./INI/MeasureData.ini, label placement and
// painting, and the typed-value rule.

namespace ShapeText {

// The label style in force, 0..4; a style outside that range (a hand-edited
// MeasureSet.ini) is clamped so that labels never come out empty.
int CurrentStyle();
int ClampStyle(int style);

// Language 0 simplified Chinese, 1 English, anything else traditional Chinese.
QString Pick(int language, const QString& zh, const QString& en, const QString& tw);

// Fixed point with exactly `numbits` decimals, no grouping.
QString ValueText(double value, int numbits);

// A one-value label line without the unit, by style:
// 0 "<name><number>:<tag>=<v>", 1 "<number>:<tag>=<v>", 2 "<tag>=<v>",
// 3 "<v>", 4 "<tag><number>=<v>".
QString StyledLine(int style, const QString& name, int number, const QString& tag, const QString& valueText);
// StyledLine followed by the unit.
QString SingleLabel(int style, const QString& name, int number, const QString& tag, const QString& valueText,
                    const QString& unit);
// Item label of the multi-point-to-line shape (items 0..9 tagged "A".."J";
// others empty): styles 0, 1, 4 "L<number><tag>=<v>", 2 "<tag>=<v>", 3 "<v>";
// then the unit.
QString ItemText(int style, int number, int item, const QString& valueText, const QString& unit);
// Min / Max / Avg block (values already as texts).
QString StatText(int style, const QString& name, int number, const QString& minText, const QString& maxText,
                 const QString& avgText, const QString& unit);

} // namespace ShapeText

namespace ShapeStats {
// Minimum, maximum and average of the values; false when there are none.
bool MinMaxAvg(const QList<double>& values, double& minimum, double& maximum, double& average);
} // namespace ShapeStats

namespace ShapeLabel {
// A boolean switch of ./INI/MeasureData.ini (working directory), read afresh
// on every call; a missing file or key gives the default.
bool Switch(const QString& key, bool fallback);
// The label box: its size measured for the text, top-left at the anchor
// (image point) moved inside the view.
QRect Box(CCLBaseObject& shape, const QPointF& anchor, const QString& text);
// Paints the text right-aligned in the box with the shape's label colour;
// the painter's pen is restored.
void Draw(QPainter* painter, const CCLBaseObject& shape, const QRect& box, const QString& text);
} // namespace ShapeLabel

namespace ShapeEdit {
// The common acceptance of a typed value: finished, results present, a part
// the shape offers, and value >= 0.0001.
bool Accepts(bool finished, bool hasResults, bool partOffered, double value);
// Moves `point` about `anchor` so that the old length becomes `value`:
// anchor + (point - anchor) x value / old, in double precision so that the
// new length reads back as typed; with old <= 0.001 the point goes to
// (anchor.x + value, anchor.y).
QPointF ScaleAbout(const QPointF& anchor, const QPointF& point, double value, double old);
} // namespace ShapeEdit

namespace ShapeSnap {
// The snapping rule (only while `snapMode` is on): with `reference` placed,
// a candidate within the snap distance of its vertical or horizontal is
// moved onto it. False (and the candidate unchanged) otherwise.
bool ToReference(const QPointF& reference, const QPointF& candidate, QPointF& snapped);
} // namespace ShapeSnap

namespace ShapeHit {
// 1 with the index of the first of all the points (label anchors included)
// within 5 view px of the mouse, else 0 and -1.
int AnyPoint(const QVector<QPointF>& points, const QPoint& view, int& index);
} // namespace ShapeHit

namespace ShapeCreate {
// A press (append) or a move while the shape is created: a copy repaints
// what the shape showed, the point becomes the current point, and the shape
// repaints what it shows now.
template <class T> void Track(T& shape, const QPointF& point, bool append) {
    T before;
    before = shape;
    before.UpdateObj();
    if (append)
        shape.points.append(point);
    shape.curPoint = point;
    shape.UpdateObj();
}
// The fixed-count finish: at `clicks` points a copy of the last one is
// appended as the label anchor; finished from then on.
bool FinishFixed(QVector<QPointF>& points, int clicks);
} // namespace ShapeCreate

namespace ShapeGeom {
// Inside the picture: 0 <= x <= width and 0 <= y <= height (sizes truncated).
bool InsideImage(const QPointF& p);
QPointF Midpoint(const QPointF& a, const QPointF& b);
// Unit normal of the line a-b; (1, 0) for coinciding points (the foot
// function then takes the line as vertical).
QPointF UnitNormal(const QPointF& a, const QPointF& b);
// The point at distance `value` from `foot` on the side of `point` (scaled
// from the foot when they are apart, along the line's normal when the point
// lies on the line, so the typed distance is always reached).
QPointF AtDistance(const QPointF& foot, const QPointF& point, const QPointF& a, const QPointF& b, double value,
                   double old);
} // namespace ShapeGeom
