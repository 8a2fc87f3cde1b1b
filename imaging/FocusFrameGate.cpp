#include "imaging/FocusFrameGate.h"

#include "imaging/FocusStackMath.h"
#include "imaging/LargeBufferAllocator.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kClearlySharper = 1.05f; // a cell counts as sharper above 1.05 x its baseline
constexpr float kFallRatio = 0.95f;     // a cell falls when it loses more than 5 %
constexpr int kHoldAccept = 3;          // the third raised frame in a row is taken
constexpr int kHoldLimit = 10;
} // namespace

FocusFrameGate::FocusFrameGate() {
    LargeBufferAllocator::adopt({&candidateFrame, &takenFrame});
}

void FocusFrameGate::initGrid(const cv::Mat& luma) {
    const cv::Mat ys = FocusStackMath::eighth(luma);
    gridCells = FocusStackMath::gridCells(ys.size());
    std::vector<float> grid;
    FocusStackMath::gridSharpness(ys, gridCells, grid);
    start(grid);
}

void FocusFrameGate::start(const std::vector<float>& firstGrid) {
    baselineGrid = firstGrid;
    heldGrid = firstGrid;
    heldBeforeWaiting = firstGrid;
    waitingGrid = firstGrid;
    previousGrid = firstGrid;
    cellStates.assign(firstGrid.size(), Flat);
    lastMode = 0;
    holdCount = 0;
    candidateValid = false;
}

void FocusFrameGate::measure(const cv::Mat& rgb, std::vector<float>& grid) const {
    cv::Mat y;
    FocusStackMath::luma(rgb, y);
    FocusStackMath::gridSharpness(FocusStackMath::eighth(y), gridCells, grid);
}

void FocusFrameGate::takeCandidate(const cv::Mat& rgb, const std::vector<float>& grid) {
    rgb.copyTo(candidateFrame);
    candidateCells = grid;
    candidateValid = true;
}

void FocusFrameGate::releaseCandidate() {
    candidateFrame.release();
    takenFrame.release();
    candidateValid = false;
    lastAccepted = false;
}

void FocusFrameGate::take(const cv::Mat& frame, const std::vector<float>& grid) {
    frame.copyTo(takenFrame);
    takenGrid = grid;
    lastAccepted = true;
}

FocusFrameGate::Verdict FocusFrameGate::decide(const std::vector<float>& grid, const cv::Mat& rgb, bool align) {
    Verdict v;
    lastAccepted = false;
    const size_t n = std::min(grid.size(), heldGrid.size());
    if (!align) {
        for (size_t i = 0; i < n && !v.accepted; ++i)
            v.accepted = grid[i] > kClearlySharper * heldGrid[i];
        if (v.accepted)
            take(rgb, grid);
        return v;
    }

    int m = 0;
    bool rising = false;
    for (size_t i = 0; i < n; ++i) {
        const float s = grid[i], b = kClearlySharper * heldGrid[i], p = previousGrid[i];
        int st = Flat;
        if (s > b && s > p) {
            st = Rising;
            rising = true;
            if (m == 0)
                m = 1;
        } else if (p * kFallRatio > s && p > b && cellStates[i] != Flat) {
            st = Falling;
            m = 2;
            ++v.fallCount;
        } else if (s > b) {
            st = Raised;
            if (m != 2)
                m = 3;
        }
        cellStates[i] = st;
    }

    switch (m) {
    case 1: // still climbing: this frame is the best so far
        takeCandidate(rgb, grid);
        holdCount = 0;
        break;
    case 2: // past the peak: the candidate is the frame before the fall
        if (lastMode != 0 && candidateValid) {
            v.accepted = true;
            holdCount = 0;
            // The candidate itself is queued (no copy); it is not queued twice.
            std::swap(takenFrame, candidateFrame);
            std::swap(takenGrid, candidateCells);
            lastAccepted = true;
            candidateValid = false;
        }
        // Cells that rise in the same frame (the next band of a tilted
        // specimen coming into focus) peak in this frame or a later one:
        // without it as the candidate, their fall would queue a frame in
        // which they were still blurred.
        if (rising)
            takeCandidate(rgb, grid);
        break;
    case 3:
        ++holdCount;
        if (holdCount == kHoldAccept) {
            v.accepted = true;
            takeCandidate(rgb, grid);
            take(candidateFrame, candidateCells);
        }
        holdCount = std::min(holdCount, kHoldLimit);
        break;
    default:
        break;
    }
    v.mode = m;
    lastMode = m;
    previousGrid = grid;
    return v;
}

double FocusFrameGate::gainOver(const std::vector<float>& grid, const std::vector<float>& held) {
    double gain = 0.0;
    for (size_t i = 0; i < std::min(grid.size(), held.size()); ++i)
        if (grid[i] > held[i])
            gain += std::log(grid[i] / held[i]);
    return gain;
}

FocusFrameGate::Outcome FocusFrameGate::commit(const std::vector<float>& grid, bool queueFull) {
    Outcome outcome = Outcome::Dropped;
    if (!queueFull)
        outcome = Outcome::Appended;
    else if (gainOver(grid, heldBeforeWaiting) > gainOver(waitingGrid, heldBeforeWaiting))
        // The one waiting place goes to the frame that brings the fused
        // picture furthest: ranked by where the baseline is high, a frame
        // that was the peak of a band still blurred gave way to one that
        // added little, and on a busy machine that band stayed blurred.
        outcome = Outcome::Replaced;
    if (outcome != Outcome::Dropped) {
        FocusStackMath::raiseCells(baselineGrid, grid);
        waitingGrid = grid;
        if (outcome == Outcome::Appended)
            heldBeforeWaiting = heldGrid;
        else
            heldGrid = heldBeforeWaiting; // the waiting frame is overwritten: what it alone held is gone
        FocusStackMath::raiseCells(heldGrid, grid);
    }
    return outcome;
}

void FocusFrameGate::recount(const std::vector<float>& fused, const std::vector<std::vector<float>>& queued) {
    // The waiting frame (the last queued, behind the one in fusion) is the
    // one a full queue's rule weighs against the others.
    heldBeforeWaiting = fused;
    for (size_t k = 0; k + 1 < queued.size(); ++k)
        FocusStackMath::raiseCells(heldBeforeWaiting, queued[k]);
    heldGrid = heldBeforeWaiting;
    if (!queued.empty()) {
        waitingGrid = queued.back();
        FocusStackMath::raiseCells(heldGrid, waitingGrid);
    }
}
