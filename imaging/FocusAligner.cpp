#include "imaging/FocusAligner.h"

#include "imaging/FocusStackMath.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

constexpr double kScaleMin = 0.75, kScaleMax = 1.25;
constexpr int kScaleTolerance = 35;   // 0.035 in scale (keys are ratio x 1000)
constexpr int kOffsetTolerance = 625; // 0.625 quarter-size pixels (keys are shift x 1000)
// alignFrame crops every detection at multiples of this (quarter-size
// pixels): SIFT's coarser octaves sample every 2nd, 4th, ... pixel from the
// crop's corner, and key points of pictures cropped at other phases would
// disagree by fractions of those steps and bias the scale.
constexpr int kDetectPhase = 32;

double length(const cv::Point2d& p) { return std::sqrt(p.x * p.x + p.y * p.y); }

double cellDiagonal(int width, int height) {
    const double cw = width / 16, ch = height / 16;
    return std::sqrt(cw * cw + ch * ch);
}

} // namespace

FocusAligner::FocusAligner() { createDetector(); }

void FocusAligner::createDetector() {
    detector = cv::SIFT::create(512, 3, 0.01, 0.01, 1.6);
    wideDetector.release();
    wideFeatures = 0;
    // Exhaustive L2 search: the same neighbours and distances as a linear
    // FLANN index, without building an index for every match (4.7 ms against
    // 0.9 ms for 280 key points).
    matcher = cv::makePtr<cv::BFMatcher>(cv::NORM_L2);
    matchRatio = 0.7f;
    forgetReference();
}

