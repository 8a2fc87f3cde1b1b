#pragma once

#include "measure/shapes/CircleFamilyShape.h"

// Circle to circle (kind 6): p0, p1, p2 on circle 1, p3, p4, p5 on circle
// 2, p6 the label anchor; the distance between the centres c1 and c2. The
// static members are the family's shared operations, also used by the
// nearest-point and farthest-point variants (CLC2CNear, CLC2CFar), which
// measure between the rim points on the line of centres; with coinciding
// centres there are none, and the variants show no result (NaN).
class CLC2C : public CircleFamilyShape<CLC2C, CircleFamily::Centre> {
public:
    static constexpr int kPoints = 6;

    CLC2C();
    int GetObjType() override { return 9; }
    void CollectKeyPoints(QList<QPointF>& out) override;

    // ---- the family's shared operations ----
    static bool Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped);
    // Each circle's points must make a circle.
    static bool AddValid(CCLBaseObject& s, int variant, const QPointF& point);
    static bool MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index);
    static void Calc(CCLBaseObject& s, int variant);
    // Variants: the style-0 form whatever the label style; no value for NaN.
    static QString Text(CCLBaseObject& s, int variant, double value);
    static int Hit(CCLBaseObject& s, int variant, const QPoint& view);
    static void Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating);
    // Moves circle 2 along the line of centres. The farthest distance is
    // never below r1 + r2: such a value is refused.
    static bool Set(CCLBaseObject& s, int variant, int part, double value);
    static void Name(CCLBaseObject& s, int lang);
};
