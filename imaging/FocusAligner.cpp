#include "imaging/FocusAligner.h"

#include "imaging/FocusStackMath.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

constexpr double kScaleMin = 0.75, kScaleMax = 1.25;
constexpr int kScaleTolerance = 35;   // 0.035 in scale (keys are ratio x 1000)
constexpr int kOffsetTolerance = 625; // 0.625 quarter-size pixels (keys are shift x 1000)

double length(const cv::Point2d& p) { return std::sqrt(p.x * p.x + p.y * p.y); }

double cellDiagonal(int width, int height) {
    const double cw = width / 16, ch = height / 16;
    return std::sqrt(cw * cw + ch * ch);
}

} // namespace

FocusAligner::FocusAligner() { createDetector(); }

void FocusAligner::createDetector() {
    detector = cv::SIFT::create(512, 3, 0.01, 0.01, 1.6);
    // Exhaustive L2 search: the same neighbours and distances as a linear
    // FLANN index, without building an index for every match (4.7 ms against
    // 0.9 ms for 280 key points).
    matcher = cv::makePtr<cv::BFMatcher>(cv::NORM_L2);
    matchRatio = 0.7f;
}

bool FocusAligner::detect(const cv::Mat& quarter, std::vector<cv::KeyPoint>& keys, cv::Mat& desc) {
    keys.clear();
    desc.release();
    const cv::Rect r = searchRoi & cv::Rect(0, 0, quarter.cols, quarter.rows);
    if (r.width < 8 || r.height < 8 || r != searchRoi)
        return false;
    detector->detectAndCompute(quarter(r), cv::noArray(), keys, desc);
    return !keys.empty();
}

