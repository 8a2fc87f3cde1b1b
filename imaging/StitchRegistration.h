#pragma once

#include <QPoint>

#include <opencv2/core.hpp>

#include <functional>

// Finds `frame` in `mosaic` (both 8-bit three-channel) when the ORB full
// search has lost it: SIFT on both images reduced by
// stitchRegistrationScale, FLANN k-d tree
// matching with a 2/3 ratio test, a RANSAC homography from frame to mosaic,
// accepted only when its x and y scales agree within 0.016. On success writes
// the frame's top-left corner in mosaic coordinates (translation terms rounded
// to the nearest integer, halves to even) and returns true; on failure leaves
// *topLeft and returns false. Synchronous; runs on the calling thread, whose
// OpenCV random generator it restarts (the same answer on every thread).
//
// The mosaic is reduced and its key points found a band of rows at a time
// (each band with a margin of rows above and below, whose points belong to
// the next band): a mosaic of twenty thousand pixels a side never needs its
// whole scale space at once, and `stopped`, asked before every band, ends
// the registration there (false) within a band's work.
bool registerStitchFrame(const cv::Mat& mosaic, const cv::Mat& frame, QPoint* topLeft,
                         const std::function<bool()>& stopped = {});

// `image` reduced by `scale` (as cv::resize with INTER_AREA does it) a band
// of rows at a time, `stopped` asked before each; false when stopped.
bool reduceStitchImage(const cv::Mat& image, double scale, cv::Mat* small,
                       const std::function<bool()>& stopped = {});

// Rows of the reduced mosaic whose key points one band finds, and the rows
// it sees above and below them.
constexpr int stitchRegistrationBand = 512;
constexpr int stitchRegistrationMargin = 64;

// The reduction of the registration for a frame width: a quarter, but half
// for frames 640 pixels wide or less and none at 320 or less, where a
// quarter leaves too few key points for the homography's scale test.
double stitchRegistrationScale(int frameWidth);

// The acceptance test and position of a frame-to-mosaic homography: false for
// an empty or non-3x3 matrix, unequal scales or non-finite terms.
bool stitchHomographyPosition(const cv::Mat& homography, QPoint* topLeft);
