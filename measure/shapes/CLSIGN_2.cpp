#include "measure/shapes/CLSIGN_2.h"

#include <QPainter>

void CLSIGN_2::DrawOutline(QPainter* painter, const QPoint& at) {
    const QPoint c[4] = {at + QPoint(0, 19), at + QPoint(19, 0), at + QPoint(0, -19), at + QPoint(-19, 0)};
    for (int i = 0; i < 4; ++i)
        painter->drawLine(c[i], c[(i + 1) % 4]);
}
