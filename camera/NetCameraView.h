#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Zoom and auto-edge arithmetic of the camera drivers, free of any window:
// the driver supplies the sizes and applies the results.
class NetCameraView {
public:
    // The anchor value that means "no anchor".
    static constexpr int noAnchor = -10000;

    // 0.1, 0.2 ... 1.0 and the factor that fits frame into host (the smaller
    // of width and height ratio), sorted; *fitIndex is the fit factor's
    // position (-1 when host is empty and no fit factor exists).
    static QList<float> zoomList(QSize host, QSize frame, int* fitIndex);
    // Destination rectangle for zoom factor f. With an anchor (a point relative
    // to the picture's current top-left) and f above the fit factor, the anchor
    // keeps its place; otherwise the picture is centred in host.
    static QRect zoomRect(const QRect& current, QSize frame, float f, QPoint anchor, float fitFactor, QSize host);
    // The whole frame within screen, centred in host.
    static QRect fitRect(QSize screen, QSize frame, QSize host);
    // The W x H search area around (x, y), shifted (not shrunk) inside the
    // destination picture of size dest.
    static QRect edgeSearchArea(int x, int y, int w, int h, QSize dest);
    // The move that takes the area's centre onto the nearest edge found in it;
    // false when the area holds no edge.
    static bool edgeOffset(const QImage& area, QPoint* offset);
};
