#include "imaging/StitchMatcher.h"

#include "imaging/StitchRegistration.h"
#include "imaging/StoppableWork.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// Nearest train row for each query row in [begin, end), 32-byte rows.
template <typename Popcount>
void nearest32(const cv::Mat& query, const cv::Mat& train, int begin, int end, cv::DMatch* out, Popcount popcount) {
    for (int i = begin; i < end; ++i) {
        uint64_t a[4];
        std::memcpy(a, query.ptr(i), 32);
        int best = INT_MAX, bestIdx = -1;
        for (int j = 0; j < train.rows; ++j) {
            uint64_t b[4];
            std::memcpy(b, train.ptr(j), 32);
            const int d = popcount(a[0] ^ b[0]) + popcount(a[1] ^ b[1]) + popcount(a[2] ^ b[2]) + popcount(a[3] ^ b[3]);
            if (d < best) {
                best = d;
                bestIdx = j;
            }
        }
        out[i] = cv::DMatch(i, bestIdx, float(best));
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("popcnt"))) void nearest32Hardware(const cv::Mat& q, const cv::Mat& t, int b, int e,
                                                         cv::DMatch* out) {
    nearest32(q, t, b, e, out, [](uint64_t v) { return __builtin_popcountll(v); });
}
bool hasHardwarePopcount() {
    static const bool has = __builtin_cpu_supports("popcnt");
    return has;
}
#else
void nearest32Hardware(const cv::Mat& q, const cv::Mat& t, int b, int e, cv::DMatch* out) {
    nearest32(q, t, b, e, out, [](uint64_t v) { return __builtin_popcountll(v); });
}
bool hasHardwarePopcount() { return false; }
#endif

bool samePicture(const cv::Mat& a, const cv::Mat& b) {
    if (a.empty() || a.size() != b.size() || a.type() != b.type())
        return false;
    const size_t rowBytes = size_t(a.cols) * a.elemSize();
    for (int r = 0; r < a.rows; ++r)
        if (std::memcmp(a.ptr(r), b.ptr(r), rowBytes) != 0)
            return false;
    return true;
}

bool placeable(int status) { return status == StitchStill || status == StitchMoved; }

} // namespace

StitchMatcher::StitchMatcher() = default;

void StitchMatcher::matchHamming(const cv::Mat& query, const cv::Mat& train, std::vector<cv::DMatch>* matches) {
    matches->clear();
    if (query.empty() || train.empty())
        return;
    if (query.type() != CV_8U || train.type() != CV_8U || query.cols != 32 || train.cols != 32) {
        cv::BFMatcher(cv::NORM_HAMMING, false).match(query, train, *matches);
        return;
    }
    matches->resize(size_t(query.rows));
    cv::DMatch* out = matches->data();
    const bool hardware = hasHardwarePopcount();
    cv::parallel_for_(cv::Range(0, query.rows), [&](const cv::Range& r) {
        if (hardware)
            nearest32Hardware(query, train, r.start, r.end, out);
        else
            nearest32(query, train, r.start, r.end, out, [](uint64_t v) { return __builtin_popcountll(v); });
    });
}

bool StitchMatcher::matchHammingUnlessStopped(const cv::Mat& query, const cv::Mat& train,
                                              std::vector<cv::DMatch>* matches) {
    // Rows are matched each on its own: blocks of them give the very matches
    // one call gives.
    constexpr int block = 16384;
    if (!m_stopped || query.rows <= block) {
        matchHamming(query, train, matches);
        return true;
    }
    matches->clear();
    matches->reserve(size_t(query.rows));
    std::vector<cv::DMatch> part;
    for (int r0 = 0; r0 < query.rows; r0 += block) {
        if (r0 > 0 && stopped())
            return false;
        matchHamming(query.rowRange(r0, std::min(query.rows, r0 + block)), train, &part);
        for (cv::DMatch m : part) {
            m.queryIdx += r0;
            matches->push_back(m);
        }
    }
    return true;
}

void StitchMatcher::detectOrbFeatures(const cv::Mat& image, int features, std::vector<cv::KeyPoint>* keyPoints,
                                      cv::Mat* descriptors) {
    keyPoints->clear();
    *descriptors = cv::Mat();
    if (image.empty() || features <= 0)
        return;
    cv::Ptr<cv::ORB> orb = cv::ORB::create(features, 1.33f, 3, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 9);
    // One pass over one pyramid: the same key points and descriptors as
    // detecting first and computing after.
    orb->detectAndCompute(image, cv::noArray(), *keyPoints, *descriptors);
}

