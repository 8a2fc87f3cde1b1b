#pragma once

#include "measure/shapes/CLParallelLine.h"

// Horizontal parallel lines (kind 15): the base line is kept horizontal (the
// second click takes p0's y) and an item's distance is |p0.y - p.y|; items
// are drawn as segments as long as the base, hit within 5 px across them.
// No derived points, no snapping, no refused points.
class CLParallelLine_H : public CLParallelLine {
public:
    CLParallelLine_H();

    bool IsMovePointValid(const QPointF&, int index) override { return index >= 0 && index < points.size(); }
    bool IsAddPointValid(const QPointF&, int = 0) override { return true; }
    int GetObjType() override { return vertical ? 14 : 13; }
    void SetLanguage(int lang) override;

protected:
    QPointF Foot(const QPointF& p, const QPointF& a, const QPointF& b) const override;
    void AppendDerived(const QPointF&, const QPointF&) override {}
    void SketchBase(ShapeSketch& s, bool creating) override;
    void SketchItem(ShapeSketch& s, const QPointF& p, bool live) override;
    bool HitItem(const QPoint& view, const QPointF& p) override;
    bool HitBase(const QPoint& view) override;
    void NormalLine(QPointF& a, QPointF& b) const override;
    QPointF Constrain(const QPointF& p) const override;

    // Set by the vertical variant: x and y change roles.
    bool vertical = false;

private:
    // Half the base's view length along the base.
    int halfWidth() const;
    bool inBand(const QPoint& view, const QPoint& centre) const;
};
