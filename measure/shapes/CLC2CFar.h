#pragma once

#include "measure/shapes/CLC2C.h"

// Farthest points of two circles on their line of centres (kind 25); coinciding
// centres have no such points and show no result.
class CLC2CFar : public CircleFamilyShape<CLC2C, CircleFamily::Farthest> {
public:
    CLC2CFar();
};
