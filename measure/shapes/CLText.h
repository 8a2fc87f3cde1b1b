#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// The text mark (kind 31): an arrow with its head at p0 and a text box at
// p1. The text is asked for when p1 is placed (through the measurement
// system's text input); without a text the mark is dropped. Painted after
// all other shapes in the label font; no results, no rows.
class CLText : public CCLBaseObject {
public:
    CLText();

    bool IsCreateCanceled() override;
    int Reset() override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    void CalcResult() override {}
    QString GetShowText(double, bool = false) override { return QString(); }
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    bool SetValue(int, double) override { return false; }
    int GetValuesPerRow() override { return 0; }
    int GetResultColumn(int) override { return -1; }
    int GetEditPart(int, int) override { return -1; }
    bool IsPointsEnough() override { return true; }
    void SetLanguage(int lang) override;

    // The text box at p1, sized in the label font and moved inside the view.
    QRect TextBox();

    QString text;
    bool textEntered = false;

private:
    void sketch(ShapeSketch& s, bool finishedMark);
};
