#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Line-to-line distance (kind 3): p0-p1 the reference line, p2-p3 a second
// segment; the result is the distance from the segment's midpoint m to its
// foot f on the reference line (derived points m, f). p4 is the label anchor.
class CLL2L : public CCLBaseObject {
public:
    CLL2L();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    int GetObjType() override { return 10; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 4; }
    void SetLanguage(int lang) override;

private:
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
};
