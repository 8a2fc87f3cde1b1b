#pragma once

#include "measure/shapes/CCLL2C.h"

// Line to the nearest point of a circle (kind 22), along the perpendicular from
// the centre; a line through the centre is refused.
class CCLL2CNear : public CircleFamilyShape<CCLL2C, CircleFamily::Nearest> {
public:
    CCLL2CNear();
};
