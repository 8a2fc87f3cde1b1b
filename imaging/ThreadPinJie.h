#pragma once

#include "imaging/StitchMatcher.h"
#include "imaging/StitchMosaic.h"
#include "imaging/StitchViewPicture.h"

#include <QImage>

class StitchStart;

#include <QRect>
#include <QThread>

#include <atomic>
#include <vector>

// The stitching worker: runs one StitchMatcher job off the GUI thread (and
// applies its result, with setApply), or prepares a new mosaic.
//
// Thread: the object lives on the GUI thread; run() executes on the worker
// thread. Start a job only while isRunning() is false. Each start copies the
// images, so the caller may change or free its own afterwards (except with
// the Shared starts). The output
// places belong to the caller, must stay alive until the finish signal, and
// are written only by run(); read them in the slot reached from
// startFindFinish, startFindMaxFinish or startPrepareFinish.
class ThreadPinJie : public QThread {
    Q_OBJECT

public:
    explicit ThreadPinJie(QObject* parent = nullptr);
    ~ThreadPinJie() override;

    // Frame-to-frame match of `frame` against `reference`. Finishes with
    // startFindFinish.
    void startFind(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX, int* offsetY,
                   StitchVotes* votes, int* status);
    // The same, reading both images where they are: the caller must not
    // write into them before the finish signal.
    void startFindShared(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                         int* offsetY, StitchVotes* votes, int* status);
    // Makes what a new mosaic starts from (StitchStart::build) here rather
    // than on the interface thread. *job belongs to the caller, stays alive
    // until the finish and is read once startPrepareFinish arrives.
    void startPrepare(StitchStart* job);
    // Full search of the whole mosaic. *region holds the last placed frame's
    // size on entry and the searched region on return. When the search does
    // not find the frame, the SIFT registration (registerStitchFrame) is run
    // here too, so that neither blocks the interface; read its outcome with
    // registration() and registeredPos(). Finishes with startFindMaxFinish.
    void startFindMax(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region, int* offsetX,
                      int* offsetY, StitchVotes* votes, int* status);
    // The same, reading the mosaic and the frame where they are instead of
    // copying them (a copy of a large mosaic holds up the interface thread
    // for tens of milliseconds at every search): the caller must not write
    // into them before the finish signal; replacing them with other
    // matrices is fine.
    void startFindMaxShared(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                            int* offsetX, int* offsetY, StitchVotes* votes, int* status);
    // The final stage of a full search on a known region of the mosaic (after
    // a registration located the frame): `mosaic` inside *region is the
    // reference; *region is left as it is. Finishes with startFindMaxFinish.
    void startFindRegion(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                         int* offsetX, int* offsetY, StitchVotes* votes, int* status);

    // Has the next match job (started right after this call) apply its
    // result here too, so that placing a frame (sub-pixel refinement, overlap
    // check, blend, growth: tens of milliseconds) holds up no interface:
    // `result` is the job's outputs (status, offsets and votes pointed into
    // it, region on entry), `frame` the frame it matches, and the result goes
    // to `mosaic` (StitchMosaic::applyMatchResult after a frame-to-frame
    // match, applyFullSearchResult after a search or region match), a copy
    // of the caller's that it adopts after the finish signal; the step lands
    // in *step. When the mosaic was rebuilt, *picture receives the whole
    // mosaic in `pictureFormat`; when it grew and a frame was placed, its
    // picture made as
    // StitchViewPicture::grown makes it: sharing the pixels of the picture
    // handed out before, which the caller keeps up to date by pasting each
    // placed frame into it (the frame placed with the growth too). All are
    // the caller's and untouched by it until the finish; applied() tells
    // whether the job applied (not when stopped).
    void setApply(StitchMosaic* mosaic, StitchMatchResult* result, const cv::Mat* frame, StitchStep* step,
                  QImage* picture, QImage::Format pictureFormat);
    bool applied() const { return m_applied; }
    // Whether the system refused the last job memory (or a thread to run
    // in). Such a job applied nothing (applied() is false), its outputs are
    // to be ignored, and a refused preparation leaves an empty StitchStart.
    bool noMemory() const { return m_noMemory; }

