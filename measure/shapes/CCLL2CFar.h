#pragma once

#include "measure/shapes/CCLL2C.h"

// Line to the farthest point of a circle (kind 23), along the perpendicular from
// the centre; a line through the centre is refused.
class CCLL2CFar : public CircleFamilyShape<CCLL2C, CircleFamily::Farthest> {
public:
    CCLL2CFar();
};
