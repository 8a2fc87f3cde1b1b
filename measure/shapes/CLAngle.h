#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// The angle between two lines of two clicks each (kind 8). The lines are
// extended to their intersection X; the result is the angle A (degrees,
// 0..180) between the directions p0->p1 and p2->p3, labelled with its
// supplement B. p4 is the label anchor; derived points X, p0, p2.
class CLAngle : public CCLBaseObject {
public:
    CLAngle();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    int HitTestLabel(const QPoint& view, int& index) override;
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
    bool SetValue(int, double) override { return false; }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColAngle : -1; }
    int GetEditPart(int, int) override { return -1; }
    int GetObjType() override { return 3; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 4; }
    void SetLanguage(int lang) override;

    // Two-line label: A and B = 180 - A, each followed by "°".
    QString GetAngleText(double angle);
    // Unsigned angle in degrees between the directions d1 and d2.
    static double AngleBetween(const QPointF& d1, const QPointF& d2);

private:
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
    // The sector at X from direction a0->a1 to direction b0->b1 (view points).
    void sketchMark(ShapeSketch& s, const QPoint& x, const QPoint& a0, const QPoint& a1, const QPoint& b0,
                    const QPoint& b1);
};
