#pragma once

#include "measure/shapes/FigureShape.h"

// The circle through three outline clicks (kind 11): radius, circumference
// and area; the label shows the radius and / or the diameter as switched by
// "Circle/R" and "Circle/D". p3 is the label anchor. A third click on the
// line of the first two, or a move that puts the three on one line, is
// refused: such points have no circle.
class CCLCircle : public FigureShape {
public:
    CCLCircle();

    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 3; }
    int GetResultColumn(int j) override;
    int GetEditPart(int column, int) override { return column == ColRadius ? 0 : -1; }
    int GetObjType() override { return 5; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 3; }
    void SetLanguage(int lang) override;

protected:
    void sketch(ShapeSketch& k, bool creating) override;
};
