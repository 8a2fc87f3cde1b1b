#pragma once

#include <QColor>

// One cross line: a long guide line over the picture. Plain value record.
struct CrossLineInfo {
    CrossLineInfo(float pos = 0.0f, bool isHorizontal = true) : position(pos), horizontal(isHorizontal) {}
    CrossLineInfo(const CrossLineInfo& o) { *this = o; }
    // Copies all fields but the label height.
    CrossLineInfo& operator=(const CrossLineInfo& o) {
        position = o.position;
        angle = o.angle;
        visible = o.visible;
        scale = o.scale;
        colour = o.colour;
        horizontal = o.horizontal;
        return *this;
    }

    float position = 0.0f; // image pixels, y up: y of a horizontal line, x of a vertical one
    float angle = 0.0f;    // degrees; positive turns clockwise on screen
    bool visible = true;
    bool scale = false; // ruler ticks and labels
    QColor colour = QColor(Qt::red);
    bool horizontal = true;
    int labelHeight = 10; // refreshed at each draw; sizes the repaint strip
};
