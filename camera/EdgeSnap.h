#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

class SDLBackground;

// The auto-edge search of the camera drivers (`BaseCamera::snapToEdge`).
namespace EdgeSnap {

// Moves (x, y), a point of the shown picture relative to the picture's
// top-left corner, onto the nearest edge inside a search window of `search`
// pixels around it. The window is shifted (never shrunk) to stay inside the
// picture. Leaves the point and returns false when the picture cannot be read
// back or holds no edge.
bool snapToEdge(const SDLBackground& window, QSize search, int& x, int& y);

// The search on a read-back area: grey, Gaussian 3x3 (sigma 1 across, 3
// along), Sobel magnitudes summed, Otsu threshold, contours; the contour
// point nearest to `reference` (the first of equals). False when none.
bool nearestEdgePoint(const QImage& area, QPoint reference, QPoint& found);

} // namespace EdgeSnap
