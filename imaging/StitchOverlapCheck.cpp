#include "imaging/StitchOverlapCheck.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

cv::Mat detail(const cv::Mat& rgb, int reduce) {
    cv::Mat grey, small, f, mean;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    if (reduce > 1)
        cv::resize(grey, small, cv::Size(grey.cols / reduce, grey.rows / reduce), 0, 0, cv::INTER_AREA);
    else
        small = grey;
    small.convertTo(f, CV_32F);
    cv::blur(f, mean, cv::Size(9, 9), cv::Point(-1, -1), cv::BORDER_REFLECT);
    return f - mean;
}

int detailReduction(const cv::Mat& frame) { return frame.cols > 800 ? 2 : 1; }

} // namespace

double stitchDetailSpread(const cv::Mat& frame) {
    if (frame.empty() || frame.type() != CV_8UC3)
        return 0.0;
    cv::Scalar mean, spread;
    cv::meanStdDev(detail(frame, detailReduction(frame)), mean, spread);
    return spread[0];
}

StitchOverlap measureStitchOverlap(const cv::Mat& mosaic, const cv::Mat& frame, QPoint pos) {
    StitchOverlap out;
    if (mosaic.empty() || frame.empty() || mosaic.type() != CV_8UC3 || frame.type() != CV_8UC3)
        return out;
    const cv::Rect inMosaic = cv::Rect(pos.x(), pos.y(), frame.cols, frame.rows) & cv::Rect(0, 0, mosaic.cols, mosaic.rows);
    const int reduce = detailReduction(frame);
    if (inMosaic.width < 16 * reduce || inMosaic.height < 16 * reduce)
        return out;
    const cv::Rect inFrame(inMosaic.x - pos.x(), inMosaic.y - pos.y(), inMosaic.width, inMosaic.height);
    const cv::Mat m = detail(mosaic(inMosaic), reduce), f = detail(frame(inFrame), reduce);

    // Covered mosaic, less the rim where the local mean saw black.
    cv::Mat planes[3], lit, covered;
    cv::split(mosaic(inMosaic), planes);
    lit = (planes[0] | planes[1] | planes[2]) > 0;
    if (reduce > 1)
        cv::resize(lit, lit, m.size(), 0, 0, cv::INTER_NEAREST);
    cv::erode(lit, covered, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(11, 11)), cv::Point(-1, -1), 1,
              cv::BORDER_REPLICATE);
    const double n = cv::countNonZero(covered);
    out.covered = double(cv::countNonZero(lit)) * reduce * reduce / (double(frame.cols) * frame.rows);
    if (n < 256)
        return out;
    cv::Scalar mm, ms, fm, fs;
    cv::meanStdDev(m, mm, ms, covered);
    cv::meanStdDev(f, fm, fs, covered);
    out.textured = fs[0] > stitchMinDetail;
    if (ms[0] <= 1e-6 || fs[0] <= 1e-6)
        return out;
    cv::Mat product = (m - mm[0]).mul(f - fm[0]);
    out.agreement = cv::sum(product.setTo(0, covered == 0))[0] / (n * ms[0] * fs[0]);
    return out;
}
