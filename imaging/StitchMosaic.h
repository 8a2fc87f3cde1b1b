#pragma once

#include "imaging/StitchVote.h"

#include <QImage>
#include <QMap>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <opencv2/core.hpp>

#include <memory>

// Outputs of one worker job (ThreadPinJie), as the panel hands them over.
struct StitchMatchResult {
    int status = 0;
    int offsetX = 0; // whole pixels, the leading vote's displacement
    int offsetY = 0;
    StitchVotes votes;
    QRect region; // R: where the reference lies in mosaic coordinates
    // Descriptors the frame-to-frame match found in each picture; -1 unknown.
    int referenceDescriptors = -1;
    int frameDescriptors = -1;
    // The registration of a frame the full search did not find, when the
    // worker ran it (ThreadPinJie::registration): -1 not run, 0 failed, 1
    // found with its top-left at registeredPos.
    int registration = -1;
    QPoint registeredPos;
};

// What the panel does after a result has been applied. Coordinates are
// mosaic (scene) coordinates.
struct StitchStep {
    enum Overlay { Keep, Hide, Show };
    int delayMs = 67;          // arm the next snapshot after this long; 0: do not (a job starts now)
    int head = -1;             // new head of the step queue (1 or 3); -1 leaves it
    Overlay matchOverlay = Keep;
    int matchMarker = 0;       // with Show: 0 green (estimate), 2 red (lost)
    bool matchMoved = false;   // move the match overlay to matchPos
    QPoint matchPos;
    bool placementMoved = false; // move the placement overlay to placementPos
    QPoint placementPos;
    bool placed = false;       // a frame was pasted: refresh the mosaic, size label, fit, enable Export
    bool grew = false;         // the mosaic grew: scene rectangle (0, 0, W, H)
    bool sizeLimit = false;    // show "Exceeding the maximum support size!"
    // The system refused the memory to go on (a growth, a search): the run
    // stops with noMemoryText shown, keeping the mosaic as it is.
    bool noMemory = false;
    bool hidePositionMarker = false;
    bool registered = false;   // the registration located the lost frame
    // Start ThreadPinJie::startFindRegion on `region` with the same frame
    // now; its result goes to applyFullSearchResult.
    bool startRegionMatch = false;
    QRect region;
    bool refused = false;      // a proposed place failed the overlap check: nothing pasted
    bool rebuilt = false;      // the first frame was replaced: the mosaic starts anew from this frame
    // What the operator should be told, when something must change. The
    // FirstJoin notices: the second frame of a mosaic could not be placed,
    // and why (too little fine detail to check the join, a pattern that
    // repeats, too few distinct features); the mosaic starts again from a
    // frame that has the detail.
    enum Notice { NoNotice, NeedTexture, HoldLonger, FirstJoinNoDetail, FirstJoinRepeats, FirstJoinNoMatch };
    Notice notice = NoNotice;
};

// Result of growStitchCanvas.
struct StitchPlacement {
    QPoint pos;             // the frame's top-left in mosaic coordinates (after any growth)
    bool pasted = false;
    bool grew = false;
    bool sizeLimit = false; // a side would have passed maxSide; nothing pasted
    bool noMemory = false;  // the system refused the memory to grow; nothing pasted
    bool markerCovered = false;
};

