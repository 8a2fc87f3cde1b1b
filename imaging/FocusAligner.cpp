#include "imaging/FocusAligner.h"

#include "imaging/FocusStackMath.h"
#include "imaging/LargeBufferAllocator.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <future>

namespace {

constexpr float kScaleMin = 0.75f, kScaleMax = 1.25f;
constexpr int kScaleTolerance = 35;   // 0.035 in scale (keys are ratio x 1000)
constexpr int kOffsetTolerance = 625; // 0.625 quarter-size pixels (keys are shift x 1000)
// Matched pairs that must agree before a scale, or a whole alignment, is
// trusted.
constexpr int kMinSupport = 6;
// A pair agrees with an alignment when the alignment brings its current key
// point within this many quarter-size pixels of its reference key point.
constexpr double kAgreeDistance = 1.0;
// Share of the matched pairs that must agree with the alignment: below it the
// matches tell of more than one geometry, and the vote's winner may be the
// wrong one.
constexpr double kAgreeShare = 0.3;
// Full-size pixels a frame must move somewhere before it is resampled.
constexpr double kLeastMove = 0.5;
// Root mean square pixels by which a fit must bring the matched key points
// closer than leaving the frame where it is, before the frame is resampled.
constexpr double kLeastGain = 0.25;

double length(const cv::Point2d& p) { return std::sqrt(p.x * p.x + p.y * p.y); }

double cellDiagonal(int width, int height) {
    const double cw = width / 16, ch = height / 16;
    return std::sqrt(cw * cw + ch * ch);
}

// rint(v x 1000) for a vote; false for values no vote can use (not finite or
// far outside every range), which keeps the conversion defined.
bool voteKey(double v, int& key) {
    if (!std::isfinite(v) || std::fabs(v) > 1.0e6)
        return false;
    key = static_cast<int>(std::rint(v * 1000.0));
    return true;
}

} // namespace

FocusAligner::FocusAligner() {
    // The full-size scratch is freed at once when released (see LargeBufferAllocator).
    LargeBufferAllocator::adopt({&scaledPlanes, &currentLuma, &scaledLuma});
    createDetector();
}

void FocusAligner::createDetector() {
    detector = cv::SIFT::create(512, 3, 0.01, 0.01, 1.6);
    referenceDetector = cv::SIFT::create(512, 3, 0.01, 0.01, 1.6);
    // Exhaustive L2 search: the neighbours and distances of a linear FLANN
    // index, without building an index for every match.
    matcher = cv::makePtr<cv::BFMatcher>(cv::NORM_L2);
    matchRatio = 0.7f;
}

void FocusAligner::releaseScratch() {
    for (cv::Mat* m : {&quarterCurrent, &quarterReference, &scaledPlanes, &currentLuma, &scaledLuma, &halfCurrent,
                       &halfReference, &halfMoved, &currentDesc, &referenceDesc})
        m->release();
    std::vector<cv::KeyPoint>().swap(currentKeys);
    std::vector<cv::KeyPoint>().swap(referenceKeys);
    std::vector<std::vector<cv::DMatch>>().swap(matches);
    std::vector<cv::Point2d>().swap(pairsCurrent);
    std::vector<cv::Point2d>().swap(pairsReference);
}

bool FocusAligner::detect(cv::Feature2D& sift, const cv::Mat& quarter, std::vector<cv::KeyPoint>& keys,
                          cv::Mat& desc) const {
    keys.clear();
    desc.release();
    const cv::Rect r = searchRoi & cv::Rect(0, 0, quarter.cols, quarter.rows);
    if (r.width < 1 || r.height < 1)
        return false;
    // Detection, then descriptors of the detected points. One pass gives the
    // same descriptors whenever a point lies in the upsampled octave (-1):
    // the separate descriptor pass then builds the same pyramid. Otherwise it
    // would start at octave 0, so the descriptors are computed again.
    sift.detectAndCompute(quarter(r), cv::noArray(), keys, desc);
    if (keys.empty())
        return false;
    bool upsampled = false;
    for (const cv::KeyPoint& k : keys)
        upsampled = upsampled || static_cast<signed char>(k.octave & 255) < 0;
    if (!upsampled)
        sift.compute(quarter(r), keys, desc);
    return !keys.empty();
}

