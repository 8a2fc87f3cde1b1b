#pragma once

#include "measure/shapes/CCLP2C.h"

// Point to the farthest point of a circle (kind 21): the distance from p3 to the rim
// point opposite p3; p3 on the centre is refused.
class CCLP2CFar : public CircleFamilyShape<CCLP2C, CircleFamily::Farthest> {
public:
    CCLP2CFar();
};
