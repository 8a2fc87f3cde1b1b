#include "imaging/StitchRun.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/UVCCamera.h"
#include "imaging/ThreadPinJie.h"
#include "platform/AppPaths.h"
#include "platform/HeapReturn.h"
#include "platform/MemoryRefusal.h"

#include <QPixmap>
#include <QTimer>

#include <algorithm>

StitchRun::StitchRun(QObject* parent) : QObject(parent) {
    // The C library keeps in its heaps what a run's threads freed (frames,
    // pictures, search buffers), and what the camera freed as it went back
    // to its own resolution: handed back to the system once live video is
    // back after a Close (2: the stitching panel's resolution requests).
    connect(MessagePassing::instance(), &MessagePassing::changeFenBianLv1080pReturnFinishSIGNAL, this,
            [this](int requester) {
                if (requester != 2 || !m_trimDue)
                    return;
                m_trimDue = false;
                returnMemory();
            });
}

void StitchRun::returnMemory() {
    // The decoders and save threads the camera grew for the run's frames at
    // the stitching resolution (three pictures each) go too once idle,
    // before each trim: kept, they held some 60 to 80 MB of the heap after
    // the Close, and a decode that ends after the last trim kept its pages.
    HeapReturn::afterRun(this, [this] {
        if (auto* cam = qobject_cast<UVCCamera*>(MessagePassing::instance()->currentCamera()); cam && !m_worker)
            cam->releaseIdleWorkers();
    });
}

StitchRun::~StitchRun() {
    // The worker writes into this object's job places until it is done.
    if (m_worker) {
        m_worker->setStop(true);
        m_worker->wait();
    }
}

bool StitchRun::start() {
    m_stopState = -1;
    if (m_worker)
        return false;
    m_worker = new ThreadPinJie(this);
    connect(m_worker, SIGNAL(startFindFinish()), this, SLOT(frameMatchFinished()));
    connect(m_worker, SIGNAL(startFindMaxFinish()), this, SLOT(fullSearchFinished()));
    connect(m_worker, SIGNAL(startPrepareFinish()), this, SLOT(prepareFinished()));
    m_masksDue = true;
    m_preparing = false;
    m_queue = {1, 6};
    m_noticesShown.clear();
    return true;
}

bool StitchRun::jobRunning() const { return m_worker && m_worker->isRunning(); }

QSize StitchRun::frameSize() const { return m_current.isNull() ? QSize(1920, 1080) : m_current.size(); }

// ---------------------------------------------------------------- frames and steps

void StitchRun::requestFrame(int ms) { QTimer::singleShot(ms, this, SLOT(snapFrame())); }

void StitchRun::snapFrame() {
    if (m_stopState >= 1)
        return;
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->snapImage(AppPaths::appFile(QString("pinjie/%1").arg(m_mosaic.frameCounter())), 3, true, false,
                       Qt::red, 0, 0);
}

void StitchRun::takeFrame(const QImage& image) {
    if (image.isNull()) {
        // The camera found no memory for the frame asked for: waiting for
        // another would leave the run silent.
        pictureRefused();
        return;
    }
    if (m_precision)
        m_current = image.convertToFormat(QImage::Format_RGB888);
    else
        m_current = image.scaled(image.width() / 2, image.height() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB888);
    if (m_current.isNull() && m_queue.value(0, -1) != 0) {
        stopForMemory(); // the system refused the copy; the stop step comes with the next frame
        return;
    }
    QTimer::singleShot(67, this, SLOT(runNextStep()));
}

void StitchRun::runNextStep() {
    if (m_stopState == 1)
        return; // a frame asked for before the run ended
    switch (takeStepCode()) {
    case 0:
        // Stopped: the buffers the jobs kept for the next go back (Play
        // maps them again).
        if (m_worker && !m_worker->isRunning())
            ThreadPinJie::releaseBuffers();
        emit controlsReady();
        break;
    case 1:
        startFrameMatch();
        break;
    case 3:
        startFullSearch();
        break;
    case 4:
        emit exportStep();
        break;
    case 5:
        emit resetStep();
        break;
    case 6:
        rebuild();
        break;
    default:
        break;
    }
}

