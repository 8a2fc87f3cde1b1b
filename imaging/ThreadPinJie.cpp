#include "imaging/ThreadPinJie.h"

#include "imaging/StitchBufferPool.h"
#include "imaging/StitchRegistration.h"
#include "imaging/StitchStart.h"
#include "platform/MemoryRefusal.h"
#include "platform/ThreadPriority.h"

#include <algorithm>
#include <optional>

ThreadPinJie::ThreadPinJie(QObject* parent) : QThread(parent) {
    // The jobs' large buffers are kept from one job to the next until the
    // worker ends (StitchBufferPool).
    StitchBufferPool::keep(true);
    // A whole-mosaic search or registration ends between its bands once
    // stopped: a Close waits for no more than a band's work.
    m_matcher.setStopped([this] { return m_stop.load(); });
    // `finished` is emitted on the worker thread; the slot runs on the thread
    // the object lives on.
    connect(this, SIGNAL(finished()), this, SLOT(finishedSLOT()));
}

ThreadPinJie::~ThreadPinJie() {
    m_stop.store(true);
    wait();
    // The run is over: what its jobs kept goes back to the system.
    StitchBufferPool::keep(false);
}

void ThreadPinJie::releaseBuffers() { StitchBufferPool::release(); }

void ThreadPinJie::setApply(StitchMosaic* mosaic, StitchMatchResult* result, const cv::Mat* frame, StitchStep* step,
                            QImage* picture, QImage::Format pictureFormat) {
    if (isRunning())
        return;
    m_apply = Apply{mosaic, result, frame, step, picture, pictureFormat};
}

void ThreadPinJie::begin(Job job, const cv::Mat& reference, const cv::Mat& frame, bool precision, QRect* region,
                         int* offsetX, int* offsetY, StitchVotes* votes, int* status, bool share) {
    if (isRunning())
        return;
    m_job = job;
    m_precision = precision;
    m_reference = share ? reference : reference.clone();
    m_frame = share ? frame : frame.clone();
    m_region = region;
    m_offsetX = offsetX;
    m_offsetY = offsetY;
    m_votes = votes;
    m_status = status;
    m_registration = -1;
    m_registeredPos = QPoint();
    m_applied = false;
    launch();
}

void ThreadPinJie::launch() {
    m_noMemory = false;
    if (!MemoryRefusal::start(*this)) {
        // The job ends here, refused, and finishes as any other.
        refused();
        QMetaObject::invokeMethod(this, "finishedSLOT", Qt::QueuedConnection);
    }
}

void ThreadPinJie::startFind(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                             int* offsetY, StitchVotes* votes, int* status) {
    begin(FrameMatch, reference, frame, precision, nullptr, offsetX, offsetY, votes, status);
}

void ThreadPinJie::startFindShared(const cv::Mat& reference, const cv::Mat& frame, bool precision, int* offsetX,
                                   int* offsetY, StitchVotes* votes, int* status) {
    begin(FrameMatch, reference, frame, precision, nullptr, offsetX, offsetY, votes, status, true);
}

void ThreadPinJie::startPrepare(StitchStart* job) {
    if (isRunning())
        return;
    m_job = Prepare;
    m_start = job;
    launch();
}

void ThreadPinJie::startFindMax(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                                int* offsetX, int* offsetY, StitchVotes* votes, int* status) {
    begin(FullSearch, mosaic, frame, precision, region, offsetX, offsetY, votes, status);
}

void ThreadPinJie::startFindMaxShared(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                                      int* offsetX, int* offsetY, StitchVotes* votes, int* status) {
    begin(FullSearch, mosaic, frame, precision, region, offsetX, offsetY, votes, status, true);
}

void ThreadPinJie::startFindRegion(const cv::Mat& mosaic, const cv::Mat& frame, bool precision, QRect* region,
                                   int* offsetX, int* offsetY, StitchVotes* votes, int* status) {
    const QRect r = region->intersected(QRect(0, 0, mosaic.cols, mosaic.rows));
    const cv::Mat inside = r.isEmpty() ? cv::Mat() : mosaic(cv::Rect(r.x(), r.y(), r.width(), r.height()));
    begin(RegionMatch, inside, frame, precision, region, offsetX, offsetY, votes, status);
}

void ThreadPinJie::discard(const cv::Mat& buffer) {
    if (!isRunning() && !buffer.empty())
        m_discardMats.push_back(buffer);
}

void ThreadPinJie::discard(const QImage& buffer) {
    if (!isRunning() && !buffer.isNull())
        m_discardImages.push_back(buffer);
}

