#pragma once

#include <opencv2/core.hpp>

// Refines where `frame` lies in `reference` (both 8-bit three-channel) to a
// fraction of a pixel, starting from `shift` (the frame's top-left in the
// reference's coordinates, within a pixel or so of the truth): a few
// Gauss-Newton steps of a pure translation on the centre of the overlap,
// brightness normalised. Returns false and leaves *shift when the overlap is
// too small or featureless, or the refinement moves more than 1.5 pixels
// (then the start was not close enough to trust it).
bool refineStitchShift(const cv::Mat& reference, const cv::Mat& frame, cv::Point2d* shift);
