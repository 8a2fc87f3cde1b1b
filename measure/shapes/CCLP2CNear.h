#pragma once

#include "measure/shapes/CCLP2C.h"

// Point to the nearest point of a circle (kind 20): the distance from p3 to the rim
// point on p3's side of the centre; p3 on the centre is refused.
class CCLP2CNear : public CircleFamilyShape<CCLP2C, CircleFamily::Nearest> {
public:
    CCLP2CNear();
};
