#pragma once

#include <QColor>
#include <QPointF>

// The centre reticle: two perpendicular arms through one image point.
// Plain value record held by CCrossLineContainer.
struct CTenCrossItem {
    explicit CTenCrossItem(const QPointF& centre = QPointF(960, 540)) : position(centre) {}

    QPointF position; // image pixels, y up
    float angle = 0.0f;
    bool visible = true;
    bool scale = false;
    QColor colour = QColor(Qt::red);
    int penWidth = 1;
    int labelHeight = 10;
};
