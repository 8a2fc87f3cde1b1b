#pragma once

#include <opencv2/core.hpp>

#include <vector>

// The focus-stacking frame gate: decides which camera frames are worth
// fusing. It measures a 16 x 16 sharpness grid of each frame's luma at 1/8
// size and compares it with the best each cell has shown in accepted frames.
// Without Zoom And Align a frame is taken as soon as one cell is clearly
// sharper than before; with it each cell is followed through rising and
// falling sharpness and the frame at the peak (the candidate) is taken.
//
// Thread: used only on the camera's save thread (inside
// ThreadJingShenHigh::pushFrame) and by the thread that prepares or discards a
// run; the fusion worker never touches it. The worker owns the queues; this
// class only says what to do with them.
class FocusFrameGate {
public:
    // Cell states of the Zoom And Align tracking.
    enum CellState { Flat = 0, Rising = 1, Falling = 2, Raised = 3 };

    struct Verdict {
        bool accepted = false;
        int mode = 0;      // frame mode with Zoom And Align: 0 flat, 1 rising, 2 falling, 3 raised
        int fallCount = 0; // cells falling in this frame
    };

    enum class Outcome { Appended, Merged, Dropped };

    // A cell counts as sharper than a held one above this factor.
    static constexpr float kClearlySharper = 1.05f;

    // The candidate copies are full-size frames, freed at once when released
    // (see LargeBufferAllocator).
    FocusFrameGate();

    // First frame of a run (packed RGB888): the cells and its grid as
    // measure() makes them, then start() with the grid.
    void initGrid(const cv::Mat& rgb);
    // Starts the tracking from a first grid (256 values): baseline and
    // previous grid := it, all cells flat, counters 0, no candidate.
    void start(const std::vector<float>& firstGrid);

    // Measures a packed RGB888 frame of the run's size: reduced to 1/8 first,
    // so that no full-size plane is made for it on the camera's thread.
    void measure(const cv::Mat& rgb, std::vector<float>& grid) const;
    // Applies the rule to a measured frame: updates the cell states, the
    // counters and the candidate (a copy of `rgb` when the rule takes it).
    // `rgb` may be any picture; only copies of it are kept.
    Verdict decide(const std::vector<float>& grid, const cv::Mat& rgb, bool align);

    // What to do with an accepted frame given the queue: append when fewer
    // than two frames are queued; else merge into the waiting one the cells
    // (mergedCells) where the frame is sharper than both the waiting frame
    // and what the fused and fusing frames hold; drop it when there are
    // none. Updates the baseline and what the queued frames hold.
    Outcome commit(const std::vector<float>& grid, bool queueFull);
    // The cells the last Merged outcome takes from the frame into the
    // waiting one, in cell order.
    const std::vector<int>& mergedCells() const { return merged; }
    // The part of a frame of `frameSize` that `cell` stands for: the cells
    // scaled up to full size, with the grid's margins going to the cells at
    // the edges, so the cells cover the frame. Empty before initGrid.
    cv::Rect area(int cell, cv::Size frameSize) const;
    // Cells in which `seen` (the per-cell maximum of the frames offered) is
    // clearly sharper than `fused` (what the fused picture holds), or whose
    // peak is not seen yet (`peakSeen`, when given: peaksSeen()): what the
    // stack has still to take in.
    static int risingCells(const std::vector<float>& seen, const std::vector<float>& fused,
                           const std::vector<char>& peakSeen = {});
    // Per cell, whether two frames measured came within the gate's margin of
    // its sharpest one since the run began.
    std::vector<char> peaksSeen() const;

    // The worker refused a queued frame (its geometry was in doubt): it is
    // never fused, so what it alone raised falls back to what the fused and
    // the still queued frames hold. `fused`: the per-cell maximum of the
    // frames fused in the run (its first frame included); `queued`: the grids
    // of the frames still queued, the one in fusion first. Held for the
    // refused frame, those cells refused every later frame sharp there.
    void recount(const std::vector<float>& fused, const std::vector<std::vector<float>>& queued);

    // After an accepted verdict: the frame it puts into the queue, and that
    // frame's grid (which the queue and commit() take: with Zoom And Align
    // the queued frame is an earlier one than the frame just measured).
    // Otherwise the peak candidate so far.
    const cv::Mat& candidate() const { return lastAccepted ? takenFrame : candidateFrame; }
    const std::vector<float>& candidateGrid() const { return lastAccepted ? takenGrid : candidateCells; }
    void releaseCandidate();

    const std::vector<cv::Rect>& cells() const { return gridCells; }
    // The per-cell maximum of every accepted frame: ranks frames for the
    // queue.
    const std::vector<float>& baseline() const { return baselineGrid; }
    // The per-cell maximum of the frames that are fused or still queued: a
    // frame is clearly sharper against this. It differs from the baseline
    // once a queued frame is refused by the worker: it is never fused, so
    // the cells it alone was sharp in fall back. Compared with the
    // baseline, a later frame sharp there is refused, and those cells stay
    // blurred in the result for good.
    const std::vector<float>& held() const { return heldGrid; }
    const std::vector<int>& states() const { return cellStates; }
    int mode() const { return lastMode; }
    int holds() const { return holdCount; }
    bool hasCandidate() const { return candidateValid; }

private:
    void takeCandidate(const cv::Mat& rgb, const std::vector<float>& grid);
    void take(const cv::Mat& frame, const std::vector<float>& grid);

    std::vector<cv::Rect> gridCells;
    std::vector<float> baselineGrid;
    std::vector<float> heldGrid;
    std::vector<float> heldBeforeWaiting; // what the frames before the waiting one hold
    std::vector<float> waitingGrid;       // the grid of the waiting frame, merged cells included
    std::vector<int> merged;
    std::vector<float> previousGrid; // the grid of the frame measured before
    std::vector<float> seenGrid; // per-cell maximum of every frame measured
    std::vector<char> fellGrid;  // the cell fell clearly below seenGrid since the run began
    std::vector<char> nearPeak;  // frames near seenGrid since it last rose clearly (at most 2)
    std::vector<int> cellStates;
    int lastMode = 0;
    int holdCount = 0;
    cv::Mat candidateFrame;
    std::vector<float> candidateCells;
    // What the last accepted verdict queues. With Zoom And Align on a tilted
    // specimen one band falls while the next rises in every frame: the frame
    // queued is the peak for the falling cells and becomes the candidate for
    // the rising ones, so the two are kept apart.
    cv::Mat takenFrame;
    std::vector<float> takenGrid;
    bool lastAccepted = false;
    // Set only when the candidate holds a frame of this run: a falling frame
    // after a raised one could otherwise queue a candidate never taken.
    bool candidateValid = false;
};