float FocusAligner::scaleFromPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, int w4,
                                   int h4) {
    const size_t n = ps.size();
    if (n == 0)
        return -1.0f;
    cv::Point2d cc(0, 0), cr(0, 0);
    for (size_t i = 0; i < n; ++i) {
        cc += ps[i];
        cr += qs[i];
    }
    cc *= 1.0 / n;
    cr *= 1.0 / n;
    const cv::Point2d centre((w4 - 1) * 0.5, (h4 - 1) * 0.5);
    // Two ratios per pair: distances from the matched centroids and from the
    // picture centre; the one that scatters less is trusted.
    std::vector<double> as(n), bs(n);
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        as[i] = length(qs[i] - cr) / length(ps[i] - cc);
        bs[i] = length(qs[i] - centre) / length(ps[i] - centre);
        ma += as[i];
        mb += bs[i];
    }
    ma /= n;
    mb /= n;
    double va = 0.0, vb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        va += (as[i] - ma) * (as[i] - ma);
        vb += (bs[i] - mb) * (bs[i] - mb);
    }
    va /= n;
    vb /= n;
    const std::vector<double>& ratios = vb > va ? as : bs;
    std::vector<int> keys;
    for (double r : ratios) {
        int key;
        if (voteKey(r, key) && key >= 750 && key <= 1250)
            keys.push_back(key);
    }
    double mean = 0.0;
    int support = 0;
    // A scale that few pairs agree on is chance (a lone pair, or matches of
    // look-alike cells of a repeating specimen): no estimate.
    if (!FocusStackMath::voteKeys(keys, kScaleTolerance, mean, &support) || support < kMinSupport)
        return -1.0f;
    return static_cast<float>(mean) / 1000.0f;
}

float FocusAligner::estimateScale(const cv::Mat& current, const cv::Mat& reference) {
    cv::resize(current, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_LINEAR);
    cv::resize(reference, quarterReference, cv::Size(), 0.25, 0.25, cv::INTER_LINEAR);
    const int w4 = quarterCurrent.cols, h4 = quarterCurrent.rows;
    // The reference's key points on a second thread while this one finds the
    // current picture's: neither reads what the other writes.
    auto referenceJob = std::async(std::launch::async, [this] {
        return detect(*referenceDetector, quarterReference, referenceKeys, referenceDesc);
    });
    const bool haveCurrent = detect(*detector, quarterCurrent, currentKeys, currentDesc);
    const bool haveReference = referenceJob.get();
    if (!haveCurrent || !haveReference || currentDesc.rows < 5 || referenceDesc.rows < 5)
        return -1.0f;
    matches.clear();
    matcher->knnMatch(currentDesc, referenceDesc, matches, 2);
    if (matches.size() < 10)
        return -1.0f;
    const double diagonal = cellDiagonal(w4, h4);
    const cv::Point2d origin(searchRoi.x, searchRoi.y);
    pairsCurrent.clear();
    pairsReference.clear();
    for (const auto& list : matches) {
        if (list.size() < 2 || !(list[1].distance * matchRatio > list[0].distance))
            continue;
        const cv::Point2d p = currentKeys[list[0].queryIdx].pt;
        const cv::Point2d q = referenceKeys[list[0].trainIdx].pt;
        if (length(p - q) < diagonal) {
            pairsCurrent.push_back(p + origin);
            pairsReference.push_back(q + origin);
        }
    }
    return scaleFromPairs(pairsCurrent, pairsReference, w4, h4);
}

cv::Point FocusAligner::estimateOffset(const cv::Mat& scaled, const cv::Mat& reference) {
    (void)reference; // its key points come from estimateScale of the same frame
    precise = cv::Point2d();
    const int ws = scaled.cols, hs = scaled.rows;
    const double diagonal = cellDiagonal(ws, hs);
    // A quarter by the factor, like the reference, not to the truncated size
    // (ws / 4, hs / 4): that would scale this picture up to 3 / ws more than
    // the reference and move its far key points by a pixel or two, always
    // the same way, so the frames of a run would drift further off frame by
    // frame.
    cv::resize(scaled, quarterCurrent, cv::Size(), 0.25, 0.25, cv::INTER_LINEAR);
    if (searchRoi.x + searchRoi.width > quarterCurrent.cols)
        searchRoi.width = quarterCurrent.cols - searchRoi.x;
    if (searchRoi.y + searchRoi.height > quarterCurrent.rows)
        searchRoi.height = quarterCurrent.rows - searchRoi.y;
    if (referenceDesc.rows < 2 || !detect(*detector, quarterCurrent, currentKeys, currentDesc))
        return cv::Point(0, 0);
    matches.clear();
    matcher->knnMatch(currentDesc, referenceDesc, matches, 2);
    std::vector<int> kx, ky;
    for (const auto& list : matches) {
        if (list.size() < 2 || !(list[1].distance * matchRatio > list[0].distance))
            continue;
        // Both key points are in rectangle coordinates of the same origin.
        const cv::Point2d d = cv::Point2d(currentKeys[list[0].queryIdx].pt) -
                              cv::Point2d(referenceKeys[list[0].trainIdx].pt);
        int x, y;
        if (length(d) < diagonal && voteKey(d.x, x) && voteKey(d.y, y)) {
            kx.push_back(x);
            ky.push_back(y);
        }
    }
    double mx = 0.0, my = 0.0;
    if (!FocusStackMath::voteKeys(kx, kOffsetTolerance, mx) || !FocusStackMath::voteKeys(ky, kOffsetTolerance, my))
        return cv::Point(0, 0);
    precise = cv::Point2d(mx / 250.0, my / 250.0);
    // The quarter-size shift times 4: key / 1000 x 4.
    return cv::Point(static_cast<int>(std::rintf(static_cast<float>(mx / 250.0))),
                     static_cast<int>(std::rintf(static_cast<float>(my / 250.0))));
}

