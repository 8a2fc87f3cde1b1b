#pragma once

#include <QPoint>
#include <QString>

class CCLBaseObject;

// Paints a shape into a view-sized image as the container does (antialiased,
// the shape's colour and pen width, the shape font) and checks the picture
// against the update rectangles the shape reports for it: DrawObj with its
// label against CollectObjRects, or (creating) DrawCreating against
// CollectCreatingRects. Needs an active measurement system.
struct PaintCoverage {
    int painted = 0;             // pixels that differ from the background
    int outside = 0;             // of those, outside every rectangle
    QPoint firstOutside{-1, -1}; // for the failure message
    // Empty when something was painted and all of it lies inside.
    QString failure() const;
};
PaintCoverage CheckPaintCoverage(CCLBaseObject& shape, bool creating);
