#pragma once

#include "StitchPanGenerator.h"

#include "imaging/StitchMatcher.h"
#include "imaging/StitchMosaic.h"

#include <QMap>

#include <vector>

// Runs pan frames through the stitching loop as the stitching panel drives
// it, without widgets or timers: the first frame starts the mosaic, every
// later frame runs exactly one step (a frame-to-frame match while the head
// of the step queue is 1, a full search while it is 3), and each result goes
// through StitchMosaic; a registration's region match runs at once on the
// same frame. With `threaded`, the jobs run on a ThreadPinJie, which applies
// their results to a copy of the mosaic that the driver adopts, as the panel
// does, and the driver waits for its finish signals (needs a
// QCoreApplication); otherwise they run on a StitchMatcher in the calling
// thread, and the results are applied there.
class StitchLoopDriver {
public:
    enum Job { FrameMatch = 1, FullSearch = 3, RegionMatch = 4 };
    struct Record {
        int frame = -1;  // index into the pan
        Job job = FrameMatch;
        int status = 0;
        double ms = 0.0;      // time of the job
        double applyMs = 0.0; // time to apply its result (registration, growth, blend)
        bool placed = false;
        QPoint pos;      // placement, mosaic coordinates
        int delayMs = 0;
        int registration = -1; // the worker's registration of a lost frame (full search, threaded)
    };

    explicit StitchLoopDriver(bool precision, bool threaded = false);

    void setFeatherMasks(const cv::Mat& full, const cv::Mat& half) { m_mosaic.setFeatherMasks(full, half); }
    void run(const std::vector<StitchPanFrame>& frames);

    StitchMosaic& mosaic() { return m_mosaic; }
    const std::vector<Record>& records() const { return m_records; }
    // Frame index of every placement number.
    const QMap<int, int>& placementFrames() const { return m_placementFrames; }
    int head() const { return m_head; }

    int fullSearches = 0;
    int registrations = 0;
    int regionMatches = 0;
    int growths = 0;
    int sizeLimits = 0;
    int redMarkers = 0;
    int refusals = 0; // places that failed the overlap check
    int rebuilds = 0; // the mosaic started again (a featureless first frame, a first join that failed)
    std::vector<int> restartFrames; // the frame each restart started from, index into the pan
    std::vector<StitchStep::Notice> notices;

    // Distance (pixels) of every placement after frame 0 from its true
    // position, both taken relative to frame 0's, in placement order.
    std::vector<double> placementErrors(const std::vector<StitchPanFrame>& frames) const;

private:
    // Threaded, the worker applies the result too, into *step.
    int runJob(Job job, const cv::Mat& reference, const cv::Mat& frame, QRect* region, StitchMatchResult* out,
               double* ms, StitchStep* step);

    bool m_precision;
    bool m_threaded;
    int m_head = 1;
    StitchMosaic m_mosaic;
    StitchMatcher m_matcher;
    std::vector<Record> m_records;
    QMap<int, int> m_placementFrames;
};
