#pragma once

#include "measure/shapes/CircleFamilyShape.h"

// Point to circle (kind 4): p0, p1, p2 on the circle, p3 the point, p4 the
// label anchor; the distance from p3 to the centre c. The static members
// are the family's shared operations, also used by the nearest-point and
// farthest-point variants (CCLP2CNear, CCLP2CFar), which measure from p3 to
// the rim point q on the line through c and p3 and never take p3 on c.
class CCLP2C : public CircleFamilyShape<CCLP2C, CircleFamily::Centre> {
public:
    static constexpr int kPoints = 4;

    CCLP2C();
    int GetObjType() override { return 8; }
    void CollectKeyPoints(QList<QPointF>& out) override;

    // ---- the family's shared operations ----
    static bool Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped);
    // Circle points must make a circle; the variants refuse p3 on the centre.
    static bool AddValid(CCLBaseObject& s, int variant, const QPointF& point);
    static bool MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index);
    static void Calc(CCLBaseObject& s, int variant);
    // Variants: the style-0 form whatever the label style.
    static QString Text(CCLBaseObject& s, int variant, double value);
    static int Hit(CCLBaseObject& s, int variant, const QPoint& view);
    static void Figure(CCLBaseObject& s, ShapeSketch& k, int variant, bool creating);
    // The farthest distance is never below r: such a value is refused.
    static bool Set(CCLBaseObject& s, int variant, int part, double value);
    static void Name(CCLBaseObject& s, int lang);
};
