#include "measure/shapes/CLSIGN_3.h"

#include "measure/engine/PaintHelpers.h"

void CLSIGN_3::DrawOutline(QPainter* painter, const QPoint& at) {
    DrawRectLines(painter, at + QPoint(-15, 15), at + QPoint(15, -15));
}
