#pragma once

#include "measure/shapes/CLParallelLine.h"

// Multi-point-to-line distance (kind 26): up to ten points measured
// perpendicularly from the base line p0-p1, with the layout, statistics,
// labels and typed values of the parallel lines. Each item is drawn as the
// segment from its foot F to the point; derived points are the feet. Every
// point, the statistics anchor included, can be grabbed.
class CCLMulP2L : public CLParallelLine {
public:
    CCLMulP2L();

    int HitTestVertex(const QPoint& view, int& index) override;
    int GetObjType() override { return 18; }
    void SetLanguage(int lang) override;

protected:
    bool ItemInside(const QPointF& p, const QPointF& a, const QPointF& b) const override;
    void AppendDerived(const QPointF&, const QPointF& foot) override { derivedPoints.append(foot); }
    void SketchItem(ShapeSketch& s, const QPointF& p, bool live) override;
    bool HitItem(const QPoint& view, const QPointF& p) override;
};
