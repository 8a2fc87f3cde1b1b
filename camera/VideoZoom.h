#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class SDLBackground;

// The zoom list and picture placement of the camera drivers (USB and
// network behave alike): factors 0.1 to 1.0 plus the factor that fits the
// frame into the video host widget; zooming moves and sizes the video
// window's destination rectangle. GUI thread.
class VideoZoom {
public:
    static constexpr int NoAnchor = -10000;

    // Builds the list for a frame size shown in a host of the given size.
    void init(QSize frame, QSize host);
    const QList<float>& factors() const { return m_factors; }
    // Index of the fit factor in the list; -1 when not found.
    int scaleIndex() const { return m_scaleIndex; }
    bool isFit() const { return m_fit; }

    // Zoom to list entry `index` (clamped into the list); anchor: a point of
    // the picture, relative to its current top-left corner, that keeps its
    // place when zooming in beyond the fit factor; (NoAnchor, NoAnchor) for
    // none, which centres the picture in the host. Returns the factor; 1.0
    // with an empty list, which moves nothing.
    float setScaleIndex(int index, QPoint anchor, QSize frame, QSize host, SDLBackground* window);
    // Zoom so the whole frame fits the host, centred.
    void fitToWindow(QSize frame, QSize host, SDLBackground* window);

    // Placement arithmetic, tested alone: the picture rectangle for factor f.
    static QRect zoomedRect(QSize frame, float f, QPoint anchor, bool keepAnchor, const QRect& current, QSize host);
    static QRect fittedRect(QSize frame, QSize host);
    // The host the picture is centred in: the video host widget, else the
    // video window's canvas, else 1920 x 1080.
    static QSize hostSize();

private:
    QList<float> m_factors;
    int m_scaleIndex = 0;
    bool m_fit = false;
};
