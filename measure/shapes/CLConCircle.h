#pragma once

#include "measure/shapes/CLParallelLine.h"

// Concentric circles (kind 13): the centre c, then one point per circle (up
// to ten), each followed by its twin (the anchor of its label while
// creating); on completion a copy of the centre. Results: the radii, then
// Min, Max, Avg. Built like the parallel lines with the centre in the place
// of the base line; a finished shape shows no labels (its values go to the
// data table).
class CLConCircle : public CLParallelLine {
public:
    CLConCircle();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    bool IsMovePointValid(const QPointF&, int index) override { return index >= 0 && index < points.size(); }
    bool IsAddPointValid(const QPointF&, int = 0) override { return true; }
    int GetResultColumn(int j) override { return j == 0 ? ColRadius : -1; }
    int GetEditPart(int column, int row) override { return column == ColRadius ? row : -1; }
    int GetObjType() override { return 19; }
    bool IsPointsEnough() override { return true; }
    void SetLanguage(int lang) override;

    // "R<number><letter>=<value><unit>" in every label style; empty past J.
    QString GetItemText(double value, int item) override;

protected:
    QPointF Foot(const QPointF&, const QPointF& centre, const QPointF&) const override { return centre; }
    void AppendDerived(const QPointF&, const QPointF&) override {}
    void SketchBase(ShapeSketch& s, bool creating) override;
    void SketchItem(ShapeSketch& s, const QPointF& p, bool live) override;
    bool HitItem(const QPoint& view, const QPointF& p) override;
    bool HitBase(const QPoint&) override { return false; }
    void NormalLine(QPointF& a, QPointF& b) const override;
};
