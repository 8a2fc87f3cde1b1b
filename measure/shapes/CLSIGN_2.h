#pragma once

#include "measure/shapes/CLSIGN_1.h"

// The numbered diamond marker (kind 29): corners 19 view px from the point.
class CLSIGN_2 : public CLSIGN_1 {
public:
    CLSIGN_2() { kind = KindSign2; }

protected:
    void SketchOutline(ShapeSketch& s, const QPoint& at) override;
};