int StitchRun::takeStepCode() {
    if (m_queue.isEmpty())
        return 0;
    if (m_queue.size() == 1) {
        const int code = m_queue.first();
        if (code == 0)
            m_queue.clear();
        return code;
    }
    return m_queue.takeAt(1);
}

void StitchRun::setHead(int code) {
    if (m_queue.isEmpty())
        m_queue.append(code);
    else
        m_queue[0] = code;
}

bool StitchRun::queueReset(int head) {
    if (m_queue.isEmpty()) {
        m_queue = {head, 6};
        return false;
    }
    m_queue[0] = head;
    m_queue.append(5);
    m_queue.append(6);
    return true;
}

bool StitchRun::queueExport() {
    if (m_queue.isEmpty())
        return false;
    m_queue.append(4);
    return true;
}

bool StitchRun::close() {
    if (!m_worker || m_stopState == 1)
        return false;
    // Nothing waits for a frame: one may never come (the camera changes its
    // resolution, or a step did not ask for one), and the steps still queued
    // would only build a mosaic no one sees.
    m_stopState = 1;
    m_queue.clear();
    m_closing = true;
    shutDown();
    return true;
}

void StitchRun::shutDown() {
    if (!m_worker)
        return;
    m_worker->setStop(true);
    if (m_worker->isRunning()) {
        QTimer::singleShot(67, this, &StitchRun::shutDown);
        return;
    }
    if (m_closing) {
        // The run's mosaics and pictures go back to the system: the next
        // run starts a new mosaic.
        m_closing = false;
        m_trimDue = true;
        m_mosaic = StitchMosaic();
        m_next = StitchMosaic();
        m_picture = QImage();
        m_jobFrame.release();
        m_current = QImage();
        m_start = StitchStart();
        // The feather masks too (some 40 MB for a 4K frame): a run builds
        // its own at its first mosaic.
        MessagePassing::instance()->pinJieMask.release();
        MessagePassing::instance()->pinJieMaskHalf.release();
        returnMemory();
    }
    m_worker->deleteLater();
    m_worker = nullptr;
    MessagePassing::instance()->goOutPinJie();
}

cv::Mat StitchRun::currentMat() const {
    if (m_current.isNull())
        return cv::Mat();
    // A copy: the worker and the mosaic keep it while new frames arrive.
    return cv::Mat(m_current.height(), m_current.width(), CV_8UC3, const_cast<uchar*>(m_current.constBits()),
                   size_t(m_current.bytesPerLine()))
        .clone();
}

QImage::Format StitchRun::viewFormat() {
    // The format the scene's pixmaps hold: a picture in it is adopted, not converted.
    static const QImage::Format format = QPixmap(1, 1).toImage().format();
    return format;
}

// ---------------------------------------------------------------- jobs

bool StitchRun::prepareJob(const QRect& region) {
    if (!m_worker || m_worker->isRunning() || m_preparing || m_mosaic.mosaic().empty())
        return false;
    if (!MemoryRefusal::within([this] { m_jobFrame = currentMat(); })) {
        stopForMemory();
        return false;
    }
    if (m_jobFrame.empty())
        return false;
    m_result = StitchMatchResult();
    m_result.region = region;
    // The worker places the frame too, in a copy of the mosaic's bookkeeping
    // (the pixels are shared, not copied) that is adopted at the finish.
    m_next = m_mosaic;
    m_picture = QImage();
    m_markerDuringJob = false;
    m_worker->setApply(&m_next, &m_result, &m_jobFrame, &m_step, &m_picture, viewFormat());
    return true;
}

bool StitchRun::adoptApplied() {
    if (!m_worker || !m_worker->applied())
        return false;
    const QPointF marker = m_mosaic.positionMarker();
    const bool markerVisible = m_mosaic.positionMarkerVisible();
    const QPoint firstBefore = m_mosaic.placements().value(0).topLeft();
    const cv::Mat before = m_mosaic.mosaic();
    m_mosaic = m_next;
    m_next = StitchMosaic();
    if (before.data != m_mosaic.mosaic().data)
        m_worker->discard(before); // grown or rebuilt: the old buffer is freed by the worker
    if (m_markerDuringJob && !m_step.rebuilt) {
        // Set while the worker placed: it moves with the content when the mosaic grew.
        const QPoint moved = m_mosaic.placements().value(0).topLeft() - firstBefore;
        m_mosaic.setPositionMarker(marker + QPointF(moved), markerVisible);
    }
    m_markerDuringJob = false;
    return true;
}

