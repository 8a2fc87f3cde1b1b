#pragma once

#include "imaging/StitchMosaic.h"
#include "imaging/StitchStart.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QSet>
#include <QSize>

#include <opencv2/core.hpp>

class ThreadPinJie;

// A stitching run without its panel: the step queue, the snapshots it asks
// the hub's current camera for (mode 3), the hand-over of each frame to the
// worker (ThreadPinJie), the adoption of the mosaic the worker prepared or
// placed a frame in, and the notices told during a mosaic. PinJieForm shows
// what it reports and turns its buttons into the calls below.
//
// The step queue: each arriving frame (takeFrame) runs exactly one step, 67
// ms later. The first item is the standing mode, later items are one-shot
// steps: 0 stop, 1 frame-to-frame match, 3 full search, 4 export
// (exportStep), 5 the reset's buttons (resetStep), 6 a new mosaic from the
// current frame. A stop step ends the snapshots and keeps the worker, for
// Play to go on (the buffers its jobs kept go back: StitchBufferPool);
// close() ends the worker and tells the hub (goOutPinJie). A stop (head 0)
// asked for while a job runs outlasts the job's result.
//
// Thread: GUI thread only. The worker reads the frames and the mosaic where
// they are and writes only into this object's job places, which stay alive
// until the worker has finished (the destructor stops and waits for it).
class StitchRun : public QObject {
    Q_OBJECT

public:
    explicit StitchRun(QObject* parent = nullptr);
    ~StitchRun() override;

    // Precision (whole frames, a 5000 mosaic) or Fast (halved frames, 2500):
    // read by every later frame, job and new mosaic.
    void setPrecision(bool precision) { m_precision = precision; }
    bool precision() const { return m_precision; }
    int sceneSide() const { return StitchMosaic::sceneSide(m_precision); }
    // Whether the next new mosaic's preparation draws the three marker
    // pictures too (the panel has none yet); true at first.
    void setMarkersDue(bool due) { m_markersDue = due; }

    // Begins a run: without a worker, makes one, sets the queue to {1, 6}
    // (a new mosaic, then frame-to-frame matching) and returns true; the
    // caller asks for the first frame. With one, only clears a pending stop.
    bool start();
    // Asks the current camera for the next frame after `ms`, unless the run
    // has stopped.
    void requestFrame(int ms);
    // A frame delivered for the run (any format, the camera's size): kept
    // as RGB888, halved in Fast; its step runs 67 ms later.
    void takeFrame(const QImage& image);

    // The step queue.
    void setHead(int code);
    // A reset behind the standing mode `head`: with the queue running, the
    // reset's buttons (5) and a new mosaic (6) are queued and true comes
    // back; otherwise the queue becomes {head, 6} and false says the
    // caller shows the reset's buttons now.
    bool queueReset(int head);
    // An export with the queue running, as its next step; false: none
    // queued, the caller exports now.
    bool queueExport();
    // Ends the run now, whatever step it is in and whether or not another
    // frame comes: asks for no more frames, drops the queued steps and what
    // the running job finds, and once the worker's job is done releases the
    // mosaic and tells the hub (shutDown). False when there is no run to end.
    bool close();
    // Ends the worker (again and again, 67 ms apart, until its job is done),
    // then tells the hub that the run is over.
    void shutDown();

    // The operator's mark on the mosaic (mosaic coordinates); it moves with
    // the content when a job running now grows the mosaic.
    void setPositionMarker(QPointF at);
    // A buffer the interface thread is done with, freed by the worker (when
    // there is one; otherwise by the caller as usual).
    void discard(const QImage& buffer);
    // The worker's picture of the mosaic the last job grew or rebuilt, in
    // the scene's pixmap format: taken over, not copied. Null when none.
    QImage takePicture();
    // After mosaicStarted: the new mosaic's picture and, when they were
    // due, the marker pictures (green, yellow, red), taken over.
    QImage takeStartView();
    QList<QImage> takeStartMarkers();

    // The panel found no memory for the mosaic's picture: a running run
    // stops as when a job is refused memory (its box comes with the stop
    // step); a run already stopping is left alone.
    void pictureRefused();

    // The frame a new marker picture is sized for: the last frame's size,
    // 1920 x 1080 before any.
    QSize frameSize() const;
    // The size of the frame the last job matched.
    QSize jobFrameSize() const { return QSize(m_jobFrame.cols, m_jobFrame.rows); }
    const StitchMosaic& mosaic() const { return m_mosaic; }
    const QList<int>& stepQueue() const { return m_queue; }
    // -1 running, 1 closed.
    int stopState() const { return m_stopState; }
    bool hasWorker() const { return m_worker != nullptr; }
    bool jobRunning() const;

signals:
    // A job's result applied to the mosaic, for the panel to show. A notice
    // already told during this mosaic is left out.
    void stepApplied(const StitchStep& step);
    // A registration located the lost frame; its region match starts now.
    void regionMatchStarted(const QPoint& placementPos);
    // A new mosaic is about to be made: the old one's picture is the
    // caller's to drop now.
    void rebuildStarting();
    // The new mosaic is adopted (placements hold the first frame).
    void mosaicStarted();
    // Play and Stop may be pressed again: a match started, or a stop step ran.
    void controlsReady();
    void exportStep();
    void resetStep();

private slots:
    void snapFrame();
    void runNextStep();
    void rebuild();
    void frameMatchFinished();
    void fullSearchFinished();
    void prepareFinished();

private:
    int takeStepCode();
    // A copy of the current frame for the next job, when the worker is free.
    bool prepareJob(const QRect& region);
    void startFrameMatch();
    void startFullSearch();
    // The worker's copy of the mosaic with the job's result applied, when it
    // applied it: adopted as the mosaic.
    bool adoptApplied();
    void finishStep(const StitchStep& step);
    // The steps left once the run stopped by itself, one after another.
    void runStoppedSteps();
    void stopForMemory();
    cv::Mat currentMat() const;
    static QImage::Format viewFormat();

    bool m_precision = true;
    bool m_markersDue = true;
    StitchMosaic m_mosaic;
    QList<int> m_queue;
    ThreadPinJie* m_worker = nullptr;
    QImage m_current;
    cv::Mat m_jobFrame; // the frame the running job matches
    StitchStart m_start; // what the worker prepares for the next mosaic
    // The running job's copy of the mosaic, which the worker applies the
    // job's result to, its step and (grown or rebuilt) picture.
    StitchMosaic m_next;
    StitchStep m_step;
    QImage m_picture;
    bool m_markerDuringJob = false; // the position marker was set while a job ran
    bool m_preparing = false; // a new mosaic is being prepared: no job starts until it is adopted
    bool m_masksDue = false; // the run's first mosaic builds the feather masks of the camera's geometry
    StitchMatchResult m_result;
    int m_stopState = -1;
    bool m_closing = false;   // close(): the run's buffers are released once the worker stopped
    // Trims the heaps now and twice later, letting the camera's idle workers go first.
    void returnMemory();
    bool m_trimDue = false;   // closed: the C library's heaps are trimmed once live video is back
    QSet<int> m_noticesShown; // StitchStep::Notice values told during this mosaic
};
