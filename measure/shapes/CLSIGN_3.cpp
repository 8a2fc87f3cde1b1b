#include "measure/shapes/CLSIGN_3.h"

#include "measure/shapes/ShapeSketch.h"

void CLSIGN_3::SketchOutline(ShapeSketch& s, const QPoint& at) {
    s.rectLines(at + QPoint(-15, 15), at + QPoint(15, -15));
}