void StitchRun::startFrameMatch() {
    if (!prepareJob(m_mosaic.frameMatchRegion()))
        return;
    // Shared: the previous frame and the job's frame are replaced, never
    // written into.
    m_worker->startFindShared(m_mosaic.previousFrame(), m_jobFrame, m_precision, &m_result.offsetX,
                              &m_result.offsetY, &m_result.votes, &m_result.status);
    emit controlsReady();
}

void StitchRun::startFullSearch() {
    if (!prepareJob(m_mosaic.fullSearchRegion()))
        return;
    // Shared, not copied: the mosaic is blended into only when a result is
    // applied, after the job, and a rebuild or growth replaces it.
    m_worker->startFindMaxShared(m_mosaic.mosaic(), m_jobFrame, m_precision, &m_result.region, &m_result.offsetX,
                                 &m_result.offsetY, &m_result.votes, &m_result.status);
}

void StitchRun::frameMatchFinished() {
    if (m_stopState == 1)
        return; // the run ended meanwhile: nothing is shown or asked for
    if (m_worker && m_worker->noMemory())
        return stopForMemory();
    if (!adoptApplied()) {
        // A stopped worker applied nothing: here, then.
        m_result.referenceDescriptors = m_worker ? m_worker->referenceDescriptors() : -1;
        m_result.frameDescriptors = m_worker ? m_worker->frameDescriptors() : -1;
        m_step = m_mosaic.applyMatchResult(m_result, m_jobFrame);
    }
    finishStep(m_step);
}

void StitchRun::fullSearchFinished() {
    if (m_stopState == 1)
        return;
    if (m_worker && m_worker->noMemory())
        return stopForMemory();
    if (!adoptApplied()) {
        // A stopped worker applied nothing: here, then. A search stopped
        // before its registration counts as not found rather than
        // registering here, on the interface thread.
        m_result.registration = m_worker ? std::max(0, m_worker->registration()) : 0;
        m_result.registeredPos = m_worker ? m_worker->registeredPos() : QPoint();
        m_step = m_mosaic.applyFullSearchResult(m_result, m_jobFrame);
    }
    const StitchStep step = m_step;
    if (step.startRegionMatch && m_worker && !m_worker->isRunning()) {
        emit regionMatchStarted(step.placementPos);
        m_result = StitchMatchResult();
        m_result.region = step.region;
        m_next = m_mosaic;
        m_picture = QImage();
        m_worker->setApply(&m_next, &m_result, &m_jobFrame, &m_step, &m_picture, viewFormat());
        m_worker->startFindRegion(m_mosaic.mosaic(), m_jobFrame, m_precision, &m_result.region, &m_result.offsetX,
                                  &m_result.offsetY, &m_result.votes, &m_result.status);
        return;
    }
    StitchStep next = step;
    if (step.startRegionMatch) {
        // No worker to measure in the region: the frame stays lost.
        next.head = 3;
        next.delayMs = 67;
    }
    finishStep(next);
}

void StitchRun::finishStep(const StitchStep& step) {
    StitchStep shown = step;
    // No memory to go on, or no room left to grow: the run stops there,
    // keeping the mosaic, rather than searching it again and again.
    const bool stops = step.noMemory || step.sizeLimit;
    if (stops) {
        shown.head = 0;
        shown.delayMs = 0;
    }
    if (shown.notice != StitchStep::NoNotice) {
        if (m_noticesShown.contains(int(shown.notice)))
            shown.notice = StitchStep::NoNotice;
        else
            m_noticesShown.insert(int(shown.notice));
    }
    emit stepApplied(shown);
    // A stop asked for while the job ran stays: only Play clears it.
    if (shown.head >= 0 && m_queue.value(0, -1) != 0)
        setHead(shown.head);
    if (stops) {
        // The stop step and an export or a reset's buttons queued before it
        // run now, without the frame that would carry them: under memory
        // pressure that frame may never come, and an Export pressed meanwhile
        // would wait for it for ever. A new mosaic or a search is dropped.
        QList<int> kept = {0};
        for (int i = 1; i < m_queue.size(); ++i)
            if (m_queue.at(i) == 4 || m_queue.at(i) == 5)
                kept.append(m_queue.at(i));
        m_queue = kept;
        QTimer::singleShot(0, this, &StitchRun::runStoppedSteps);
        return;
    }
    if (shown.delayMs > 0)
        requestFrame(shown.delayMs);
}

