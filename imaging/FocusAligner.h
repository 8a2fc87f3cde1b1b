#pragma once

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <functional>
#include <vector>

// Zoom And Align of focus stacking: turning the focus changes the
// magnification slightly and may shift the picture. Before a frame is fused
// it is brought onto the reference luma (the last frame fused with Zoom And
// Align on): the scale comes from SIFT key points matched at quarter size
// inside a search rectangle, the frame is scaled by it, and the remaining
// shift comes from a second detection on the scaled picture against the
// reference's key points of the same frame. Scale and shift come from voting
// histograms with a tolerance window, which ignore outlying matches without
// an iterative fit.
//
// The two detections of the scale estimate (current and reference) are
// independent and run in parallel; scratch pictures are reused frame to frame.
//
// Thread: one aligner per fusion worker, used only on the worker thread.
class FocusAligner {
public:
    struct Result {
        float scale = -1.0f;  // -1 when no estimate was found
        bool applied = false; // the frame was scaled (and shifted)
        cv::Point offset;     // full-size pixels, current minus reference
        // The frame and the reference share matched detail, but no scale and
        // shift carries enough of it onto the reference: the frame is left
        // as it is and is not to be fused.
        bool doubtful = false;
        int pairs = 0;    // matched pairs of the scale estimate
        int agreeing = 0; // of them, those the applied scale and shift bring together
        // stopRequested answered true: the step was left half-way, the frame untouched.
        bool stopped = false;
    };

    FocusAligner();
    // Asked between the pieces of align (each at most one key point
    // detection or one pass over the frame): once it answers true, align
    // leaves at once with `stopped` set. Empty: never asked.
    std::function<bool()> stopRequested;

    // Frees the scratch pictures and key points kept from frame to frame
    // (the next align makes them again).
    void releaseScratch();

    // SIFT (512 features, 3 octave layers, contrast and edge threshold 0.01,
    // sigma 1.6) and an exhaustive L2 matcher; ratio test 0.7.
    void createDetector();

    // The search rectangle on the quarter-size pictures (see
    // FocusStackMath::searchRect); set before every frame.
    void setSearchRoi(const cv::Rect& roi) { searchRoi = roi; }
    cv::Rect roi() const { return searchRoi; }

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

    // The alignment step of a frame (packed YCrCb of the reference's size,
    // luma in channel 0): when the scale estimate lies strictly inside
    // 0.75..1.25, the shift is estimated on the planes resized by it, scale
    // and shift are refined together by least squares over the key points
    // that agree with them, and the frame is scaled and shifted (to a
    // fraction of a pixel, one bicubic resampling) where it overlaps itself;
    // the rest keeps its own pixels. A frame that moved by less than half a
    // pixel, or that the fit brings no closer to the reference than leaving
    // it in place (its key points, or its picture at half size), is left as
    // it is: resampling costs fine detail.
    // Doubtful, and the frame untouched, when the frame matches the
    // reference but no scale wins enough votes, or the scale and shift do
    // not carry enough of the matched pairs onto each other. A frame with
    // too little in common to match is left as it is, not doubtful.
    Result align(cv::Mat& ycrcb, const cv::Mat& reference);

    // Copies the part of `scaled` that lands inside `frame` when `scaled` is
    // moved by (-dx, -dy): a positive dx takes `scaled` from column dx on and
    // writes it from column 0; a negative dx writes it from column -dx on.
    static void copyOverlap(const cv::Mat& scaled, cv::Mat& frame, int dx, int dy);

    // The scale vote over matched pairs (quarter-size coordinates of a
    // w4 x h4 picture, current and reference); -1 when no ratio wins.
    static float scaleFromPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, int w4,
                                int h4);

    // Pairs (quarter-size points, current and reference) that a scale about
    // the top-left corner followed by a shift back by `offset` (full-size
    // pixels) brings within a pixel of each other at quarter size.
    static int agreeingPairs(const std::vector<cv::Point2d>& ps, const std::vector<cv::Point2d>& qs, double scale,
                             cv::Point2d offset);

private:
    // Key points and descriptors of the search rectangle of a quarter-size
    // picture (rectangle coordinates); false when there are none.
    bool detect(cv::Feature2D& sift, const cv::Mat& quarter, std::vector<cv::KeyPoint>& keys, cv::Mat& desc) const;

    // Least-squares scale and shift (full-size pixels, current onto
    // reference) over the matched pairs that `m` brings within `reach`
    // pixels of each other; `m` unchanged when too few do.
    void fitAgreeing(cv::Matx23d& m, double reach) const;
    // The fit `m` brings the pairs it keeps (within `reach`) clearly closer
    // together than leaving the frame where it is.
    bool beatsStandingStill(const cv::Matx23d& m, double reach) const;
    // Moving the frame's luma (from the last align) by `m` brings it closer
    // to `reference` than leaving it where it is.
    bool bringsCloser(const cv::Mat& reference, const cv::Matx23d& m);

    cv::Ptr<cv::Feature2D> detector;
    cv::Ptr<cv::Feature2D> referenceDetector; // the same settings, for the parallel detection
    cv::Ptr<cv::DescriptorMatcher> matcher;
    float matchRatio = 0.7f;
    cv::Rect searchRoi;
    // Scratch, reused frame to frame.
    cv::Mat quarterCurrent, quarterReference, scaledPlanes, currentLuma, scaledLuma;
    cv::Mat halfCurrent, halfReference, halfMoved;
    std::vector<cv::KeyPoint> currentKeys, referenceKeys;
    cv::Mat currentDesc, referenceDesc;
    std::vector<std::vector<cv::DMatch>> matches;
    std::vector<cv::Point2d> pairsCurrent, pairsReference;
    cv::Point2d precise; // the last offset estimate before rounding, full-size pixels
};
