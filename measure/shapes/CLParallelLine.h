#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Parallel lines (kind 14): up to ten item points measured from the base
// line p0-p1, each drawn as a parallel of the base through the point.
// Points: p0, p1, then per item its point and a twin (the anchor of its
// label); on completion a copy of p1 anchors the Min/Max/Avg block.
// Results: one distance per item, then Min, Max, Avg. Derived points per
// item: p - h, p + h and the foot F (h = (p0 - p1) / 2).
//
// The horizontal and vertical variants, the multi-point-to-line shape and
// the concentric circles (one base point, the centre) share the creation,
// the point layout, the statistics, the labels and the typed values; they
// differ in the item's foot, its picture, its hit test and the validity of
// points (the protected hooks).
class CLParallelLine : public CCLBaseObject {
public:
    CLParallelLine();

    bool FinishMulti() override;
    int Reset() override;
    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    bool IsVertexValid(int i) override;
    int HitTestLabel(const QPoint& view, int& index) override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    QString GetShowText(double, bool = false) override { return QString(); }
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    // Part = the item index; the statistics rows are refused.
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int row) override { return column == ColLength ? row : -1; }
    int GetObjType() override { return 12; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() > basePoints && (points.size() - basePoints) % 2 == 1; }
    bool CalcMinMax(double& minimum, double& maximum, double& average) override;
    void SetLanguage(int lang) override;

    // Item label (items 0..9 tagged "A".."J"; others empty).
    virtual QString GetItemText(double value, int item);
    // The Min/Max/Avg block for values already in display units.
    QString GetStatText(double minimum, double maximum, double average);

    bool finished = false;
    int count = 0; // points before the closing anchor, once finished

protected:
    // Points of the base before the items: the base line, or the centre.
    int basePoints = 2;
    // Finished shapes show their item labels and the statistics block.
    bool labelsWhenFinished = true;

    // The foot of an item point on the base line a-b (the stored base
    // unless a moved end is being tried).
    virtual QPointF Foot(const QPointF& p, const QPointF& a, const QPointF& b) const;
    // The item's foot, and whether its picture stays inside the image.
    virtual bool ItemInside(const QPointF& p, const QPointF& a, const QPointF& b) const;
    virtual void AppendDerived(const QPointF& p, const QPointF& foot);
    virtual void SketchBase(ShapeSketch& s, bool creating);
    // A placed item (handles, label drawn by the caller) or the live one.
    virtual void SketchItem(ShapeSketch& s, const QPointF& p, bool live);
    virtual bool HitItem(const QPoint& view, const QPointF& p);
    virtual bool HitBase(const QPoint& view);
    // Two points of the base line whose left normal points away from it the
    // way a typed distance moves an item lying on the base.
    virtual void NormalLine(QPointF& a, QPointF& b) const;
    // A placed point: the variants keep their base line straight.
    virtual QPointF Constrain(const QPointF& p) const { return p; }
    QPointF HalfDirection() const;

private:
    // Finished, with the points its results were computed from.
    bool consistent() const;
    void finish(int pointsBefore);
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
};