void FocusAligner::forgetReference() {
    keptValid = false;
    keptKeys.clear();
    keptDesc.release();
    nextRoi = cv::Rect();
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

void FocusAligner::matchPairs(const std::vector<cv::KeyPoint>& curKeys, const cv::Mat& curDesc,
                              const std::vector<cv::KeyPoint>& refKeys, const cv::Mat& refDesc, double diagonal,
                              std::vector<cv::Point2d>& ps, std::vector<cv::Point2d>& qs) {
    ps.clear();
    qs.clear();
    matches.clear();
    matcher->knnMatch(curDesc, refDesc, matches, 2);
    for (const auto& list : matches) {
        if (list.size() < 2 || !(list[1].distance * matchRatio > list[0].distance))
            continue;
        const cv::Point2d p = curKeys[list[0].queryIdx].pt;
        const cv::Point2d q = refKeys[list[0].trainIdx].pt;
        if (length(p - q) < diagonal) {
            ps.push_back(p);
            qs.push_back(q);
        }
    }
}

float FocusAligner::scaleFromPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, int w4,
                                   int h4) {
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

float FocusAligner::estimateScale(const cv::Mat& current, const cv::Mat& reference) {
    referenceKeys.clear();
    referenceDesc.release();
    // Area averaging: bilinear sampling at a quarter aliases fine texture, so
    // the key points would drift with sub-pixel motion and bias the scale by
    // several thousandths.
    cv::resize(current, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    cv::resize(reference, quarterReference, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    const int w4 = quarterCurrent.cols, h4 = quarterCurrent.rows;

    const bool haveCurrent = detect(quarterCurrent, currentKeys, currentDesc);
    const bool haveReference = detect(quarterReference, referenceKeys, referenceDesc);
    if (!haveCurrent || !haveReference || currentDesc.rows < 10 || referenceDesc.rows < 5)
        return -1.0f;
    matchPairs(currentKeys, currentDesc, referenceKeys, referenceDesc, cellDiagonal(w4, h4), pairsCurrent,
               pairsReference);
    const cv::Point2d origin(searchRoi.x, searchRoi.y);
    for (size_t i = 0; i < pairsCurrent.size(); ++i) {
        pairsCurrent[i] += origin;
        pairsReference[i] += origin;
    }
    return scaleFromPairs(pairsCurrent, pairsReference, w4, h4);
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

namespace {

// Key points and descriptor rows of `keys` / `desc` inside `r`.
void keysInside(const std::vector<cv::KeyPoint>& keys, const cv::Mat& desc, const cv::Rect2d& r,
                std::vector<cv::KeyPoint>& outKeys, cv::Mat& outDesc) {
    outKeys.clear();
    std::vector<int> rows;
    for (size_t i = 0; i < keys.size(); ++i)
        if (r.contains(keys[i].pt)) {
            outKeys.push_back(keys[i]);
            rows.push_back(static_cast<int>(i));
        }
    outDesc.create(static_cast<int>(rows.size()), desc.cols, desc.type());
    for (size_t i = 0; i < rows.size(); ++i)
        desc.row(rows[i]).copyTo(outDesc.row(static_cast<int>(i)));
}

// Where a key point of the current quarter picture lies on the quarter
// picture of the frame scaled by s (area averaging puts quarter pixel u at
// full pixel 4u + 1.5; resizing maps full pixel x to (x + 0.5) s - 0.5).
cv::Point2d scaledQuarter(const cv::Point2d& p, double s) {
    return cv::Point2d((p.x + 0.5) * s - 0.5, (p.y + 0.5) * s - 0.5);
}

} // namespace

cv::Rect FocusAligner::snapped(const cv::Rect& r) {
    const int x = r.x / kDetectPhase * kDetectPhase, y = r.y / kDetectPhase * kDetectPhase;
    return cv::Rect(x, y, r.x + r.width - x, r.y + r.height - y);
}

void FocusAligner::detectIn(const cv::Mat& quarter, const cv::Rect& region, std::vector<cv::KeyPoint>& keys,
                            cv::Mat& desc) {
    keys.clear();
    desc.release();
    if (region == searchRoi) {
        detector->detectAndCompute(quarter(region), cv::noArray(), keys, desc);
    } else {
        // The feature cap grows with the area, so the search rectangle keeps
        // about the key points it would get alone.
        const int features = static_cast<int>(std::lround(512.0 * region.area() / searchRoi.area()));
        if (!wideDetector || wideFeatures != features) {
            wideDetector = cv::SIFT::create(features, 3, 0.01, 0.01, 1.6);
            wideFeatures = features;
        }
        wideDetector->detectAndCompute(quarter(region), cv::noArray(), keys, desc);
    }
    for (auto& k : keys)
        k.pt += cv::Point2f(static_cast<float>(region.x), static_cast<float>(region.y));
}

FocusAligner::Result FocusAligner::alignFrame(cv::Mat& ycrcb, const cv::Mat& referenceLuma) {
    Result result;
    const cv::Rect next = nextRoi;
    nextRoi = cv::Rect();
    const bool useKept = keptValid && keptRoi == searchRoi;
    keptValid = false;

    cv::extractChannel(ycrcb, currentLuma, 0);
    cv::resize(currentLuma, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    const cv::Size size4 = quarterCurrent.size();
    const cv::Rect whole(cv::Point(0, 0), size4);
    if (searchRoi.width < 8 || searchRoi.height < 8 || (searchRoi & whole) != searchRoi)
        return result;

    // Reference key points: kept from the previous frame, or detected.
    referenceKeys.clear();
    referenceDesc.release();
    if (useKept && keptSize == size4) {
        referenceKeys.swap(keptKeys);
        referenceDesc = keptDesc;
        keptDesc = cv::Mat();
    } else if (referenceLuma.size() == currentLuma.size()) {
        cv::resize(referenceLuma, quarterReference, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        detectIn(quarterReference, snapped(searchRoi), allKeys, allDesc);
        keysInside(allKeys, allDesc, cv::Rect2d(searchRoi), referenceKeys, referenceDesc);
    }

    // Current key points on the search rectangle and, when the next frame
    // searches elsewhere, on its rectangle too (a little wider: the alignment
    // moves the picture by a few pixels).
    cv::Rect region = searchRoi;
    if (next.area() > 0)
        region |= (cv::Rect(next.x - 4, next.y - 4, next.width + 8, next.height + 8) & whole);
    region = snapped(region);
    detectIn(quarterCurrent, region, currentKeys, currentDesc);
    const std::vector<cv::KeyPoint>* roiKeysPtr = &currentKeys;
    const cv::Mat* roiDescPtr = &currentDesc;
    if (region != searchRoi) {
        keysInside(currentKeys, currentDesc, cv::Rect2d(searchRoi), roiKeys, roiDesc);
        roiKeysPtr = &roiKeys;
        roiDescPtr = &roiDesc;
    }

    if (roiKeysPtr->size() >= 10 && referenceKeys.size() >= 5) {
        matchPairs(*roiKeysPtr, *roiDescPtr, referenceKeys, referenceDesc, cellDiagonal(size4.width, size4.height),
                   pairsCurrent, pairsReference);
        result.scale = scaleFromPairs(pairsCurrent, pairsReference, size4.width, size4.height);
    }
    if (result.scale > kScaleMin && result.scale < kScaleMax) {
        cv::resize(ycrcb, scaledPlanes, cv::Size(), result.scale, result.scale, cv::INTER_LINEAR);
        // The shift from the same matches, the current key points carried
        // through the scaling: a second detection on the scaled picture
        // would find the same points.
        std::vector<int> kx, ky;
        for (size_t i = 0; i < pairsCurrent.size(); ++i) {
            const cv::Point2d d = scaledQuarter(pairsCurrent[i], result.scale) - pairsReference[i];
            kx.push_back(static_cast<int>(std::rint(d.x * 1000.0)));
            ky.push_back(static_cast<int>(std::rint(d.y * 1000.0)));
        }
        double mx = 0.0, my = 0.0;
        if (FocusStackMath::voteKeys(kx, kOffsetTolerance, mx) && FocusStackMath::voteKeys(ky, kOffsetTolerance, my))
            result.offset = cv::Point(static_cast<int>(std::rint(mx / 250.0)), static_cast<int>(std::rint(my / 250.0)));
        copyOverlap(scaledPlanes, ycrcb, result.offset.x, result.offset.y);
        result.applied = true;
    }
    if (next.area() > 0 && (next & whole) == next)
        keepReference(next, result.scale, result.offset, result.applied, ycrcb.size());
    return result;
}

void FocusAligner::keepReference(const cv::Rect& next, float scale, cv::Point offset, bool applied,
                                 cv::Size frameSize) {
    keptKeys.clear();
    keptDesc.release();
    // Where the aligned frame holds scaled pixels, in quarter-size
    // coordinates; the edges it did not reach keep the frame's own pixels, so
    // key points near them are left out.
    cv::Rect2d valid(next);
    if (applied) {
        const int ws = static_cast<int>(std::lround(frameSize.width * static_cast<double>(scale)));
        const int hs = static_cast<int>(std::lround(frameSize.height * static_cast<double>(scale)));
        const double margin = 4.0;
        double x0 = 0, y0 = 0, x1 = frameSize.width / 4.0, y1 = frameSize.height / 4.0;
        if (offset.x < 0)
            x0 = -offset.x / 4.0 + margin;
        if (ws - offset.x < frameSize.width)
            x1 = (ws - offset.x) / 4.0 - margin;
        if (offset.y < 0)
            y0 = -offset.y / 4.0 + margin;
        if (hs - offset.y < frameSize.height)
            y1 = (hs - offset.y) / 4.0 - margin;
        valid &= cv::Rect2d(x0, y0, x1 - x0, y1 - y0);
    }
    if (valid.width <= 0 || valid.height <= 0)
        return;
    std::vector<int> rows;
    const cv::Point2d shift(offset.x / 4.0, offset.y / 4.0);
    for (size_t i = 0; i < currentKeys.size(); ++i) {
        cv::KeyPoint k = currentKeys[i];
        if (applied) {
            const cv::Point2d a = scaledQuarter(k.pt, scale) - shift;
            k.pt = cv::Point2f(static_cast<float>(a.x), static_cast<float>(a.y));
            k.size *= scale;
        }
        if (valid.contains(k.pt)) {
            keptKeys.push_back(k);
            rows.push_back(static_cast<int>(i));
        }
    }
    keptDesc.create(static_cast<int>(rows.size()), currentDesc.cols, currentDesc.type());
    for (size_t i = 0; i < rows.size(); ++i)
        currentDesc.row(rows[i]).copyTo(keptDesc.row(static_cast<int>(i)));
    keptRoi = next;
    keptSize = quarterCurrent.size();
    keptValid = true;
}
