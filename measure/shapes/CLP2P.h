#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// The point-to-point line (kind 1): two clicks, a dimension line with end
// bars and a length label; p2 is the label anchor. `mode` only names it:
// 0 line, 1 depth line ("MD"), anything else width line ("MW"). The only
// shape stored between runs (INI/ECLP2P.ini).
class CLP2P : public CCLBaseObject {
public:
    CLP2P();

    bool IsCreateCanceled() override { return false; }
    bool FinishMulti() override { return false; }
    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
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
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    int GetObjType() override { return 1; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 2; }
    void SetLanguage(int lang) override;

    // "P2P/C" of ./INI/MeasureData.ini: the half length is shown too.
    static bool IsShowHalf();

private:
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
    void guideLines(const QPoint& p0, const QPoint& c, QPointF ends[4]) const;
    static QPoint midpoint(const QPoint& a, const QPoint& b);
};
