#pragma once

#include "measure/shapes/CLC2C.h"

// Nearest points of two circles on their line of centres (kind 24); coinciding
// centres have no such points and show no result.
class CLC2CNear : public CircleFamilyShape<CLC2C, CircleFamily::Nearest> {
public:
    CLC2CNear();
};
