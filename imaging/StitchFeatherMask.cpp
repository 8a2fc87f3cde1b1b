#include "imaging/StitchFeatherMask.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

cv::Mat buildStitchFeatherMask(int width, int height, double a, double b) {
    if (width <= 0 || height <= 0)
        return cv::Mat();
    // A zero semi-axis would divide by zero in the ellipse test.
    a = std::max(1.0, a);
    b = std::max(1.0, b);
    const double a2 = a * a, b2 = b * b;
    const int cxi = width / 2, cyi = height / 2;
    const double cx = cxi, cy = cyi;
    cv::Mat mask(height, width, CV_32FC1);
    for (int r = 0; r < height; ++r) {
        float* row = mask.ptr<float>(r);
        const double y = r - cyi;
        for (int c = 0; c < width; ++c) {
            const double x = c - cxi;
            double w;
            if (x * x / a2 + y * y / b2 <= 1.0) {
                w = 1.0;
            } else if (x == 0.0) {
                w = 1.0 - (std::fabs(y) - b) / (cy - b);
            } else {
                // Ellipse point on the ray through the pixel, at distance de.
                const double k = y / x;
                const double e = std::sqrt(b2 * a2 / (a2 * k * k + b2));
                const double de = e * std::sqrt(1.0 + k * k);
                // The ray leaves the frame at the nearer of the edges x = ±cx
                // and y = ±cy on the pixel's side; a pixel on the centre row
                // never meets the top or bottom edge.
                double t = cx / std::fabs(x);
                if (y != 0.0)
                    t = std::min(t, cy / std::fabs(y));
                const double dp = std::sqrt(x * x + y * y);
                w = 1.0 - (dp - de) / (dp * t - de);
            }
            row[c] = float(w);
        }
    }
    return mask;
}

cv::Mat halveStitchFeatherMask(const cv::Mat& full) {
    const int rows = full.rows / 2, cols = full.cols / 2;
    if (full.empty() || rows == 0 || cols == 0)
        return cv::Mat();
    cv::Mat half(rows, cols, CV_32FC1);
    for (int r = 0; r < rows; ++r) {
        const float* src = full.ptr<float>(2 * r);
        float* dst = half.ptr<float>(r);
        for (int c = 0; c < cols; ++c)
            dst[c] = src[2 * c];
    }
    return half;
}

cv::Mat fitStitchFeatherMask(const cv::Mat& mask, int width, int height) {
    if (width <= 0 || height <= 0)
        return cv::Mat();
    if (mask.empty() || mask.type() != CV_32FC1)
        return buildStitchFeatherMask(width, height, width * (800.0 / 1920.0), height * (500.0 / 1080.0));
    if (mask.cols == width && mask.rows == height && mask.isContinuous())
        return mask;
    cv::Mat fitted;
    cv::resize(mask, fitted, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return fitted;
}
