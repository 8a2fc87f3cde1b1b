#pragma once

#include "measure/shapes/CircleFamilyShape.h"

// Line to circle (kind 5): p0, p1, p2 on the circle, p3 and p4 on the line,
// p5 the label anchor; the distance from the centre c to the foot f of the
// perpendicular on the line. The static members are the family's shared
// operations, also used by the nearest-point and farthest-point variants
// (CCLL2CNear, CCLL2CFar), which measure from f to the rim point q on the
// line through c and f and never take a line through c. The line's end is
// refused while its foot would leave the image.
class CCLL2C : public CircleFamilyShape<CCLL2C, CircleFamily::Centre> {
public:
    static constexpr int kPoints = 5;

    CCLL2C();
    int GetObjType() override { return 7; }
    void CollectKeyPoints(QList<QPointF>& out) override;

    // ---- the family's shared operations ----
    static bool Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped);
    // Circle points must make a circle; the variants refuse a line through c.
    static bool AddValid(CCLBaseObject& s, int variant, const QPointF& point);
    static bool MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index);
    static void Calc(CCLBaseObject& s, int variant);
    // Variants: the style-0 form whatever the label style.
    static QString Text(CCLBaseObject& s, int variant, double value);
    static int Hit(CCLBaseObject& s, int variant, const QPoint& view);
    static void Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating);
    // Moves the line parallel to itself. The farthest distance is never below
    // r: such a value is refused.
    static bool Set(CCLBaseObject& s, int variant, int part, double value);
    static void Name(CCLBaseObject& s, int lang);
};
