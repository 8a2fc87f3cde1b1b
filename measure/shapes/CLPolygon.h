#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Polygon (kind 17): vertices clicked one by one, closed by a second click
// within 5 view pixels of the previous one; that click stays as the label
// anchor after the `count` vertices. Results: perimeter and the shoelace
// area. The lasso and the polyline share its outline, creation and picture.
class CLPolygon : public CCLBaseObject {
public:
    CLPolygon();

    int Reset() override;
    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    void CalcResult() override;
    // The area label (tag AR, unit squared); the polyline's length label.
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    bool SetValue(int, double) override { return false; }
    int GetValuesPerRow() override { return closedOutline ? 2 : 1; }
    int GetResultColumn(int j) override;
    int GetEditPart(int, int) override { return -1; }
    int GetObjType() override { return 15; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() >= 4 && count >= 1 && !finished; }
    void SetLanguage(int lang) override;

    bool finished = false;
    int count = 0; // vertices, once finished

protected:
    // The polyline leaves the outline open and measures its length.
    bool closedOutline = true;
    // Points needed before a double click ends the outline.
    int minPoints = 4;

private:
    // Value of the label: the area (polygon) or the length (polyline).
    double labelValue() const;
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
};
