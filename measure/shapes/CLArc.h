#pragma once

#include "measure/shapes/FigureShape.h"

// The arc (kind 9): start p0, a point p1 of the arc, end p2 (p3 the label
// anchor). Results: the central angle A in radians, N in degrees, E = 360 -
// N, and the radius and diameter already in the display unit (R x k, D x k,
// recomputed whenever the scale changes). The five label lines are
// switched by "CLArc/A", "N", "E", "R", "D". Three clicks on one line have
// no circle and are refused.
class CLArc : public FigureShape {
public:
    CLArc();

    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    // The five fixed lines from the fields (label hit test).
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    // Part 1, the radius in image pixels; refused while the radius is 0.001
    // px or less (no ray to scale along).
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 5; }
    int GetResultColumn(int j) override;
    int GetEditPart(int column, int) override { return column == ColRadius ? 1 : -1; }
    int GetObjType() override { return 4; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 3; }
    void SetLanguage(int lang) override;

    void CalcArc();
    // Label of the finished arc, by the switches and the label style.
    QString BuildShowText();
    // Label while creating, from the cursor (two points placed) or p2.
    QString GetCreatingText();
    // The finished label's box at the current point (ending a creation).
    void CollectLabelRect(QList<QRect>& rects);

    double A = 0, N = 0, E = 0; // radians, degrees, degrees
    double R = 0, D = 0;        // image pixels

private:
    QString linesText(double a, double n, double e, double r, double d, bool breakAfterD) const;
    void sketch(ShapeSketch& k, bool creating) override;
};
