#include "imaging/StitchSubPixel.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

// Grey, float, slightly smoothed: a wider basin for the steps.
cv::Mat prepared(const cv::Mat& rgb) {
    cv::Mat grey, f;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    grey.convertTo(f, CV_32F);
    cv::GaussianBlur(f, f, cv::Size(5, 5), 1.0);
    return f;
}

// Zero mean and unit spread over the pixels that count: vignetting makes the
// same place brighter in one picture than in the other.
void normalise(cv::Mat& m, const cv::Mat& mask) {
    cv::Scalar mean, sd;
    cv::meanStdDev(m, mean, sd, mask);
    m = (m - mean[0]) / std::max(1e-3, sd[0]);
}

} // namespace

bool refineStitchShift(const cv::Mat& reference, const cv::Mat& frame, cv::Point2d* shift) {
    if (reference.empty() || frame.empty() || reference.type() != CV_8UC3 || frame.type() != CV_8UC3)
        return false;
    const cv::Point2d s0 = *shift;
    // The overlap in frame coordinates, 4 pixels in from every edge, and at
    // most 640 x 480 of its centre.
    const int x0 = std::max(0, int(std::ceil(-s0.x))) + 4, y0 = std::max(0, int(std::ceil(-s0.y))) + 4;
    const int x1 = std::min(frame.cols, int(std::floor(reference.cols - s0.x))) - 4;
    const int y1 = std::min(frame.rows, int(std::floor(reference.rows - s0.y))) - 4;
    if (x1 - x0 < 64 || y1 - y0 < 64)
        return false;
    const int w = std::min(640, x1 - x0), h = std::min(480, y1 - y0);
    const cv::Rect inFrame((x0 + x1 - w) / 2, (y0 + y1 - h) / 2, w, h);
    const cv::Mat target = prepared(frame(inFrame));
    {
        // Too little texture (in grey levels, before any normalising) to
        // measure anything.
        cv::Mat gx, gy;
        cv::Sobel(target, gx, CV_32F, 1, 0, 3, 1.0 / 8.0);
        cv::Sobel(target, gy, CV_32F, 0, 1, 3, 1.0 / 8.0);
        if ((gx.dot(gx) + gy.dot(gy)) / double(w * h) < 1.0)
            return false;
    }

    // The reference around the same place, with a margin for the steps.
    // Black (0, 0, 0) is mosaic not covered yet: it and its blurred rim do
    // not count.
    const int margin = 4;
    const cv::Rect around =
        cv::Rect(int(std::floor(inFrame.x + s0.x)) - margin, int(std::floor(inFrame.y + s0.y)) - margin,
                 w + 2 * margin + 1, h + 2 * margin + 1) &
        cv::Rect(0, 0, reference.cols, reference.rows);
    const cv::Mat ref = prepared(reference(around));
    cv::Mat lit[3];
    cv::split(reference(around), lit);
    cv::Mat covered = (lit[0] | lit[1] | lit[2]) > 0;
    cv::erode(covered, covered, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(7, 7)));

    cv::Point2d s = s0;
    for (int step = 0; step < 4; ++step) {
        // The reference resampled onto the target's pixels at the current shift.
        const cv::Matx23d to(1, 0, inFrame.x + s.x - around.x, 0, 1, inFrame.y + s.y - around.y);
        cv::Mat warped, valid, gx, gy;
        cv::warpAffine(ref, warped, to, target.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        cv::warpAffine(covered, valid, to, target.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                       cv::BORDER_CONSTANT, cv::Scalar(0));
        const int counted = cv::countNonZero(valid);
        if (counted < 64 * 64)
            return false;
        cv::Mat t = target.clone();
        normalise(warped, valid);
        normalise(t, valid);
        cv::Sobel(warped, gx, CV_32F, 1, 0, 3, 1.0 / 8.0);
        cv::Sobel(warped, gy, CV_32F, 0, 1, 3, 1.0 / 8.0);
        cv::Mat diff = warped - t;
        cv::Mat weight;
        valid.convertTo(weight, CV_32F, 1.0 / 255.0);
        gx = gx.mul(weight);
        gy = gy.mul(weight);
        const double a = gx.dot(gx), b = gx.dot(gy), c = gy.dot(gy);
        const double rx = gx.dot(diff), ry = gy.dot(diff);
        const double det = a * c - b * b;
        // A featureless or one-directional overlap has no defined shift.
        if (!(det > 1e-4 * (a + c) * (a + c)) || a + c < 1e-3 * counted)
            return false;
        const double dx = -(c * rx - b * ry) / det, dy = -(a * ry - b * rx) / det;
        if (!std::isfinite(dx) || !std::isfinite(dy))
            return false;
        s += cv::Point2d(dx, dy);
        if (std::hypot(s.x - s0.x, s.y - s0.y) > 1.5)
            return false;
        if (std::hypot(dx, dy) < 0.005)
            break;
    }
    *shift = s;
    return true;
}
