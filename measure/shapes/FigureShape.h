#pragma once

#include "measure/engine/CCLBaseObject.h"
#include "measure/shapes/ShapeSketch.h"

// A shape that describes what it paints once, as a sketch (finished, or in
// its creating state), and runs it both to paint and to collect its repaint
// areas and the repaints of creation: what is painted is always inside what
// is repainted.
class FigureShape : public CCLBaseObject {
public:
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    // Repaints the old creating picture, takes the point, repaints the new.
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;

    // The finish of a fixed-count shape: with `clicks` points a copy of the
    // last is appended as the label anchor; finished with clicks + 1 points.
    static bool FinishWithAnchor(CCLBaseObject& shape, int clicks);

protected:
    virtual void sketch(ShapeSketch& k, bool creating) = 0;
};
