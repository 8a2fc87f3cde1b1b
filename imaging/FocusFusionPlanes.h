#pragma once

#include <opencv2/core.hpp>

// The per-pixel state of a focus-stacking run: for every pixel the best and
// second-best focus value seen so far, the YCrCb values of the frames that
// gave them, and the fused output. Pictures are packed 3-channel YCrCb (Y, Cr,
// Cb interleaved, which is the same data as the three planes apart) and 8-bit
// focus planes, all of the run's output size.
//
// Thread: owned by the fusion worker; set up and released by the thread that
// prepares or discards the run while the worker is not running.
class FocusFusionPlanes {
public:
    // A pixel whose best focus is above this takes the best frame's values
    // unblended; at or below it the best and second-best are blended by
    // focus, as long as the second is nearly as sharp: the second frame's
    // weight fades to 0 as its focus falls to kPickShare of the best's.
    // Focus values are FocusStackMath::focusMap's: 30 is under four grey
    // levels of detail.
    static constexpr int kTrustedFocus = 30;
    static constexpr float kPickShare = 0.8f;

    // The planes live as long as the run and are freed at once when it ends
    // (see LargeBufferAllocator).
    FocusFusionPlanes();

    // First frame of a run: best := the frame and its focus map, second := 0,
    // output := the frame.
    void init(const cv::Mat& ycrcb, const cv::Mat& focus);

    // Folds one frame (YCrCb, and its focus map) into the state and rewrites
    // the output. A focus value equal to the stored best only competes for the
    // second place. Rows are processed in parallel.
    void fuse(const cv::Mat& ycrcb, const cv::Mat& focus);

    void release();
    bool empty() const { return best.empty(); }
    cv::Size size() const { return best.size(); }

    const cv::Mat& output() const { return out; }
    const cv::Mat& bestValues() const { return best; }
    const cv::Mat& secondValues() const { return second; }
    const cv::Mat& bestFocusPlane() const { return bestFocus; }
    const cv::Mat& secondFocusPlane() const { return secondFocus; }

private:
    cv::Mat best, second, out; // CV_8UC3 YCrCb
    cv::Mat bestFocus, secondFocus; // CV_8UC1
};
