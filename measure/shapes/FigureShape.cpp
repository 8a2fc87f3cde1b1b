#include "measure/shapes/FigureShape.h"

void FigureShape::DrawObj(QPainter* painter, bool withLabel) {
    ShapeFigure f = figure(false);
    f.hasLabel = f.hasLabel && withLabel;
    f.Paint(painter, *this);
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
