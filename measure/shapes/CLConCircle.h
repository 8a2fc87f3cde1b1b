#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Concentric circles (kind 13): the centre c, then one point per circle (up
// to ten), each followed by its twin (the anchor of its label while
// creating); on completion a copy of the centre. Results: the radii, then
// Min, Max, Avg. A finished shape shows no labels: its values go to the data
// table.
class CLConCircle : public CCLBaseObject {
public:
    CLConCircle();

    bool FinishMulti() override;
    int Reset() override;
    bool IsVertexValid(int i) override;
    int HitTestLabel(const QPoint&, int&) override { return 0; }
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    void CalcResult() override;
    QString GetShowText(float, bool = false) override { return QString(); }
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    // Part = the circle index.
    bool SetValue(int part, float value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColRadius : -1; }
    int GetEditPart(int column, int row) override { return column == ColRadius ? row : -1; }
    int GetObjType() override { return 19; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return true; }
    bool CalcMinMax(float& minimum, float& maximum, float& average) override;
    void SetLanguage(int lang) override;

    // "R<number><letter>=<value><unit>" in every label style; empty past J.
    QString GetItemText(double value, int item);

    bool finished = false;
    int count = 0;

private:
    void finish(int pointsBefore);
    void sketchCircle(ShapeSketch& s, const QPointF& on, bool handle);
    void sketchObj(ShapeSketch& s);
    void sketchCreating(ShapeSketch& s);
};