int FocusAligner::agreeingPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, double scale,
                                cv::Point2d offset) {
    // The frame is scaled about its top-left corner, then moved back by the
    // offset (full-size pixels, a quarter of it at quarter size).
    const cv::Point2d shift = offset * 0.25;
    int n = 0;
    for (size_t i = 0; i < ps.size() && i < qs.size(); ++i)
        n += length(ps[i] * scale - shift - qs[i]) < kAgreeDistance;
    return n;
}

FocusAligner::Result FocusAligner::align(cv::Mat& ycrcb, const cv::Mat& reference) {
    Result result;
    const auto stop = [this, &result] { return stopRequested && (result.stopped = stopRequested()); };
    cv::extractChannel(ycrcb, currentLuma, 0);
    if (stop())
        return result;
    result.scale = estimateScale(currentLuma, reference);
    if (stop())
        return result;
    result.pairs = static_cast<int>(pairsCurrent.size());
    if (!(result.scale > kScaleMin && result.scale < kScaleMax)) {
        // Key points on both sides that match, but no scale enough of them
        // agree on: the frame's geometry is unknown.
        result.doubtful = result.pairs >= kMinSupport;
        return result;
    }
    // One bilinear resize of the packed planes gives each plane exactly what
    // resizing it alone gives.
    cv::resize(ycrcb, scaledPlanes, cv::Size(), result.scale, result.scale, cv::INTER_LINEAR);
    cv::extractChannel(scaledPlanes, scaledLuma, 0);
    if (stop())
        return result;
    result.offset = estimateOffset(scaledLuma, reference);
    if (stop())
        return result;
    // The scale and the shift come from separate votes: together they must
    // carry the matched pairs onto each other, or the frame would be laid
    // over the picture in the wrong place.
    result.agreeing = agreeingPairs(pairsCurrent, pairsReference, result.scale, precise);
    if (result.agreeing < kMinSupport || result.agreeing < kAgreeShare * result.pairs) {
        result.doubtful = true;
        return result;
    }
    // The votes only pick the geometry; their means are biased (a ratio of
    // distances comes out above 1 on average when the key points scatter),
    // and on frames that did not move at all they read a scale of 1.002 and
    // a pixel of shift. The pairs that agree with the vote fix scale and
    // shift together by least squares.
    const double s0 = result.scale, c0 = 0.5 * (s0 - 1.0);
    cv::Matx23d m(s0, 0, c0 - precise.x, 0, s0, c0 - precise.y);
    for (int round = 0; round < 2; ++round)
        fitAgreeing(m, round == 0 ? 4.0 * kAgreeDistance : 2.0 * kAgreeDistance);
    result.scale = static_cast<float>(m(0, 0));
    // Moved by less than half a pixel anywhere, or by nothing the key points
    // can tell from standing still (the votes read a pixel and more on
    // frames that never moved): resampling would blur the fine detail more
    // than the move displaces it. Bicubic, where it must, keeps more of it
    // than bilinear.
    double moved = 0.0;
    for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(ycrcb.cols - 1, ycrcb.rows - 1)})
        moved = std::max({moved, std::fabs(m(0, 0) * corner.x + m(0, 2) - corner.x),
                          std::fabs(m(1, 1) * corner.y + m(1, 2) - corner.y)});
    if (moved < kLeastMove || !beatsStandingStill(m, 2.0 * kAgreeDistance) || stop() || !bringsCloser(reference, m))
        return result;
    ycrcb.copyTo(scaledPlanes);
    cv::warpAffine(scaledPlanes, ycrcb, m, ycrcb.size(), cv::INTER_CUBIC, cv::BORDER_TRANSPARENT);
    result.applied = true;
    return result;
}

