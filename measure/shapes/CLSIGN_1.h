#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// A numbered circle marker (kind 28) put by one click; the diamond and the
// square markers derive from it and differ only in their outline. The
// container numbers every marker 1 + the markers of all three kinds it holds.
// No results, no label, no rows.
class CLSIGN_1 : public CCLBaseObject {
public:
    CLSIGN_1();

    void CollectCreatingRects(QList<QRect>&) override {}
    void CollectObjRects(QList<QRect>& rects) override;
    void UpdateObj() override {}
    bool IsFinished() override { return points.size() == 1; }
    void CalcResult() override;
    QString GetShowText(double, bool = false) override { return QString(); }
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter*) override {}
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override { curPoint = point; }
    bool SetValue(int, double) override { return false; }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int) override { return -1; }
    int GetEditPart(int, int) override { return -1; }
    bool IsPointsEnough() override { return points.size() == 1; }
    void SetLanguage(int lang) override { language = lang; }

    int signNumber = 0;

protected:
    // The outline round the view point.
    virtual void SketchOutline(ShapeSketch& s, const QPoint& at);

private:
    void sketchObj(ShapeSketch& s);
};
