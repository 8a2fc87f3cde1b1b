#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Axis-parallel rectangle by two opposite corners (kind 10): perimeter,
// area, width and height; the label shows the perimeter. p2 is the label
// anchor; derived points are the two other corners.
class CLRect : public CCLBaseObject {
public:
    CLRect();

    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    void CalcResult() override;
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    // Part 2 the width, part 3 the height.
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 4; }
    int GetResultColumn(int j) override;
    int GetEditPart(int column, int) override;
    int GetObjType() override { return 2; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 2; }
    void SetLanguage(int lang) override;

private:
    void sketchCreating(ShapeSketch& s);
};