// The stitching mosaic and its placing rules: when a match result places a
// frame, the offset from the votes, growth in 300-pixel steps up to 21000
// pixels a side, and the feathered blend. The mosaic grows inside a larger
// buffer, its canvas: the first growth copies it into one reserved with
// room to grow to the largest side whichever way it goes
// (LargeBufferAllocator::canvas), and each step after it only widens the
// view of that buffer, so a step costs work in proportion to the added
// pixels, not to the mosaic. Where the system refuses that reservation, the
// canvas has room for half the new side on the sides that grow, and the
// mosaic is copied only when that is used up. Holds the bookkeeping that the
// stitching panel shows (placements, counters, overlay positions) but no
// widget: the panel mirrors each StitchStep into its scene and timers.
//
// The loop: rebuild() with the first frame. Then, for each new frame, while
// the head of the step queue is 1: ThreadPinJie::startFind(previousFrame(),
// frame) with region frameMatchRegion(), then applyMatchResult(); while it is
// 3: startFindMax(mosaic(), frame) with region fullSearchRegion(), then
// applyFullSearchResult(). A step with startRegionMatch asks for
// startFindRegion(mosaic(), same frame, step.region) at once; its result goes
// to applyFullSearchResult() too. Results carry the region their job used and
// come with the frame that job matched.
//
// The region match places a registered frame itself: a frame-to-frame match
// in the registered region finds the frame within a few pixels of the
// region, which its vote calls "still", and a still result never places.
//
// Every proposed place is checked before the paste: the frame must lie over
// covered mosaic and agree with it there (measureStitchOverlap); a frame
// that fails is not placed and counts as a failed match.
//
// Thread: one thread at a time. A copy shares the mosaic's pixels: the
// stitching worker applies a result to a copy of the panel's, which the panel
// adopts after the job. Frames and the mosaic are 8-bit three-channel
// matrices in RGB order; frames are copied where kept.
class StitchMosaic {
public:
    static constexpr int growStep = 300;
    static constexpr int maxSide = 21000;
    static constexpr int failureLimit = 13; // failed matches before a full search
    static constexpr int stillLimit = 13;   // still frames before a long wait
    // The overlap check: least share of the frame over covered mosaic, and
    // least correlation of the detail there. Measured on textured, text,
    // newspaper and vein specimens with noise, vignetting and JPEG: 0.99 at
    // the true place, at most 0.41 three pixels off and 0.2 a text line off.
    // Veins one period apart agree as well as at the true place: no picture
    // check can tell those apart.
    static constexpr double minCovered = 0.1;
    static constexpr double minAgreement = 0.6;
    // Moved results since the last placement that placed nothing before the
    // operator is asked to hold each place longer (a hold of four frames
    // with one in transit leaves three); being lost after any such result
    // asks too.
    static constexpr int unplacedLimit = 4;
    // Whether a frame can start a mosaic: distinct features enough to be
    // matched (more than 100 descriptors, when known: -1) and fine detail
    // enough for the overlap check to judge the frames that join it.
    static bool canStartMosaic(const cv::Mat& frame, int descriptors);
    // Full searches lost while the mosaic holds its first frame alone before
    // the mosaic starts again from a frame that can start one and was held
    // still (alike the frame before it, not blurred by a move: noteFrame).
    static constexpr int firstJoinSearchLimit = 3;
    static QString noticeText(StitchStep::Notice notice, int language);

    // Scene and initial mosaic side of a mode.
    static int sceneSide(bool precision) { return precision ? 5000 : 2500; }
    // The growth-limit message in a language (0 simplified Chinese, 1 English,
    // 2 traditional Chinese).
    static QString sizeLimitText(int language);
    // The same for a run stopped because the system refused memory.
    static QString noMemoryText(int language);
    // The same refusal before any frame was placed: nothing to export.
    static QString noMemoryAtStartText(int language);

    // Precision uses the frame-sized mask, Fast the half-size one.
    void setPrecision(bool precision) { m_precision = precision; }
    bool precision() const { return m_precision; }
    // Place each frame at its exact position (on by default): the vote mean
    // before rounding, refined to a fraction of a pixel from the pictures,
    // and the fraction that rounding a placement drops carried into the next
    // frame-to-frame placement. Off: the rounded vote mean alone
    // (stitchVoteMean), whose rounding errors add up along a chain of frames.
    void setSubPixelRefinement(bool on) { m_subPixel = on; }
    // The hub's feather masks (shared, not copied). A mask whose size differs
    // from the frames' is stretched to the frame size for the blend.
    void setFeatherMasks(const cv::Mat& full, const cv::Mat& half);

    // Starts a new mosaic of side x side black pixels (at least the frame's
    // size) with `frame` in its centre as frame 0. Keeps the failure and still
    // counters.
    void rebuild(const cv::Mat& frame, int side);
    // The same from `prepared`, startingMosaic(frame, side) made beforehand
    // (on the stitching worker: allocating and filling a mosaic of tens of
    // megabytes holds up the interface thread). Keeps `frame` itself as the
    // previous frame: the caller must not write into it.
    void rebuild(const cv::Mat& frame, int side, const cv::Mat& prepared);
    // The pixels a rebuild starts from: side x side black (at least the
    // frame's size) with `frame` in the centre. Any thread.
    static cv::Mat startingMosaic(const cv::Mat& frame, int side);
    // Starts from a given mosaic and placements (a saved or prepared state);
    // the frame counter follows the highest placement.
    void restore(const cv::Mat& mosaic, const QMap<int, QRect>& placements, const cv::Mat& previousFrame);

    // Inputs of the next job. Frame-to-frame: the previous frame against the
    // last placement. Full search: the whole mosaic with the last frame's size.
    const cv::Mat& previousFrame() const { return m_previousFrame; }
    QRect frameMatchRegion() const { return m_placements.value(m_frameCounter - 1); }
    QRect fullSearchRegion() const;

