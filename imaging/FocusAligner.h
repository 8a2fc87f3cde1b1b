#pragma once

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <vector>

// Zoom And Align of focus stacking: turning the focus changes the
// magnification slightly and may shift the picture. The aligner estimates,
// from SIFT key points matched at quarter size inside a search rectangle, the
// scale between a frame's luma and the reference luma (the last fused frame)
// and then the remaining shift, and brings the frame onto the reference.
// Scale and shift come from voting histograms with a tolerance window, which
// ignore outlying matches without an iterative fit.
//
// In a run each frame is aligned onto the previous aligned frame, so
// alignFrame detects key points once per frame: the shift comes from the same
// matches as the scale, and the frame's key points, carried into the aligned
// geometry, serve as the reference key points of the next frame (when the
// caller names the next search rectangle with setNextSearchRoi).
//
// Thread: one aligner per fusion worker, used only on the worker thread.
class FocusAligner {
public:
    struct Result {
        float scale = -1.0f;  // -1 when no estimate was found
        bool applied = false; // the frame was scaled (and shifted)
        cv::Point offset;     // full-size pixels, current minus reference
    };

    FocusAligner();

    // SIFT (512 features, 3 octave layers, contrast and edge threshold 0.01,
    // sigma 1.6) and an exhaustive L2 matcher; ratio test 0.7.
    void createDetector();

    // The search rectangle on the quarter-size pictures (see
    // FocusStackMath::searchRect); set before every frame.
    void setSearchRoi(const cv::Rect& roi) { searchRoi = roi; }
    cv::Rect roi() const { return searchRoi; }
    // The search rectangle of the frame after the next alignFrame, whose
    // reference will be the luma of the frame that call aligns. With it,
    // alignFrame keeps that frame's key points for the next call; without it
    // (empty), the next call detects on its reference. Cleared by alignFrame.
    void setNextSearchRoi(const cv::Rect& roi) { nextRoi = roi; }
    // The next reference is not the last aligned frame (a new run, or a frame
    // fused without alignment): the kept key points are dropped.
    void forgetReference();

    // Scale that brings `current` onto `reference` (8-bit luma planes of the
    // same size): > 1 when the current picture is smaller. -1 when no
    // estimate exists (too few key points or matches, no ratio in 0.75..1.25).
    // Keeps the reference's key points for estimateOffset.
    float estimateScale(const cv::Mat& current, const cv::Mat& reference);

    // Shift (dx, dy) of the scaled current luma against the reference, in
    // full-size pixels (current minus reference); (0, 0) when nothing matched.
    // Uses the reference key points of the preceding estimateScale and narrows
    // the search rectangle to the scaled picture.
    cv::Point estimateOffset(const cv::Mat& scaled, const cv::Mat& reference);

    // The alignment step of a frame (packed YCrCb, the frame's size): when the
    // scale estimate lies strictly inside 0.75..1.25, the frame is resized by
    // it, the shift is estimated, and the shifted, scaled picture is copied
    // over the frame where they overlap (the rest keeps its own pixels).
    // The shift comes from the scale's matches carried through the scaling
    // (no second detection). The reference key points are those kept by the
    // previous call when it was given this call's search rectangle as the
    // next one; then `referenceLuma` must be the luma that call left.
    Result alignFrame(cv::Mat& ycrcb, const cv::Mat& referenceLuma);

    // Copies the part of `scaled` that lands inside `frame` when `scaled` is
    // moved by (-dx, -dy): a positive dx takes `scaled` from column dx on and
    // writes it from column 0; a negative dx writes it from column -dx on.
    static void copyOverlap(const cv::Mat& scaled, cv::Mat& frame, int dx, int dy);

private:
    bool detect(const cv::Mat& quarter, std::vector<cv::KeyPoint>& keys, cv::Mat& desc);
    // Ratio-tested matches of current to reference key points (quarter-size
    // coordinates of the same origin) closer than a grid cell's diagonal:
    // pairs (current, reference).
    void matchPairs(const std::vector<cv::KeyPoint>& curKeys, const cv::Mat& curDesc,
                    const std::vector<cv::KeyPoint>& refKeys, const cv::Mat& refDesc, double diagonal,
                    std::vector<cv::Point2d>& ps, std::vector<cv::Point2d>& qs);
    // The scale vote over matched pairs in quarter-size coordinates of a
    // w4 x h4 picture; -1 when no ratio wins.
    static float scaleFromPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, int w4, int h4);
    // Key points and descriptors of `region` of a quarter-size picture, in
    // whole-picture coordinates.
    void detectIn(const cv::Mat& quarter, const cv::Rect& region, std::vector<cv::KeyPoint>& keys, cv::Mat& desc);
    // `r` widened up and left to a corner on the detection phase grid.
    static cv::Rect snapped(const cv::Rect& r);
    // Keeps the current frame's key points moved into the aligned geometry
    // (scale about the origin, then minus the shift) that lie in `next` and
    // on pixels the aligned frame took from the scaled picture.
    void keepReference(const cv::Rect& next, float scale, cv::Point offset, bool applied, cv::Size frameSize);

    cv::Ptr<cv::Feature2D> detector;
    cv::Ptr<cv::DescriptorMatcher> matcher;
    float matchRatio = 0.7f;
    cv::Rect searchRoi;
    cv::Rect nextRoi;
    // Reference key points kept from the last aligned frame (quarter-size
    // coordinates of the whole picture), valid for search rectangle keptRoi.
    bool keptValid = false;
    cv::Rect keptRoi;
    cv::Size keptSize;
    std::vector<cv::KeyPoint> keptKeys;
    cv::Mat keptDesc;
    cv::Ptr<cv::Feature2D> wideDetector; // for a region wider than the search rectangle
    int wideFeatures = 0;
    std::vector<cv::KeyPoint> roiKeys;
    cv::Mat roiDesc;
    std::vector<cv::KeyPoint> allKeys;
    cv::Mat allDesc;
    std::vector<cv::Point2d> pairsCurrent, pairsReference;
    // Scratch, reused frame to frame.
    cv::Mat quarterCurrent, quarterReference, scaledPlanes, currentLuma, scaledLuma;
    std::vector<cv::KeyPoint> currentKeys, referenceKeys;
    cv::Mat currentDesc, referenceDesc;
    std::vector<std::vector<cv::DMatch>> matches;
};