bool StitchMatcher::detectUnlessStopped(const cv::Mat& image, int features, std::vector<cv::KeyPoint>* keyPoints,
                                        cv::Mat* descriptors) {
    if (!m_stopped) {
        detectOrbFeatures(image, features, keyPoints, descriptors);
        return true;
    }
    // ORB has no place to stop at, and a detection in bands would find other
    // features: the one detection runs on a thread of its own while this one
    // looks at the stop flag, and a stop leaves it to end by itself.
    struct Detection {
        cv::Mat image;
        std::vector<cv::KeyPoint> keyPoints;
        cv::Mat descriptors;
    };
    auto job = std::make_shared<Detection>();
    job->image = image;
    if (!StoppableWork::run(
            [job, features] {
                detectOrbFeatures(job->image, features, &job->keyPoints, &job->descriptors);
                job->image.release();
            },
            m_stopped))
        return false;
    *keyPoints = std::move(job->keyPoints);
    *descriptors = job->descriptors;
    return true;
}

const StitchMatcher::CachedFeatures& StitchMatcher::referenceFeatures(const cv::Mat& reference, int features) {
    if (m_reference.features == features && samePicture(m_reference.image, reference))
        return m_reference;
    if (m_lastFrame.features == features && samePicture(m_lastFrame.image, reference)) {
        std::swap(m_reference, m_lastFrame);
        return m_reference;
    }
    m_reference.image = reference.clone();
    m_reference.features = features;
    detectOrbFeatures(m_reference.image, features, &m_reference.keyPoints, &m_reference.descriptors);
    return m_reference;
}

int StitchMatcher::computeFrameOffset(const std::vector<cv::KeyPoint>& kp1, const cv::Mat& desc1,
                                      const std::vector<cv::KeyPoint>& kp2, const cv::Mat& desc2,
                                      cv::Size frameSize, int* offsetX, int* offsetY, StitchVotes* votes) {
    if (desc1.rows <= 100 || desc2.rows <= 100)
        return StitchFewFeatures;

    if (!matchHammingUnlessStopped(desc1, desc2, &m_all))
        return StitchUnreliable;
    std::stable_sort(m_all.begin(), m_all.end(),
                     [](const cv::DMatch& a, const cv::DMatch& b) { return a.distance < b.distance; });
    m_all.resize(size_t(std::floor(0.3 * double(m_all.size()))));
    if (m_all.empty())
        return StitchUnreliable;

    const float dMin = std::min(10000.0f, m_all.front().distance);
    const float gate = std::max(20.0f, 2.0f * dMin);
    m_gated.clear();
    for (const cv::DMatch& m : m_all)
        if (m.distance <= gate)
            m_gated.push_back(m);
    if (m_gated.size() < 5)
        return StitchUnreliable;

    // Homography inlier filter (RHO).
    std::vector<cv::Point2f> p1, p2;
    p1.reserve(m_gated.size());
    p2.reserve(m_gated.size());
    for (const cv::DMatch& m : m_gated) {
        p1.push_back(kp1[size_t(m.queryIdx)].pt);
        p2.push_back(kp2[size_t(m.trainIdx)].pt);
    }
    std::vector<uchar> inlierMask;
    try {
        cv::findHomography(p1, p2, cv::RHO, 3.0, inlierMask, 2000, 0.995);
    } catch (const cv::Exception&) {
        inlierMask.clear(); // degenerate point sets: no inliers
    }
    m_inliers.clear();
    for (size_t i = 0; i < inlierMask.size() && i < m_gated.size(); ++i)
        if (inlierMask[i])
            m_inliers.push_back(m_gated[i]);

    *offsetX = -10000;
    *offsetY = -10000;
    const int xlo = frameSize.width / 4, xhi = xlo + frameSize.width / 2;
    const int ylo = frameSize.height / 4, yhi = ylo + frameSize.height / 2;
    int best = 0;
    for (const cv::DMatch& m : m_inliers) {
        const cv::Point2f a = kp1[size_t(m.queryIdx)].pt;
        const cv::Point2f b = kp2[size_t(m.trainIdx)].pt;
        const float dx = b.x - a.x, dy = b.y - a.y;
        const int kx = int(std::round(10.0f * dx)), ky = int(std::round(10.0f * dy));
        const int weight = (b.x > xlo && b.x < xhi && b.y > ylo && b.y < yhi) ? 2 : 1;
        auto it = std::find_if(votes->begin(), votes->end(),
                               [kx, ky](const StitchVote& v) { return v.x == kx && v.y == ky; });
        if (it == votes->end()) {
            votes->push_back({kx, ky, weight});
            continue;
        }
        it->weight += weight;
        if (it->weight > best) {
            best = it->weight;
            *offsetX = int(dx);
            *offsetY = int(dy);
        }
    }
    if (std::abs(*offsetX) < 31 && std::abs(*offsetY) < 31)
        return StitchStill;
    return best >= 4 ? StitchMoved : StitchUnreliable;
}

