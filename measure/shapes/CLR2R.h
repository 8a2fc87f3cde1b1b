#pragma once

#include "measure/shapes/FigureShape.h"

// Ring distance (kind 7): p0, p1, p2 on a reference circle, p3 on a ring
// about the same centre; the result is the gap |r1 - r2|, drawn on the
// horizontal through the centre from e1 (radius r1) to e2 (radius r2).
// p4 is the label anchor. Derived points: c, e1, e2.
class CLR2R : public FigureShape {
public:
    CLR2R();

    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    int GetObjType() override { return 16; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 4; }
    void SetLanguage(int lang) override;

protected:
    void sketch(ShapeSketch& k, bool creating) override;
};