void StitchRun::runStoppedSteps() {
    if (m_stopState == 1 || m_queue.isEmpty() || m_queue.first() != 0)
        return; // ended, done already by a frame, or Play pressed meanwhile
    runNextStep();
    if (!m_queue.isEmpty())
        QTimer::singleShot(67, this, &StitchRun::runStoppedSteps);
}

void StitchRun::pictureRefused() {
    // An empty queue is a run whose stop step has run.
    if (m_stopState < 1 && !m_queue.isEmpty() && m_queue.first() != 0)
        stopForMemory();
}

void StitchRun::stopForMemory() {
    // The job found no memory to work in: the mosaic stays as it is, and
    // the run stops as a Stop does.
    StitchStep step;
    step.noMemory = true;
    step.head = 0;
    finishStep(step);
}

void StitchRun::setPositionMarker(QPointF at) {
    m_mosaic.setPositionMarker(at, true);
    if (m_worker && m_worker->isRunning())
        m_markerDuringJob = true;
}

void StitchRun::discard(const QImage& buffer) {
    if (m_worker)
        m_worker->discard(buffer);
}

QImage StitchRun::takePicture() { return std::move(m_picture); }

// ---------------------------------------------------------------- a new mosaic

void StitchRun::rebuild() {
    if (m_stopState == 1)
        return;
    if (m_preparing || (m_worker && m_worker->isRunning())) {
        // The mosaic is prepared on the worker once its job is done.
        QTimer::singleShot(67, this, SLOT(rebuild()));
        return;
    }
    emit rebuildStarting();

    // The new mosaic, its picture, the masks and the markers are tens of
    // megabytes to allocate and fill: the worker makes them, and the
    // interface thread takes them over when it is done.
    m_start = StitchStart();
    if (!MemoryRefusal::within([this] { m_start.frame = currentMat(); })) {
        stopForMemory();
        return;
    }
    m_start.side = sceneSide();
    m_start.precision = m_precision;
    m_start.viewFormat = viewFormat();
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (m_masksDue && cam) {
        m_start.maskFrame = cam->frameSize(false);
        m_start.maskAxes = cam->previewSize();
    }
    if (m_markersDue) {
        m_start.markerSize = frameSize();
        m_start.markerDir = AppPaths::appFile("pinjie");
    }
    if (m_worker) {
        m_preparing = true;
        m_worker->startPrepare(&m_start);
        return;
    }
    m_start.build();
    prepareFinished();
}

void StitchRun::prepareFinished() {
    m_preparing = false;
    if (m_stopState != 1 && m_worker && m_worker->noMemory())
        return stopForMemory();
    if (m_start.mosaic.empty() || m_stopState == 1)
        return; // the worker stopped before it began, or the run ended meanwhile
    MessagePassing* hub = MessagePassing::instance();
    if (!m_start.maskFull.empty()) {
        hub->pinJieMask = m_start.maskFull;
        hub->pinJieMaskHalf = m_start.maskHalf;
        m_masksDue = false;
    }
    m_mosaic.setPrecision(m_start.precision);
    m_mosaic.setFeatherMasks(hub->pinJieMask, hub->pinJieMaskHalf);
    const cv::Mat old = m_mosaic.mosaic();
    m_mosaic.rebuild(m_start.first, m_start.side, m_start.mosaic);
    if (m_worker)
        m_worker->discard(old); // freed by the worker
    m_noticesShown.clear();
    emit mosaicStarted();
    m_start = StitchStart();
}

QImage StitchRun::takeStartView() { return std::move(m_start.view); }

QList<QImage> StitchRun::takeStartMarkers() { return std::move(m_start.markers); }
