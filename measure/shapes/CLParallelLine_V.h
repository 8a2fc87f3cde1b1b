#pragma once

#include "measure/shapes/CLParallelLine_H.h"

// Vertical parallel lines (kind 16): the horizontal variant with x and y
// exchanged (the second click takes p0's x; distances |p0.x - p.x|).
class CLParallelLine_V : public CLParallelLine_H {
public:
    CLParallelLine_V();
    void SetLanguage(int lang) override;
};
