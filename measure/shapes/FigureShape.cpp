#include "measure/shapes/FigureShape.h"

void FigureShape::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch k(rects, penWidth);
    sketch(k, true);
}

void FigureShape::CollectObjRects(QList<QRect>& rects) {
    ShapeSketch k(rects, penWidth);
    sketch(k, false);
}

void FigureShape::DrawObj(QPainter* painter, bool withLabel) {
    ShapeSketch k(painter);
    if (!withLabel)
        k.hideLabels();
    sketch(k, false);
}

void FigureShape::DrawCreating(QPainter* painter) {
    ShapeSketch k(painter);
    sketch(k, true);
}

void FigureShape::AddPoint(const QPointF& point) {
    UpdateObj();
    points.append(point);
    curPoint = point;
    UpdateObj();
}

void FigureShape::MoveCurPoint(const QPointF& point) {
    UpdateObj();
    curPoint = point;
    UpdateObj();
}

bool FigureShape::FinishWithAnchor(CCLBaseObject& shape, int clicks) {
    if (shape.points.size() == clicks + 1)
        return true;
    if (shape.points.size() != clicks)
        return false;
    shape.points.append(shape.points.last());
    return true;
}
