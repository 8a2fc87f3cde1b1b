#pragma once

#include <QPoint>

#include <opencv2/core.hpp>

// Least spread (grey levels) of a picture's fine detail for it to count as
// textured: sensor noise alone has a spread of a grey level or two.
constexpr double stitchMinDetail = 2.0;

// How well a frame agrees with the mosaic where it is about to be pasted.
struct StitchOverlap {
    double covered = 0.0;   // share of the frame's area that lies over covered (non-black) mosaic
    double agreement = 0.0; // correlation of the fine detail there, -1 to 1
    bool textured = false;  // the frame has detail enough there to tell
};

// Measures the overlap of `frame` placed with its top-left at `pos` in
// `mosaic` (both 8-bit three-channel): the normalised cross-correlation of
// the grey pictures' fine detail (each less its 9 x 9 local mean, so that
// vignetting and exposure do not count) over the covered mosaic pixels,
// at half size for frames wider than 800 pixels. Synchronous.
StitchOverlap measureStitchOverlap(const cv::Mat& mosaic, const cv::Mat& frame, QPoint pos);

// The spread of a whole frame's fine detail, measured as the overlap check
// measures it: a frame above stitchMinDetail can be checked against the
// frames that will overlap it.
double stitchDetailSpread(const cv::Mat& frame);