bool FocusAligner::bringsCloser(const cv::Mat& reference, const cv::Matx23d& m) {
    // Key points of a frame sharp elsewhere than the reference sit a pixel or
    // two off their partners wherever the blur differs across the point (a
    // tilted specimen): every pair leans the same way, and the fit reads a
    // move the frame never made. Blur the same at every place shifts nothing
    // in the pictures themselves, so the move must also bring the frame's
    // picture closer to the reference's than leaving it, at half size over
    // the searched rectangle.
    cv::resize(currentLuma, halfCurrent, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    cv::resize(reference, halfReference, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    // The same move at half size: full-size centres are 2q + 0.5.
    const cv::Matx23d h(m(0, 0), 0, (m(0, 0) * 0.5 + m(0, 2) - 0.5) / 2.0, 0, m(1, 1),
                        (m(1, 1) * 0.5 + m(1, 2) - 0.5) / 2.0);
    cv::warpAffine(halfCurrent, halfMoved, h, halfCurrent.size(), cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    // Resampling smooths, and a smoothed frame reads closer to a blurrier
    // reference wherever it moves: all three are smoothed alike first, so
    // that only the move is compared.
    for (cv::Mat* plane : {&halfCurrent, &halfReference, &halfMoved})
        cv::GaussianBlur(*plane, *plane, cv::Size(), 1.5);
    // The rectangle is at quarter size; its rim is left out, where the moved
    // picture brings in what lay outside.
    const int rim = 8;
    cv::Rect r(searchRoi.x * 2 + rim, searchRoi.y * 2 + rim, searchRoi.width * 2 - 2 * rim,
               searchRoi.height * 2 - 2 * rim);
    r &= cv::Rect(rim, rim, halfCurrent.cols - 2 * rim, halfCurrent.rows - 2 * rim);
    if (r.width <= 0 || r.height <= 0)
        return true;
    return cv::norm(halfMoved(r), halfReference(r), cv::NORM_L2SQR) <
           cv::norm(halfCurrent(r), halfReference(r), cv::NORM_L2SQR);
}

bool FocusAligner::beatsStandingStill(const cv::Matx23d& m, double reach) const {
    // Root mean square distance over the pairs the fit keeps, fitted and
    // with the frame left where it is.
    double fitted = 0.0, still = 0.0;
    int n = 0;
    for (size_t i = 0; i < pairsCurrent.size() && i < pairsReference.size(); ++i) {
        const cv::Point2d p = pairsCurrent[i] * 4.0 + cv::Point2d(1.5, 1.5);
        const cv::Point2d q = pairsReference[i] * 4.0 + cv::Point2d(1.5, 1.5);
        const cv::Point2d to(m(0, 0) * p.x + m(0, 2), m(1, 1) * p.y + m(1, 2));
        const double d = length(to - q);
        if (d >= reach)
            continue;
        fitted += d * d;
        still += (p - q).dot(p - q);
        ++n;
    }
    if (n == 0)
        return true;
    return std::sqrt(still / n) - std::sqrt(fitted / n) >= kLeastGain;
}

void FocusAligner::fitAgreeing(cv::Matx23d& m, double reach) const {
    // Full-size pixel centres of the quarter-size key points.
    auto full = [](const cv::Point2d& p) { return p * 4.0 + cv::Point2d(1.5, 1.5); };
    double n = 0, px = 0, py = 0, qx = 0, qy = 0;
    std::vector<std::pair<cv::Point2d, cv::Point2d>> kept;
    for (size_t i = 0; i < pairsCurrent.size() && i < pairsReference.size(); ++i) {
        const cv::Point2d p = full(pairsCurrent[i]), q = full(pairsReference[i]);
        const cv::Point2d to(m(0, 0) * p.x + m(0, 2), m(1, 1) * p.y + m(1, 2));
        if (length(to - q) < reach)
            kept.emplace_back(p, q);
    }
    if (kept.size() < static_cast<size_t>(kMinSupport))
        return;
    for (const auto& k : kept) {
        px += k.first.x;
        py += k.first.y;
        qx += k.second.x;
        qy += k.second.y;
        ++n;
    }
    px /= n;
    py /= n;
    qx /= n;
    qy /= n;
    // q = s p + b per axis, one scale for both: s from the centred pairs.
    double pq = 0, pp = 0;
    for (const auto& k : kept) {
        const double ax = k.first.x - px, ay = k.first.y - py;
        pq += ax * (k.second.x - qx) + ay * (k.second.y - qy);
        pp += ax * ax + ay * ay;
    }
    if (pp <= 0)
        return;
    const double s = pq / pp;
    if (!(s > kScaleMin && s < kScaleMax))
        return;
    m = cv::Matx23d(s, 0, qx - s * px, 0, s, qy - s * py);
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