    // Buffers the interface thread is done with (an old mosaic or its
    // picture), freed here when the next job starts: giving a hundred
    // megabytes back to the system takes milliseconds. Kept only while no job
    // runs; otherwise the caller frees them as usual.
    void discard(const cv::Mat& buffer);
    void discard(const QImage& buffer);

    // Every job runs as background work (platform/ThreadPriority), and so
    // do the OpenCV threads that share its loops: busy on every core for up
    // to seconds, they must not hold off the interface thread's wake-ups.
    // On by default; off (the OpenCV threads ordinary again) only for the
    // benchmark's comparison, for jobs started afterwards.
    static void setBackgroundWork(bool on);
    // The jobs keep their large buffers from one job to the next
    // (StitchBufferPool), released when the worker ends or
    // releaseBuffers() is called. On by default; off (every buffer mapped
    // afresh, as before) only for the benchmark's comparison, for jobs
    // started afterwards.
    static void setKeepBuffers(bool on);
    // The buffers kept between jobs go back to the system now (the run
    // stopped); the next job maps them again.
    static void releaseBuffers();

    // Set once at shutdown; a run that starts afterwards does nothing.
    void setStop(bool stop) { m_stop.store(stop); }
    bool isStopped() const { return m_stop.load(); }
    // True while the last started job is a full search or a region match.
    bool isFullSearch() const { return m_job == FullSearch || m_job == RegionMatch; }
    // Descriptors in the reference and the frame of the last frame-to-frame
    // match; read after startFindFinish.
    int referenceDescriptors() const { return m_referenceCount; }
    int frameDescriptors() const { return m_frameCount; }
    // The registration of the last job, read after startFindMaxFinish: -1
    // when none ran (a frame-to-frame or region match, or a full search that
    // found the frame), 0 when it failed, 1 when it placed the frame's
    // top-left at registeredPos() in mosaic coordinates.
    int registration() const { return m_registration; }
    QPoint registeredPos() const { return m_registeredPos; }

signals:
    void startFindFinish();
    void startFindMaxFinish();
    void startPrepareFinish();

protected:
    void run() override;

private slots:
    void finishedSLOT();

private:
    enum Job { FrameMatch, FullSearch, RegionMatch, Prepare };
    void begin(Job job, const cv::Mat& reference, const cv::Mat& frame, bool precision, QRect* region,
               int* offsetX, int* offsetY, StitchVotes* votes, int* status, bool share = false);

    std::atomic<bool> m_stop{false};
    Job m_job = FrameMatch;
    bool m_precision = true;
    cv::Mat m_reference; // the worker's own copies
    cv::Mat m_frame;
    QRect* m_region = nullptr;
    int* m_offsetX = nullptr;
    int* m_offsetY = nullptr;
    StitchVotes* m_votes = nullptr;
    int* m_status = nullptr;
    int m_referenceCount = -1;
    int m_frameCount = -1;
    int m_registration = -1;
    QPoint m_registeredPos;
    StitchStart* m_start = nullptr;
    struct Apply {
        StitchMosaic* mosaic = nullptr;
        StitchMatchResult* result = nullptr;
        const cv::Mat* frame = nullptr;
        StitchStep* step = nullptr;
        QImage* picture = nullptr;
        QImage::Format format = QImage::Format_RGB32;
    } m_apply;
    bool m_applied = false;
    std::vector<cv::Mat> m_discardMats;
    std::vector<QImage> m_discardImages;
    void applyResult();
    void runJob();
    void refused();
    // QThread::start, and a refusal when no thread could be made.
    void launch();
    bool m_noMemory = false;
    StitchMatcher m_matcher;
    StitchViewPicture m_picture; // the pictures of the mosaic as it grows
};
