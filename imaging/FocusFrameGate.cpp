#include "imaging/FocusFrameGate.h"

#include "imaging/FocusStackMath.h"
#include "imaging/LargeBufferAllocator.h"

#include <algorithm>

namespace {
constexpr float kFallRatio = 0.95f;     // a cell falls when it loses more than 5 %
constexpr int kHoldAccept = 3;          // the third raised frame in a row is taken
constexpr int kHoldLimit = 10;
} // namespace

FocusFrameGate::FocusFrameGate() {
    LargeBufferAllocator::adopt({&candidateFrame, &takenFrame});
}

void FocusFrameGate::initGrid(const cv::Mat& rgb) {
    gridCells = FocusStackMath::gridCells(cv::Size(cvRound(rgb.cols * 0.125), cvRound(rgb.rows * 0.125)));
    std::vector<float> grid;
    measure(rgb, grid);
    start(grid);
}

void FocusFrameGate::start(const std::vector<float>& firstGrid) {
    baselineGrid = firstGrid;
    heldGrid = firstGrid;
    seenGrid = firstGrid;
    fellGrid.assign(firstGrid.size(), 0);
    nearPeak.assign(firstGrid.size(), 0);
    heldBeforeWaiting = firstGrid;
    waitingGrid = firstGrid;
    previousGrid = firstGrid;
    cellStates.assign(firstGrid.size(), Flat);
    lastMode = 0;
    holdCount = 0;
    candidateValid = false;
}

void FocusFrameGate::measure(const cv::Mat& rgb, std::vector<float>& grid) const {
    // Every camera frame of a run is measured: a full-size luma of a 4K
    // frame would be 33 MB made and freed on the camera's thread each time.
    cv::Mat y;
    FocusStackMath::luma(FocusStackMath::eighth(rgb), y);
    FocusStackMath::gridSharpness(y, gridCells, grid);
}

cv::Rect FocusFrameGate::area(int cell, cv::Size frameSize) const {
    if (cell < 0 || cell >= int(gridCells.size()))
        return cv::Rect();
    const int side = FocusStackMath::kGridSide, r = cell / side, c = cell % side;
    // Edges of cell columns and rows at full size; the outer ones are the frame's.
    auto edge = [&](int k, bool column) {
        if (k == 0)
            return 0;
        if (k == side)
            return column ? frameSize.width : frameSize.height;
        const cv::Rect& g = gridCells[size_t(column ? k : k * side)];
        return 8 * (column ? g.x : g.y);
    };
    return cv::Rect(cv::Point(edge(c, true), edge(r, false)), cv::Point(edge(c + 1, true), edge(r + 1, false)));
}

int FocusFrameGate::risingCells(const std::vector<float>& seen, const std::vector<float>& fused,
                                const std::vector<char>& peakSeen) {
    int n = 0;
    for (size_t i = 0; i < std::min(seen.size(), fused.size()); ++i)
        n += seen[i] > kClearlySharper * fused[i] || (i < peakSeen.size() && !peakSeen[i]);
    return n;
}

std::vector<char> FocusFrameGate::peaksSeen() const {
    std::vector<char> seen(nearPeak.size());
    for (size_t i = 0; i < nearPeak.size(); ++i)
        seen[i] = nearPeak[i] >= 2;
    return seen;
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
    // With Zoom And Align a cell whose sharpest frame the tracking let go (on a slow sweep a
    // cell falls by a few percent a frame, and the frame queued at its fall
    // was past its peak) is taken as soon as a later sweep brings it near
    // that peak again. A peak counts as seen once two frames came near it:
    // a single frame may lie on its flank between frames the camera's
    // thread had no time for.
    // A frame that repeats the one before exactly is the camera sending its
    // last picture again (its next exposure not over, as on a busy machine):
    // no second sighting. Counted, a band whose focus the sweep offered in
    // one picture only, repeated, was at its sharpest at once, and the
    // panel said so of an export whose bands were a third as sharp as at
    // focus.
    const bool repeat = grid == previousGrid;
    bool lostPeak = false;
    for (size_t i = 0; i < std::min(n, seenGrid.size()); ++i) {
        if (grid[i] > kClearlySharper * seenGrid[i])
            nearPeak[i] = 0;
        if (grid[i] * kClearlySharper < seenGrid[i]) {
            fellGrid[i] = 1;
        } else {
            nearPeak[i] = char(std::min(2, nearPeak[i] + !repeat));
            lostPeak = lostPeak || (fellGrid[i] && grid[i] > kClearlySharper * heldGrid[i]);
        }
        seenGrid[i] = std::max(seenGrid[i], grid[i]);
    }
    if (!align) {
        for (size_t i = 0; i < n && !v.accepted; ++i)
            v.accepted = grid[i] > kClearlySharper * heldGrid[i];
        if (v.accepted)
            take(rgb, grid);
        previousGrid = grid;
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
    if (lostPeak && !v.accepted) {
        v.accepted = true;
        take(rgb, grid);
    }
    v.mode = m;
    lastMode = m;
    previousGrid = grid;
    return v;
}

FocusFrameGate::Outcome FocusFrameGate::commit(const std::vector<float>& grid, bool queueFull) {
    merged.clear();
    if (!queueFull) {
        heldBeforeWaiting = heldGrid;
        waitingGrid = grid;
    } else {
        // The waiting place takes the cells of the frame that sharpen the
        // picture, whatever else either frame brings: given up whole for a
        // frame that raised more cells, a band's sharp frame of a later sweep
        // was lost, and on a busy machine the band stayed blurred.
        for (size_t i = 0; i < std::min(grid.size(), waitingGrid.size()); ++i)
            if (grid[i] > waitingGrid[i] && grid[i] > heldBeforeWaiting[i]) {
                merged.push_back(int(i));
                waitingGrid[i] = grid[i];
            }
        if (merged.empty())
            return Outcome::Dropped;
    }
    FocusStackMath::raiseCells(baselineGrid, grid);
    FocusStackMath::raiseCells(heldGrid, waitingGrid);
    return queueFull ? Outcome::Merged : Outcome::Appended;
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
