#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Point-to-line distance (kind 2): p0-p1 give the (unbounded) line, p2 the
// point; the result is the distance from p2 to its foot f (the derived
// point). p3 is the label anchor. The foot must lie inside the picture.
class CLP2L : public CCLBaseObject {
public:
    CLP2L();

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
    int GetObjType() override { return 11; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 3; }
    void SetLanguage(int lang) override;

    // The end of a-b nearer to the foot f (a on a tie): where the line is
    // extended to reach the foot.
    static QPointF NearerEnd(const QPointF& a, const QPointF& b, const QPointF& f);

private:
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
};
