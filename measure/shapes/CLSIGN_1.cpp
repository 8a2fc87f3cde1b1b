#include "measure/shapes/CLSIGN_1.h"

#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeSketch.h"

CLSIGN_1::CLSIGN_1() {
    kind = KindSign1;
}

void CLSIGN_1::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
}

void CLSIGN_1::AddPoint(const QPointF& point) {
    points.append(point);
    curPoint = point;
}

int CLSIGN_1::HitTest(const QPoint& view) {
    if (points.size() != 1)
        return 0;
    const QPoint v = ImageToView(points[0]);
    const double dx = v.x() - view.x(), dy = v.y() - view.y();
    return dx * dx + dy * dy <= 25.0 ? 3 : 0;
}

void CLSIGN_1::SketchOutline(ShapeSketch& s, const QPoint& at) {
    s.circle(at, 15);
}

void CLSIGN_1::sketchObj(ShapeSketch& s) {
    const QPoint at = ImageToView(points[0]);
    SketchOutline(s, at);
    s.centredText(QRect(at.x() - 15, at.y() - 15, 30, 30), QString::number(signNumber), 25);
}

void CLSIGN_1::DrawObj(QPainter* painter, bool) {
    if (points.size() != 1)
        return;
    ShapeSketch s(painter);
    sketchObj(s);
}

void CLSIGN_1::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 1)
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s);
}