namespace {
std::atomic<bool> g_backgroundWork{true};
std::atomic<bool> g_keepBuffers{true};

} // namespace

void ThreadPinJie::setBackgroundWork(bool on) {
    g_backgroundWork.store(on);
}

void ThreadPinJie::setKeepBuffers(bool on) { g_keepBuffers.store(on); }

void ThreadPinJie::run() {
    const bool background = g_backgroundWork.load();
    if (background)
        ThreadPriority::makeBackground();
    ThreadPriority::makeOpenCvThreadsBackground(background);
    m_discardMats.clear();
    m_discardImages.clear();
    if (m_stop.load())
        return;
    if (!MemoryRefusal::within([this] { runJob(); }))
        refused();
    m_reference.release(); // a shared mosaic may be written again once the job is done
    m_apply = Apply();
}

void ThreadPinJie::runJob() {
    if (m_job == Prepare) {
        // The new mosaic and its masks last the whole mosaic: made as ever.
        m_start->build();
        return;
    }
    // The job's large matrices, and OpenCV's inside it (the registration's
    // SIFT scale space above all), in buffers kept from the jobs before.
    std::optional<StitchBufferPool::Scope> reuse;
    if (g_keepBuffers.load())
        reuse.emplace();
    int status = StitchFewFeatures;
    switch (m_job) {
    case FrameMatch:
        status = m_matcher.matchFrames(m_reference, m_frame, m_precision, m_offsetX, m_offsetY, m_votes);
        m_referenceCount = m_matcher.lastReferenceDescriptors();
        m_frameCount = m_matcher.lastFrameDescriptors();
        break;
    case FullSearch:
        status = m_matcher.searchMosaic(m_reference, m_frame, m_precision, m_region, m_offsetX, m_offsetY,
                                        m_votes);
        // The frame is lost: the registration (a second or more on a large
        // mosaic) runs here, never on the interface thread.
        if (status != StitchMoved && !m_stop.load())
            m_registration =
                registerStitchFrame(m_reference, m_frame, &m_registeredPos, [this] { return m_stop.load(); }) ? 1
                                                                                                               : 0;
        break;
    case Prepare:
        return;
    case RegionMatch:
        status = m_reference.empty() ? StitchFewFeatures
                                     : m_matcher.matchRegion(m_reference, m_frame, m_precision, m_offsetX,
                                                             m_offsetY, m_votes);
        break;
    }
    *m_status = status;
    m_reference.release();
    if (m_apply.mosaic && !m_stop.load())
        applyResult();
}

void ThreadPinJie::refused() {
    // The job applies nothing: the caller's mosaic stays as it was, and the
    // run stops on it.
    m_noMemory = true;
    m_applied = false;
    m_picture.clear();
    if (m_job == Prepare)
        *m_start = StitchStart();
}

void ThreadPinJie::applyResult() {
    StitchMatchResult& r = *m_apply.result;
    if (m_job == FrameMatch) {
        r.referenceDescriptors = m_referenceCount;
        r.frameDescriptors = m_frameCount;
        *m_apply.step = m_apply.mosaic->applyMatchResult(r, *m_apply.frame);
    } else {
        // A search stopped before its registration counts as not found.
        r.registration = std::max(0, m_registration);
        r.registeredPos = m_registeredPos;
        *m_apply.step = m_apply.mosaic->applyFullSearchResult(r, *m_apply.frame);
    }
    StitchStep& step = *m_apply.step;
    const bool pictured = MemoryRefusal::within([&] {
        if (m_apply.picture && step.rebuilt) {
            m_picture.clear();
            *m_apply.picture = StitchStart::picture(m_apply.mosaic->mosaic(), m_apply.format);
        } else if (m_apply.picture && step.grew && step.placed) {
            *m_apply.picture = m_picture.grown(*m_apply.mosaic, m_apply.format);
        } else if (step.grew) {
            // Grown up to the size limit with nothing placed: the panel takes no
            // picture and draws one of its own, so the next growth's is made whole.
            m_picture.clear();
        }
    });
    if (!pictured) {
        // The frame is placed; the panel draws the mosaic itself, and the
        // run stops there.
        m_picture.clear();
        if (m_apply.picture)
            *m_apply.picture = QImage();
        step.noMemory = true;
        step.head = 0;
    }
    m_applied = true;
}

void ThreadPinJie::finishedSLOT() {
    if (m_job == FrameMatch)
        emit startFindFinish();
    else if (m_job == Prepare)
        emit startPrepareFinish();
    else
        emit startFindMaxFinish();
}
