#pragma once

#include "imaging/StitchVote.h"

#include <QRect>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <functional>
#include <utility>
#include <vector>

// Status of a stitching match.
enum StitchStatus {
    StitchFewFeatures = 0, // 100 descriptors or fewer in either image
    StitchUnreliable = 1,  // too few reliable matches, or no vote reached weight 4
    StitchStill = 2,       // the leading offset is below 31 pixels in x and y
    StitchMoved = 3,       // a vote reached weight 4 or more
};

// Measures how far a frame lies from a reference image with ORB features,
// brute-force Hamming matching, a homography inlier filter and a vote over
// displacements in tenths of a pixel. Synchronous: ThreadPinJie runs it on
// its thread; tests and benchmarks call it directly. One object is used by
// one thread at a time. Images are 8-bit three-channel (RGB order).
//
// A displacement d is the movement of the picture content from the reference
// to the frame: the frame lies at (reference position - d).
class StitchMatcher {
public:
    StitchMatcher();

    // Frame-to-frame match: 2000 features each in Precision, 1000 in Fast.
    // Returns the status; the offsets (whole pixels, truncated) and the vote
    // table are written only from the stage the status names (see
    // computeFrameOffset). The vote table is appended to.
    int matchFrames(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                    int* offsetY, StitchVotes* votes);

    // Asked between the steps of a full search (each band of rows of the
    // mosaic's reduction, before the detection and the matching, every
    // 10 ms while the reduced mosaic's features are detected, and between
    // blocks of its features as they are matched): true ends the search
    // there, unplaced (StitchUnreliable).
    void setStopped(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

    // Full search of the whole mosaic. *region holds the last placed frame's
    // size on entry and the searched region (mosaic coordinates, the frame's
    // size) on return. With status 3 the vote table holds the votes that two
    // independent evaluations of the region share, never an empty table.
    int searchMosaic(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                     int* offsetX, int* offsetY, StitchVotes* votes);

    // The final stage of the full search alone, on a region that is already
    // known (after a registration): `reference` is the mosaic inside that
    // region. Status 3 with a non-empty shared vote table, or 1.
    int matchRegion(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                    int* offsetY, StitchVotes* votes);

    // ORB with the stitching settings (scale 1.33, 3 levels, Harris score,
    // FAST threshold 9, edge and patch 31), on the whole image.
    static void detectOrbFeatures(const cv::Mat& image, int features, std::vector<cv::KeyPoint>* keyPoints,
                                  cv::Mat* descriptors);

    // Matches image 1 features to image 2 features and votes. frameSize is the
    // size of the frame whose central half doubles a vote's weight (points of
    // image 2 are in that frame's coordinates). StitchUnreliable, with
    // nothing written, when stopped while matching (see setStopped).
    int computeFrameOffset(const std::vector<cv::KeyPoint>& kp1, const cv::Mat& desc1,
                           const std::vector<cv::KeyPoint>& kp2, const cv::Mat& desc2, cv::Size frameSize,
                           int* offsetX, int* offsetY, StitchVotes* votes);

    // Descriptors found in the reference and in the frame by the last
    // frame-to-frame match (-1 before the first).
    int lastReferenceDescriptors() const { return m_lastReferenceCount; }
    int lastFrameDescriptors() const { return m_lastFrameCount; }

    // Feature budget of a mode.
    static int featureCount(bool precision) { return precision ? 2000 : 1000; }

    // Brute-force Hamming matching without cross check: for every query
    // descriptor the nearest train descriptor (the first of equals), in query
    // order. The same result as cv::BFMatcher(NORM_HAMMING).match, several
    // times faster on 32-byte descriptors.
    static void matchHamming(const cv::Mat& query, const cv::Mat& train, std::vector<cv::DMatch>* matches);

private:
    // Features of a picture already detected. The reference of a
    // frame-to-frame match changes only when a frame is placed, and then it
    // is the frame just matched: keeping the features of the last reference
    // and of the last frame spares all but one detection per match. ORB is
    // deterministic, so reuse gives the very result a new detection would.
    struct CachedFeatures {
        cv::Mat image;
        int features = 0;
        std::vector<cv::KeyPoint> keyPoints;
        cv::Mat descriptors;
    };
    const CachedFeatures& referenceFeatures(const cv::Mat& reference, int features);

    int regionMatch(const std::vector<cv::KeyPoint>& kp1, const cv::Mat& desc1,
                    const std::vector<cv::KeyPoint>& kp2, const cv::Mat& desc2, cv::Size frameSize,
                    int* offsetX, int* offsetY, StitchVotes* votes);

    bool stopped() const { return m_stopped && m_stopped(); }
    // ORB as detectOrbFeatures runs it, looking at the stop flag while it
    // runs: false, with nothing written, once stopped (the detection ends by
    // itself later). A refusal of memory on the way is thrown here.
    // matchHamming, a block of query rows at a time with a look at the stop
    // flag between blocks (the whole mosaic's features are hundreds of
    // thousands): false once stopped, the matches then incomplete.
    bool matchHammingUnlessStopped(const cv::Mat& query, const cv::Mat& train, std::vector<cv::DMatch>* matches);
    bool detectUnlessStopped(const cv::Mat& image, int features, std::vector<cv::KeyPoint>* keyPoints,
                             cv::Mat* descriptors);

    std::function<bool()> m_stopped;
    int m_lastReferenceCount = -1;
    int m_lastFrameCount = -1;
    CachedFeatures m_reference;
    CachedFeatures m_lastFrame;
    // Working lists, kept to spare allocations between calls.
    std::vector<cv::DMatch> m_all, m_gated, m_inliers;
};