float FocusAligner::estimateScale(const cv::Mat& current, const cv::Mat& reference) {
    referenceKeys.clear();
    referenceDesc.release();
    // Area averaging: bilinear sampling at a quarter aliases fine texture, so
    // the key points would drift with sub-pixel motion and bias the scale by
    // several thousandths.
    cv::resize(current, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    cv::resize(reference, quarterReference, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    const int w4 = quarterCurrent.cols, h4 = quarterCurrent.rows;
    const double diagonal = cellDiagonal(w4, h4);

    const bool haveCurrent = detect(quarterCurrent, currentKeys, currentDesc);
    const bool haveReference = detect(quarterReference, referenceKeys, referenceDesc);
    if (!haveCurrent || !haveReference || currentDesc.rows < 5 || referenceDesc.rows < 5)
        return -1.0f;
    matches.clear();
    matcher->knnMatch(currentDesc, referenceDesc, matches, 2);
    if (matches.size() < 10)
        return -1.0f;

    const cv::Point2d origin(searchRoi.x, searchRoi.y);
    std::vector<cv::Point2d> ps, qs;
    for (const auto& list : matches) {
        if (list.size() < 2 || !(list[1].distance * matchRatio > list[0].distance))
            continue;
        const cv::Point2d p = currentKeys[list[0].queryIdx].pt;
        const cv::Point2d q = referenceKeys[list[0].trainIdx].pt;
        if (length(p - q) < diagonal) {
            ps.push_back(p + origin);
            qs.push_back(q + origin);
        }
    }
    if (ps.empty())
        return -1.0f;

    cv::Point2d cc(0, 0), cr(0, 0);
    for (size_t i = 0; i < ps.size(); ++i) {
        cc += ps[i];
        cr += qs[i];
    }
    cc *= 1.0 / ps.size();
    cr *= 1.0 / qs.size();
    const cv::Point2d centre((w4 - 1) * 0.5, (h4 - 1) * 0.5);

    // Two ratios per pair: distances from the matched centroids, and from the
    // picture centre. The one that scatters less is trusted. A pair that sits
    // on a centre gives no ratio (0 / 0).
    std::vector<double> as, bs;
    for (size_t i = 0; i < ps.size(); ++i) {
        const double da = length(ps[i] - cc), db = length(ps[i] - centre);
        if (da < 1e-9 || db < 1e-9)
            continue;
        as.push_back(length(qs[i] - cr) / da);
        bs.push_back(length(qs[i] - centre) / db);
    }
    if (as.empty())
        return -1.0f;
    auto variance = [](const std::vector<double>& v) {
        double mean = 0.0;
        for (double x : v)
            mean += x;
        mean /= v.size();
        double var = 0.0;
        for (double x : v)
            var += (x - mean) * (x - mean);
        return var / v.size();
    };
    const std::vector<double>& ratios = variance(bs) > variance(as) ? as : bs;

    std::vector<int> keys;
    for (double r : ratios) {
        if (!(r > 0.7 && r < 1.3)) // far outside the range; also keeps the key conversion safe
            continue;
        const int key = static_cast<int>(std::rint(r * 1000.0));
        if (key >= 750 && key <= 1250)
            keys.push_back(key);
    }
    double mean = 0.0;
    if (!FocusStackMath::voteKeys(keys, kScaleTolerance, mean))
        return -1.0f;
    return static_cast<float>(mean) / 1000.0f;
}

cv::Point FocusAligner::estimateOffset(const cv::Mat& scaled, const cv::Mat& reference) {
    (void)reference; // its key points come from estimateScale of the same frame
    const int ws = scaled.cols, hs = scaled.rows;
    const double diagonal = cellDiagonal(ws, hs);
    // By the factor, not to (ws / 4, hs / 4): truncating the size would scale
    // the quarter picture by up to 3 / ws more than the reference's and shift
    // the far key points by a pixel or more.
    cv::resize(scaled, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    if (searchRoi.x + searchRoi.width > quarterCurrent.cols)
        searchRoi.width = quarterCurrent.cols - searchRoi.x;
    if (searchRoi.y + searchRoi.height > quarterCurrent.rows)
        searchRoi.height = quarterCurrent.rows - searchRoi.y;
    if (referenceDesc.rows < 2 || !detect(quarterCurrent, currentKeys, currentDesc))
        return cv::Point(0, 0);
    matches.clear();
    matcher->knnMatch(currentDesc, referenceDesc, matches, 2);

    std::vector<int> kx, ky;
    for (const auto& list : matches) {
        if (list.size() < 2 || !(list[1].distance * matchRatio > list[0].distance))
            continue;
        const cv::Point2d d = cv::Point2d(currentKeys[list[0].queryIdx].pt) -
                              cv::Point2d(referenceKeys[list[0].trainIdx].pt);
        if (length(d) < diagonal) {
            kx.push_back(static_cast<int>(std::rint(d.x * 1000.0)));
            ky.push_back(static_cast<int>(std::rint(d.y * 1000.0)));
        }
    }
    double mx = 0.0, my = 0.0;
    if (!FocusStackMath::voteKeys(kx, kOffsetTolerance, mx) || !FocusStackMath::voteKeys(ky, kOffsetTolerance, my))
        return cv::Point(0, 0);
    // Quarter-size shift x 4 = key / 1000 x 4.
    return cv::Point(static_cast<int>(std::rint(mx / 250.0)), static_cast<int>(std::rint(my / 250.0)));
}

void FocusAligner::copyOverlap(const cv::Mat& scaled, cv::Mat& frame, int dx, int dy) {
    auto span = [](int d, int scaledLen, int frameLen, int& src, int& dst, int& len) {
        if (d < 1) {
            src = 0;
            dst = -d;
            len = std::min(scaledLen, frameLen + d);
        } else {
            src = d;
            dst = 0;
            len = scaledLen - d;
        }
        if (dst + len > frameLen)
            len = frameLen - dst;
    };
    int sx, tx, w, sy, ty, h;
    span(dx, scaled.cols, frame.cols, sx, tx, w);
    span(dy, scaled.rows, frame.rows, sy, ty, h);
    if (w <= 0 || h <= 0)
        return;
    scaled(cv::Rect(sx, sy, w, h)).copyTo(frame(cv::Rect(tx, ty, w, h)));
}

FocusAligner::Result FocusAligner::alignFrame(cv::Mat& ycrcb, const cv::Mat& referenceLuma) {
    Result result;
    cv::extractChannel(ycrcb, currentLuma, 0);
    result.scale = estimateScale(currentLuma, referenceLuma);
    if (!(result.scale > kScaleMin && result.scale < kScaleMax))
        return result;
    cv::resize(ycrcb, scaledPlanes, cv::Size(), result.scale, result.scale, cv::INTER_LINEAR);
    cv::extractChannel(scaledPlanes, scaledLuma, 0);
    result.offset = estimateOffset(scaledLuma, referenceLuma);
    copyOverlap(scaledPlanes, ycrcb, result.offset.x, result.offset.y);
    result.applied = true;
    return result;
}
