#pragma once

#include <opencv2/core.hpp>

// A specimen-like BGR picture for the video benchmarks: shapes and
// gradients over blurred noise, with grain of sigma 6.
cv::Mat benchSpecimen(int width, int height);
