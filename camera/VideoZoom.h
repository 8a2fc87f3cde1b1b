#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

// The main window's centre widget, native parent of the video window; set
// by the main window, null until it exists.
extern QWidget* videoHostWidget;

// Zoom list, picture placement and auto-edge search shared by both camera
// drivers (USB and network place and search the shown picture alike). The
// arithmetic is free of any window: the driver supplies the sizes and the
// current picture rectangle and applies the rectangle it gets back. GUI thread.
class VideoZoom {
public:
    static constexpr int NoAnchor = -10000;

    // Builds the list for a frame shown in a host: 0.1 ... 1.0 plus the factor
    // that fits the frame into the host (the smaller of the two ratios), sorted.
    void init(QSize frame, QSize host);
    const QList<float>& factors() const { return m_factors; }
    // Index of the fit factor in the list; -1 when there is none.
    int scaleIndex() const { return m_scaleIndex; }
    bool isFit() const { return m_fit; }

    // Zoom to list entry `index` (clamped into the list). Anchor: a point of
    // the picture relative to its current top-left (`current`), kept in place
    // when zooming beyond the fit factor; (NoAnchor, NoAnchor) for none, which
    // centres the picture in the host. Returns the factor (1.0 with an empty
    // list) and the new picture rectangle in *placed (empty: move nothing).
    float setScaleIndex(int index, QPoint anchor, QSize frame, QSize host, const QRect& current, QRect* placed);
    // The whole frame scaled to fit `target` (the primary screen), centred in
    // the host.
    QRect fitToWindow(QSize frame, QSize target, QSize host);

    // Placement arithmetic, tested alone.
    static QRect zoomedRect(QSize frame, float f, QPoint anchor, bool keepAnchor, const QRect& current, QSize host);
    static QRect fittedRect(QSize frame, QSize target, QSize host);
    // The host the picture is centred in: the video host widget, else the
    // video window's canvas, else 1920 x 1080.
    static QSize hostSize();
    // The primary screen's size (the host when there is no screen).
    static QSize screenSize();

    // Reads back an area (in host coordinates) of the rendered picture into
    // target; false when it cannot.
    using ReadBack = std::function<bool(QImage& target, const QRect& area)>;
    // Moves (x, y), a point of the shown picture relative to its top-left
    // corner, onto the nearest edge inside a search window of `search` pixels
    // around it. `picture` is the picture's rectangle in host coordinates; the
    // window is shifted (never shrunk) to stay inside it. Leaves the point and
    // returns false when nothing can be read back or the area holds no edge.
    static bool snapToEdge(const ReadBack& readBack, const QRect& picture, QSize search, int& x, int& y);
    // The search window for a point: W x H around it, shifted into `picture`
    // (a size), never starting below 0.
    static QRect edgeSearchArea(int x, int y, QSize search, QSize picture);
    // The edge search on a read-back area: grey, Gaussian 3x3 (sigma 1 across,
    // 3 along), Sobel magnitudes summed, Otsu threshold, contours; the contour
    // point nearest to `reference` (the first of equals). False when none.
    static bool nearestEdgePoint(const QImage& area, QPoint reference, QPoint& found);

private:
    QList<float> m_factors;
    int m_scaleIndex = -1;
    bool m_fit = false;
};
