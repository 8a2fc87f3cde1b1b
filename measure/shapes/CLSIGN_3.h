#pragma once

#include "measure/shapes/CLSIGN_1.h"

// The numbered square marker (kind 30): 30 view px wide round the point.
class CLSIGN_3 : public CLSIGN_1 {
public:
    CLSIGN_3() { kind = KindSign3; }

protected:
    void SketchOutline(ShapeSketch& s, const QPoint& at) override;
};
