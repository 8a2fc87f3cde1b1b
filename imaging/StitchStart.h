#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <opencv2/core.hpp>

// What a new stitching mosaic starts from: the first frame's own copy, the
// black mosaic with that frame in its centre (StitchMosaic::startingMosaic),
// the mosaic's picture in the pixel format the scene shows, and when asked
// for, the feather masks and the three marker pictures. Each is megabytes to
// tens of megabytes to allocate, fill or draw, so the stitching worker
// (ThreadPinJie::startPrepare) makes them and the interface thread only
// takes them over.
//
// Thread: set the inputs, run build() on one thread, then read the outputs
// on the thread that set the inputs once build() has returned.
class StitchStart {
public:
    // Inputs.
    cv::Mat frame;    // the first frame (RGB), kept as `first`; empty: a mosaic without a frame
    int side = 0;     // the mosaic's side (at least the frame's)
    bool precision = true;
    QImage::Format viewFormat = QImage::Format_RGB32; // the scene's opaque pixel format
    QSize maskFrame;  // feather masks of this frame size...
    QSize maskAxes;   // ...and these semi-axes; an empty maskFrame builds none
    QSize markerSize; // marker pictures of this size; empty: none
    QString markerDir; // green.png, yellow.png, red.png; drawn markers stand in for missing ones

    // Outputs.
    cv::Mat first;   // the first frame: `frame` itself
    cv::Mat mosaic;
    QImage view;     // the mosaic in viewFormat
    cv::Mat maskFull, maskHalf;
    QList<QImage> markers; // green (estimate), yellow (placement), red (lost)

    void build();

    // A mosaic (RGB) as a picture in `format`.
    static QImage picture(const cv::Mat& mosaic, QImage::Format format);
    // The feather masks of a frame size whose ellipse has the semi-axes `axes`.
    static void featherMasks(QSize frame, QSize axes, cv::Mat* full, cv::Mat* half);
    // Marker `index` (0 green, 1 yellow, 2 red) at `size`: the picture from
    // `dir`, or a frame line over a faint fill of its colour.
    static QImage markerPicture(int index, QSize size, const QString& dir);
};