    // After a frame-to-frame match (startFindFinish).
    StitchStep applyMatchResult(const StitchMatchResult& result, const cv::Mat& frame);
    // After a full search or a region match (startFindMaxFinish). A lost
    // frame takes the registration the worker ran (result.registration);
    // only when none ran is it registered here, on the calling thread. On
    // success the step asks for a region match whose result comes back here
    // too.
    StitchStep applyFullSearchResult(const StitchMatchResult& result, const cv::Mat& frame);

    // Places `frame` at (region.x - dx, region.y - dy), growing the mosaic when
    // the frame reaches past it, and blends it in.
    StitchPlacement growStitchCanvas(const cv::Mat& frame, int dx, int dy, QRect region);

    // The operator's position marker (a place still to be covered).
    void setPositionMarker(QPointF pos, bool visible);
    QPointF positionMarker() const { return m_marker; }
    bool positionMarkerVisible() const { return m_markerVisible; }

    // The mosaic: a view of its canvas (not continuous once it has grown).
    const cv::Mat& mosaic() const { return m_mosaic; }
    // Which canvas the mosaic lies in: the same number after a growth that
    // found room (the pixels it had lie where they were in the canvas;
    // cv::Mat::locateROI tells where the mosaic lies), another one after a
    // growth that copied the mosaic; 0 for a mosaic that has not grown since
    // rebuild() or restore().
    quint64 canvasId() const { return m_canvasId; }
    // The mosaic as an RGB888 image sharing its pixels: valid until the next
    // placement, growth or rebuild.
    QImage mosaicView() const;
    QSize size() const { return QSize(m_mosaic.cols, m_mosaic.rows); }
    const QMap<int, QRect>& placements() const { return m_placements; }
    int frameCounter() const { return m_frameCounter; }
    int failureCount() const { return m_failures; }
    int stillCount() const { return m_stills; }
    const StitchVotes& previousVotes() const { return m_previousVotes; }
    bool regionMatchPending() const { return m_regionPending; }
    QPoint placementOverlayPos() const { return m_placementOverlay; }

private:
    const cv::Mat& maskFor(const cv::Mat& frame);
    void blend(const cv::Mat& frame, int x, int y, const cv::Mat& mask);
    StitchStep placeFromVotes(StitchVotes votes, int total, const StitchMatchResult& result, const cv::Mat& frame,
                              bool fromPreviousFrame);
    // Why the last frame-to-frame attempt failed.
    enum Cause { FewFeatures, Unreliable, NoDetail, Disagrees, Uncovered };
    StitchStep failure(StitchStep step, const StitchMatchResult& result, const cv::Mat& frame, Cause cause);
    StitchStep restartFrom(const cv::Mat& frame, StitchStep step);
    // Remembers `frame` (with its descriptors, -1 unknown) as the last frame
    // seen, and whether it was held still: alike the frame before it, and
    // with about as many descriptors as that frame when both are known.
    void noteFrame(const cv::Mat& frame, int descriptors);
    StitchStep searchResult(const StitchMatchResult& result, const cv::Mat& frame);
    void grow(int left, int top, int right, int bottom);

    bool m_precision = true;
    bool m_subPixel = true;
    cv::Mat m_mosaic;
    // The part of the canvas this mosaic or a copy of it has taken: a copy
    // that grew into the room first leaves the others none there.
    std::shared_ptr<cv::Rect> m_claimed;
    quint64 m_canvasId = 0;
    QMap<int, QRect> m_placements;
    int m_frameCounter = 0;
    cv::Mat m_previousFrame;
    // Where the previous frame truly lies relative to its placement: the
    // fraction of a pixel that rounding its position dropped. A frame matched
    // against it is placed from its exact position, so that the fractions do
    // not add up along a chain of frames.
    QPointF m_previousRemainder;
    StitchVotes m_previousVotes;
    int m_failures = 0;
    int m_stills = 0;
    QPoint m_placementOverlay;
    QPointF m_marker;
    bool m_markerVisible = false;
    int m_unplacedMoves = 0;
    int m_restingFailures = 0; // failed frames alike the failed frame before them (the camera at rest)
    cv::Mat m_lastFailedThumb;
    cv::Mat m_lastThumb;      // the last frame seen (restThumb)
    bool m_heldStill = false; // the last frame seen was held still (noteFrame)
    int m_lastDescriptors = -1; // of the last frame seen; -1 unknown
    int m_firstJoinSearches = 0; // full searches lost while the mosaic holds its first frame alone
    bool m_regionPending = false;
    cv::Mat m_maskFull, m_maskHalf, m_maskFitted;
};