int StitchMatcher::matchFrames(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                               int* offsetY, StitchVotes* votes) {
    const int n = featureCount(precision);
    const CachedFeatures& ref = referenceFeatures(reference, n);
    m_lastFrame.image = frame.clone();
    m_lastFrame.features = n;
    detectOrbFeatures(m_lastFrame.image, n, &m_lastFrame.keyPoints, &m_lastFrame.descriptors);
    m_lastReferenceCount = ref.descriptors.rows;
    m_lastFrameCount = m_lastFrame.descriptors.rows;
    return computeFrameOffset(ref.keyPoints, ref.descriptors, m_lastFrame.keyPoints, m_lastFrame.descriptors,
                              frame.size(), offsetX, offsetY, votes);
}

int StitchMatcher::regionMatch(const std::vector<cv::KeyPoint>& kp1, const cv::Mat& desc1,
                               const std::vector<cv::KeyPoint>& kp2, const cv::Mat& desc2, cv::Size frameSize,
                               int* offsetX, int* offsetY, StitchVotes* votes) {
    // Two evaluations, each with its own homography samples; only the votes
    // both found count.
    StitchVotes a, b;
    int ax = 0, ay = 0;
    const int first = computeFrameOffset(kp1, desc1, kp2, desc2, frameSize, &ax, &ay, &a);
    const int second = computeFrameOffset(kp1, desc1, kp2, desc2, frameSize, offsetX, offsetY, &b);
    if (!placeable(first) || !placeable(second))
        return StitchUnreliable;
    *votes = commonStitchVotes(a, b, nullptr);
    // No shared vote means no offset to place at.
    return votes->empty() ? StitchUnreliable : StitchMoved;
}

int StitchMatcher::matchRegion(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                               int* offsetY, StitchVotes* votes) {
    const int n = featureCount(precision);
    std::vector<cv::KeyPoint> kp1, kp2;
    cv::Mat d1, d2;
    detectOrbFeatures(reference, n, &kp1, &d1);
    detectOrbFeatures(frame, n, &kp2, &d2);
    return regionMatch(kp1, d1, kp2, d2, frame.size(), offsetX, offsetY, votes);
}

int StitchMatcher::searchMosaic(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                                int* offsetX, int* offsetY, StitchVotes* votes) {
    if (mosaic.empty() || frame.empty())
        return StitchFewFeatures;
    const double s = precision ? 0.125 : 0.25;
    const int n = featureCount(precision);
    const int W = mosaic.cols, H = mosaic.rows;
    // The region has the last placed frame's size; without one, the frame's.
    int rw = region->width(), rh = region->height();
    if (rw <= 0 || rh <= 0) {
        rw = frame.cols;
        rh = frame.rows;
    }
    rw = std::min(rw, W);
    rh = std::min(rh, H);

    // Coarse step on the reduced mosaic, with a feature budget of n per
    // frame-sized area of the mosaic.
    cv::Mat smallMosaic, smallFrame;
    if (!reduceStitchImage(mosaic, s, &smallMosaic, m_stopped) || stopped())
        return StitchUnreliable;
    cv::resize(frame, smallFrame, cv::Size(), s, s, cv::INTER_AREA);
    const long long budget = (static_cast<long long>(W) * H) / (static_cast<long long>(rw) * rh) * n;
    std::vector<cv::KeyPoint> kpM, kpF;
    cv::Mat dM, dF;
    const bool detected = detectUnlessStopped(smallMosaic, int(std::min<long long>(budget, INT_MAX)), &kpM, &dM);
    smallMosaic.release();
    if (!detected || stopped())
        return StitchUnreliable;
    detectOrbFeatures(smallFrame, n, &kpF, &dF);
    // The central box comes from the unreduced frame: every weight is 1.
    const int coarse = computeFrameOffset(kpM, dM, kpF, dF, frame.size(), offsetX, offsetY, votes);
    if (!placeable(coarse))
        return coarse;

    int rx = int(-*offsetX / s), ry = int(-*offsetY / s);
    rx = std::max(0, rx);
    ry = std::max(0, ry);
    if (rx + rw > W)
        rx = W - rw;
    if (ry + rh > H)
        ry = H - rh;
    *region = QRect(rx, ry, rw, rh);
    if (stopped())
        return StitchUnreliable;

    std::vector<cv::KeyPoint> kp1, kp2;
    cv::Mat d1, d2;
    detectOrbFeatures(mosaic(cv::Rect(rx, ry, rw, rh)).clone(), n, &kp1, &d1);
    detectOrbFeatures(frame, n, &kp2, &d2);
    return regionMatch(kp1, d1, kp2, d2, frame.size(), offsetX, offsetY, votes);
}
