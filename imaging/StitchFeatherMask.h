#pragma once

#include <opencv2/core.hpp>

// Feather weights for pasting a frame into the stitching mosaic: 1.0 inside a
// centred ellipse, falling linearly to 0 where the ray from the centre leaves
// the frame. Results are continuous CV_32FC1 matrices of rows x cols.

// Weights of a width x height frame with the ellipse semi-axes a (x) and b (y)
// in pixels. A semi-axis below one pixel is taken as one pixel; an empty size
// gives an empty matrix.
cv::Mat buildStitchFeatherMask(int width, int height, double a, double b);

// The half-size mask: entry (r, c) is full(2r, 2c), for r < rows div 2 and
// c < cols div 2.
cv::Mat halveStitchFeatherMask(const cv::Mat& full);

// The same weights for another frame size: `mask` stretched to width x height,
// or, when `mask` is empty, a mask whose ellipse keeps the proportions of the
// usual 800 x 500 semi-axes on a 1920 x 1080 frame.
cv::Mat fitStitchFeatherMask(const cv::Mat& mask, int width, int height);
