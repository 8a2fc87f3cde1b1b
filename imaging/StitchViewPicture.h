#pragma once

#include <QImage>

#include <opencv2/core.hpp>

class StitchMosaic;

// The stitching panel's picture of a growing mosaic, in the scene's pixel
// format, made by the stitching worker after each growth. A mosaic that grew
// inside its canvas (StitchMosaic::canvasId) gets a picture that shares the
// pixels of the picture made before, in a canvas of the same layout: only
// the columns and rows the growth added are made (black, and the frames
// placed there converted). Where the system refuses a canvas of the
// mosaic's canvas's layout, the picture's canvas has room of its own for
// the mosaic to grow into, and is copied when that is used up. Otherwise (a
// new canvas, a format of another size than four bytes) the whole mosaic is.
//
// The pictures handed out are the caller's to draw into: it keeps the last
// one up to date by pasting each frame placed since into it, the frame
// placed with a growth too (where it lies over the picture before, this
// object leaves it alone: that part may be on show).
//
// Thread: one thread at a time; the pictures may go to and be freed on any.
class StitchViewPicture {
public:
    // The picture of `mosaic` after it grew.
    QImage grown(const StitchMosaic& mosaic, QImage::Format format);
    // Forgets the canvas (a rebuilt mosaic's picture is made whole).
    void clear();
    // The whole mosaic reduced until its longer side is at most `longSide`
    // pixels, each pixel the mean of those it covers (RGB888, its own
    // pixels): where the system refuses the whole picture, a few megabytes
    // show more than a screen does of it. Null where even that is refused.
    static QImage reduced(const cv::Mat& mosaic, int longSide = 2048);

private:
    // Makes m_canvas hold the mosaic's rectangle `now` of its canvas of
    // size `whole`, with its rows usable, keeping what was shown; false when
    // the system refuses.
    bool place(const cv::Rect& now, const cv::Size& whole);

    cv::Mat m_canvas;         // four bytes a pixel
    cv::Point m_offset;       // where the mosaic canvas's origin lies in m_canvas
    quint64 m_canvasId = 0;   // the mosaic canvas it mirrors
    cv::Rect m_shown;         // the part of the canvas the last picture showed
    QImage::Format m_format = QImage::Format_Invalid;
};
