#include "measure/shapes/CLSIGN_2.h"

#include "measure/shapes/ShapeSketch.h"

void CLSIGN_2::SketchOutline(ShapeSketch& s, const QPoint& at) {
    const QPoint c[4] = {at + QPoint(0, 19), at + QPoint(19, 0), at + QPoint(0, -19), at + QPoint(-19, 0)};
    for (int i = 0; i < 4; ++i)
        s.line(c[i], c[(i + 1) % 4]);
}
