#pragma once

#include <opencv2/core.hpp>

class SDLBackground;

// How far the picture the window shows last is from a camera's picture:
// the reference (BGR, the frame before any coding) is scaled by area to the
// drawn size and compared with the canvas there; the sum over the three
// channels of the mean absolute difference.
double shownPictureError(const SDLBackground& window, const cv::Mat& cameraPicture);
