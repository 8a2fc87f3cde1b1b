#include "camera/UVCCamera.h"

#include "app/hub/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/SnapshotFiles.h"
#include "platform/CaptureDevice.h"
#include "platform/SleepClock.h"
#include "platform/RegularFile.h"

#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

UsbWorkerFactory& workerFactory() {
    static UsbWorkerFactory factory;
    return factory;
}

// Decoder pools are kept per frame size (a decoder is set up for one size).
int poolKey(int width, int height) { return width * 65536 + height; }

constexpr int kDecoderStopWaitMs = 100;
constexpr int kCloseRetryMs = 50;

} // namespace

void UVCCamera::setWorkerFactory(const UsbWorkerFactory& factory) { workerFactory() = factory; }

UVCCamera::UVCCamera(QObject* parent) : BaseCamera(parent) {
    m_pending.clear();
    // One idle save thread is ready before the first snapshot.
    if (workerFactory().saver)
        if (auto saver = workerFactory().saver())
            m_savers.push_back(SaverSlot{std::move(saver), nullptr});
}

UVCCamera::~UVCCamera() {
    if (videoWindow)
        videoWindow->detach(static_cast<UsbVideoFeed*>(this));
    if (m_capture)
        m_capture->release();
    if (m_recorder) {
        if (m_recorder->state() == UsbRecorder::Recording)
            m_recorder->stopRecord();
        m_recorder.reset(); // finishes the file
    }
    // Decoders first (each waits for its job): their completions write into
    // the save threads' images.
    m_decoders.clear();
    m_savers.clear();
}

// ---- opening ----

bool UVCCamera::openCapture(int index) {
    m_capture = CaptureDevice::create();
    // Frames are read by the render step of the interface loop: a read takes
    // a frame that is there and never waits for one.
    if (m_capture)
        m_capture->setReadTimeout(RenderReadWaitMs);
    captureCreated();
    const bool opened = m_capture && m_capture->open(index, CaptureDevice::PlatformBackend);
    m_missedSeen = opened ? m_capture->framesMissed() : 0;
    return opened;
}

void UVCCamera::selectFormat(int pixelFormat) {
    m_pixelFormat = pixelFormat;
    if (m_capture)
        m_capture->selectPixelFormat(pixelFormat);
}

void UVCCamera::applyCaptureSize(QSize size, int resolutionIndex) {
    if (m_capture) {
        m_capture->set(CaptureProp::FrameWidth, size.width());
        m_capture->set(CaptureProp::FrameHeight, size.height());
    }
    m_frameWidth = size.width();
    m_frameHeight = size.height();
    m_resolutionIndex = resolutionIndex;
}

bool UVCCamera::open(int index, int pixelFormat) {
    if (!openCapture(index))
        return false;
    selectFormat(pixelFormat);
    QSettings other(RegularFile::settingsName("./OtherSet.ini"), QSettings::IniFormat);
    const int resolution = other.value("Resolution", 0).toInt();
    applyCaptureSize(resolution == 0 ? QSize(3840, 2160) : QSize(1920, 1080), resolution == 0 ? 0 : 1);
    return true;
}

bool UVCCamera::isOpened() const { return m_capture && m_capture->isOpened(); }

void UVCCamera::startLive() {
    restartFrameCount();
    const QSize full = frameSize(true);
    const int need = std::max(full.width() * full.height(), m_frameWidth * m_frameHeight) * 2;
    if (m_ring.isEmpty() || m_ringCapacity < need) {
        // The slots take the buffers the capture hands over; the capacity
        // is the largest frame they accept.
        m_ringCapacity = need;
        m_ring = QVector<Slot>(RingSize);
        m_ringIndex = 0;
    }
    if (videoWindow)
        videoWindow->attachUsbCamera(this, m_frameWidth, m_frameHeight);
    initScaleList();
    MessagePassing::instance()->initImageScaleIndex(scaleIndex());
}

void UVCCamera::setResolution(int index) {
    m_resolutionIndex = index;
    restartFrameCount();
    initScaleList();
    if (m_capture) {
        m_capture->set(CaptureProp::FrameWidth, m_frameWidth);
        m_capture->set(CaptureProp::FrameHeight, m_frameHeight);
        m_capture->selectPixelFormat(m_pixelFormat);
    }
    if (!m_ring.isEmpty() && m_ringCapacity < m_frameWidth * m_frameHeight * 2)
        startLive(); // a larger frame than the ring was made for
    else if (videoWindow)
        videoWindow->attachUsbCamera(this, m_frameWidth, m_frameHeight);
}

// ---- live video ----

void UVCCamera::play() {
    m_ringIndex = (m_ringIndex + 1) % RingSize;
    if (!m_playing && hasCapture()) {
        // The frames the camera sent while paused were meant for no one: the
        // one still waiting is let go and the count of frames no read took
        // starts again here, so that the first read after play counts the
        // frames it skipped since play, and only those.
        QByteArray paused;
        int bytes = 0, width = 0, height = 0;
        m_capture->takeFrame(paused, size_t(m_ringCapacity), bytes, width, height);
        m_missedSeen = m_capture->framesMissed();
    }
    m_playing = true;
    restartFrameCount();
}

void UVCCamera::pause() {
    m_playing = false;
    restartFrameCount();
}

void UVCCamera::restartFrameCount() {
    m_fpsStart = SleepClock::ticksMs();
    m_fpsFrames = 0;
}

bool UVCCamera::hasCapture() const { return !m_closing && !m_ring.isEmpty() && isOpened(); }

bool UVCCamera::readFrameInto(int i) {
    if (!hasCapture() || i < 0 || i >= m_ring.size())
        return false;
    Slot& slot = m_ring[i];
    // The capture hands its buffer over: the slot lets go of the frame it
    // had (a worker may keep it) and holds the new one; nothing is copied.
    int bytes = 0, width = 0, height = 0;
    if (!m_capture->takeFrame(slot.buffer, size_t(m_ringCapacity), bytes, width, height)) {
        // The slot's frame is older than the ring's order says: it claims none.
        slot.bytes = slot.width = slot.height = 0;
        return false;
    }
    slot.bytes = bytes;
    slot.width = width;
    slot.height = height;
    // When the camera captured it, or when it was read where the capture
    // cannot tell.
    const int64_t captured = m_capture->lastCaptureMs();
    slot.captureMs = captured >= 0 ? captured : int64_t(SleepClock::ticksMs());
    const uint64_t missed = m_capture->framesMissed();
    slot.missedBefore = missed > m_missedSeen ? int(missed - m_missedSeen) : 0;
    m_missedSeen = missed;
    measureFrameRate(); // the readout counts the frames the camera delivers
    return true;
}

bool UVCCamera::ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const {
    if (i < 0 || i >= m_ring.size() || m_ring[i].bytes <= 0)
        return false;
    const Slot& s = m_ring[i];
    data = reinterpret_cast<const uint8_t*>(s.buffer.constData());
    bytes = s.bytes;
    width = s.width;
    height = s.height;
    return true;
}

QByteArray UVCCamera::sharedRingBuffer(int i) const {
    return i >= 0 && i < m_ring.size() && m_ring[i].bytes > 0 ? m_ring[i].buffer : QByteArray();
}

bool UVCCamera::waitFrameArrival(int ms) { return hasCapture() && m_playing && m_capture->waitFrame(ms); }

RawFrame UVCCamera::frameOf(int slot) const {
    RawFrame f;
    if (slot < 0 || slot >= m_ring.size())
        return f;
    const Slot& s = m_ring[slot];
    f.data = s.buffer; // shared, not copied: the ring will not write it again
    f.bytes = s.bytes;
    f.width = s.width;
    f.height = s.height;
    f.captureMs = s.captureMs;
    f.missedBefore = s.missedBefore;
    f.pixelFormat = m_pixelFormat;
    return f;
}

double UVCCamera::cameraFrameRate() const {
    // A recording started right after the camera opened (or changed its
    // format) waits a moment for the driver's word, rather than recording at
    // a rate the camera does not send.
    const double stated = m_capture ? m_capture->frameRateWithin(1000) : 0.0;
    // A measured rate is a whole number of frames a second give or take one
    // read: the camera's own is the nearest whole number.
    return stated > 0 ? stated : std::round(double(m_frameRate));
}

float UVCCamera::frameRate() {
    if (m_playing && SleepClock::ticksMs() - m_fpsStart > 2000)
        return 0.0f;
    return m_frameRate;
}

void UVCCamera::measureFrameRate() {
    ++m_fpsFrames;
    const uint64_t now = SleepClock::ticksMs();
    const double elapsed = double(now - m_fpsStart) / 1000.0;
    if (elapsed > 1.0) {
        m_frameRate = float(m_fpsFrames / elapsed);
        m_fpsFrames = 0;
        m_fpsStart = now;
    }
}

void UVCCamera::frameStep() {
    if (m_closing)
        return;
    reapWorkers();
    const int i = m_ringIndex;
    if (m_playing) {
        if (!m_pending.isEmpty()) {
            if (m_snapMode == 7) {
                // Frames for focus stacking flow while a consumer is set; every
                // third frame (slot 0) is taken and the request stays.
                if (!m_focusConsumer)
                    m_pending.clear();
                else if (i == 0)
                    serveSnapshot(i, m_pending.first(), true);
            } else if (serveSnapshot(i, m_pending.first(), false)) {
                m_pending.removeFirst();
            }
        }
        feedRecorder(i);
        m_ringIndex = (i + 1) % RingSize;
    } else if (!m_pending.isEmpty() && m_snapMode == 10) {
        // A queued series goes on while paused, from the picture shown.
        if (serveSnapshot((i + RingSize - 1) % RingSize, m_pending.first(), false))
            m_pending.removeFirst();
    }
}

void UVCCamera::feedRecorder(int slot) {
    if (!m_recorder)
        return;
    const int state = m_recorder->state();
    if (state == UsbRecorder::Recording)
        m_recorder->pushFrame(frameOf(slot));
    else if (state == UsbRecorder::Finished) {
        m_recorder.reset();
        m_recorderStopAsked = false;
    }
}

// ---- snapshots ----

void UVCCamera::snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                          int sizeIndex) {
    if (m_closing)
        return;
    m_saveDirect = saveDirect;
    m_timeStamp = timeStamp;
    m_stampColour = colour;
    m_stampPosition = position;
    m_sizeIndex = sizeIndex;
    if (mode == 10) {
        m_snapMode = 10;
        m_pending.append(path);
        return;
    }
    if (m_playing) {
        // A user's snapshots pressed in quick succession are all kept and
        // served one per frame, however many there are (only paths wait here);
        // other modes (stitching, stacking, reports) want only the latest request.
        const bool userShot = mode == 0 || mode == 1;
        if (userShot && m_snapMode == mode && !m_pending.isEmpty())
            m_pending.append(path);
        else
            m_pending = QStringList{path};
        m_snapMode = mode;
        return;
    }
    // Paused: only the snapshot modes are served, at once, from the newest frame.
    if (mode == 0 || mode == 1 || mode == 2 || mode == 8 || mode == 9) {
        m_snapMode = mode;
        reapWorkers();
        if (!serveSnapshot((m_ringIndex + RingSize - 1) % RingSize, path, false))
            dropSnapshot(path, mode);
    }
}

void UVCCamera::reapWorkers() {
    for (auto& [key, list] : m_decoders)
        for (DecoderSlot& d : list) {
            if (!d.job || d.decoder->isBusy())
                continue;
            // A job that ended without a picture had a damaged frame: while
            // playing, the request goes back to the front of the queue and
            // the next good frame is saved (a few tries, so a broken stream
            // cannot hold it forever); otherwise it is dropped.
            if (!d.job->delivered) {
                const bool retry = m_playing && d.job->mode == m_snapMode && d.job->mode != 7 &&
                                   d.job->retries < kSnapshotRetries && !d.job->path.isEmpty();
                if (retry) {
                    m_pending.prepend(d.job->path);
                    m_retryOf[d.job->path] = d.job->retries + 1;
                } else {
                    dropSnapshot(d.job->path, d.job->mode);
                }
            }
            for (SaverSlot& s : m_savers)
                if (s.pending == d.job)
                    s.pending.reset();
            d.job.reset();
            d.saver = nullptr;
        }
}

void UVCCamera::dropSnapshot(const QString& path, int mode) {
    ++m_droppedSnapshots;
    // Streams of frames (stitching, flat field, focus stacking) simply wait
    // for the next one.
    SnapshotFiles::reportUnsaved(path, mode, SnapshotFiles::noFrameReason());
}

void UVCCamera::releaseIdleWorkers() {
    for (auto& [key, list] : m_decoders)
        for (DecoderSlot& d : list)
            if (d.decoder->isBusy())
                d.decoder->waitIdle(kDecoderStopWaitMs);
    for (SaverSlot& s : m_savers)
        s.saver->waitIdle(kDecoderStopWaitMs);
    reapWorkers();
    for (auto& [key, list] : m_decoders)
        for (auto it = list.begin(); it != list.end();)
            it = !it->job && !it->decoder->isBusy() ? list.erase(it) : it + 1;
    bool kept = false;
    for (auto it = m_savers.begin(); it != m_savers.end();) {
        const bool idle = !it->pending && !it->saver->isBusy();
        if (idle && kept) {
            it = m_savers.erase(it);
        } else {
            if (idle)
                it->saver->releasePictures();
            kept = kept || idle;
            ++it;
        }
    }
}

UVCCamera::SaverSlot* UVCCamera::idleSaver() {
    // A save thread waiting for its decoder's picture is not free, though its
    // own thread has not started yet.
    for (auto it = m_savers.rbegin(); it != m_savers.rend(); ++it)
        if (!it->pending && !it->saver->isBusy())
            return &*it;
    if (!workerFactory().saver)
        return nullptr;
    auto saver = workerFactory().saver();
    if (!saver)
        return nullptr;
    m_savers.push_back(SaverSlot{std::move(saver), nullptr});
    return &m_savers.back();
}

UVCCamera::DecoderSlot* UVCCamera::idleDecoder(int width, int height) {
    std::vector<DecoderSlot>& list = m_decoders[poolKey(width, height)];
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (!it->job && !it->decoder->isBusy())
            return &*it;
    if (int(list.size()) >= maxDecodeThreads() || !workerFactory().decoder)
        return nullptr;
    auto decoder = workerFactory().decoder(width, height, m_pixelFormat);
    if (!decoder)
        return nullptr;
    list.push_back(DecoderSlot{std::move(decoder), nullptr, nullptr});
    return &list.back();
}

bool UVCCamera::serveSnapshot(int slot, const QString& path, bool withConsumer) {
    const RawFrame frame = frameOf(slot);
    if (frame.bytes <= 0)
        return false;
    if (!workerFactory().decoder || !workerFactory().saver) {
        dropSnapshot(path, m_snapMode); // no worker threads in this program: nothing can take it
        return true;
    }
    DecoderSlot* d = idleDecoder(frame.width, frame.height);
    if (!d)
        return false; // all busy: stays pending for a later frame
    SaverSlot* s = idleSaver();
    if (!s)
        return false;
    UsbSnapshotSaver* saver = s->saver.get();
    saver->setParams(path, m_snapMode, m_saveDirect, m_timeStamp, m_stampColour, m_stampPosition, m_sizeIndex,
                     className());
    if (withConsumer)
        saver->setFocusConsumer(m_focusConsumer);
    auto ticket = std::make_shared<SnapshotTicket>();
    ticket->path = path;
    ticket->mode = m_snapMode;
    ticket->retries = m_retryOf.take(path);
    s->pending = ticket;
    d->job = ticket;
    d->saver = saver;
    const bool begun = d->decoder->decode(frame, [saver, ticket](const uint8_t* rgb, int width, int height) {
        if (QImage* image = saver->imageBuffer(width, height, 3)) {
            if (image->width() == width && image->height() == height) {
                const int row = width * 3;
                for (int y = 0; y < height; ++y)
                    std::memcpy(image->scanLine(y), rgb + size_t(y) * row, size_t(row));
            }
        }
        saver->startSave();
        ticket->delivered = true;
    });
    if (!begun) {
        // The system refused the job memory or a thread: whoever waits for
        // this picture is told, rather than waiting for a frame that never
        // comes; trying again at the next frame would only fail again.
        s->pending.reset();
        d->job.reset();
        d->saver = nullptr;
        ++m_droppedSnapshots;
        saver->refused();
    }
    return true;
}

// ---- recording ----

bool UVCCamera::startRecord(QString path) {
    if (m_recorder || m_closing || !workerFactory().recorder)
        return false;
    if (!prepareRecordSettings())
        return false;
    // The recorder decodes frames of the size the camera sends now.
    m_record.inWidth = m_frameWidth;
    m_record.inHeight = m_frameHeight;
    // The encoder spends its bit rate over the frames it really gets.
    m_record.cameraFps = cameraFrameRate();
    if (m_record.keepEvery < 1 || m_record.fps < 1)
        return false;
    auto recorder = workerFactory().recorder();
    if (!recorder || !recorder->startRecord(path, m_record))
        return false; // a recorder that did not start is not kept: the next try can
    m_recordPath = path;
    m_recorder = std::move(recorder);
    m_recorderStopAsked = false;
    return true;
}

void UVCCamera::stopRecord() {
    if (!m_recorder)
        return;
    m_recorder->stopRecord();
    m_recorderStopAsked = true;
}

QString UVCCamera::recordingPath() const {
    return m_recorder && !m_recorderStopAsked && m_recorder->state() == UsbRecorder::Recording ? m_recordPath
                                                                                               : QString();
}

// ---- closing ----

void UVCCamera::setThreaSaveImgFinish() {
    if (m_closeAnnounced)
        return;
    m_closing = true;
    m_pending.clear();
    if (m_recorder && !m_recorderStopAsked && m_recorder->state() == UsbRecorder::Recording) {
        m_recorder->stopRecord(); // the file is finished, not cut
        m_recorderStopAsked = true;
    }
    bool busy = false;
    for (auto& [key, list] : m_decoders)
        for (DecoderSlot& d : list) {
            // A focus-stacking frame would reach a worker that is stopping
            // (or none): its 4K conversion is ended, not waited for. A
            // picture for a file is converted to its end.
            if (d.job && d.job->mode == 7 && d.decoder->isBusy())
                d.decoder->cancel();
            // A decode takes milliseconds: wait for it rather than cut it.
            if (d.decoder->isBusy() && !d.decoder->waitIdle(kDecoderStopWaitMs))
                busy = true;
        }
    reapWorkers();
    for (const SaverSlot& s : m_savers)
        if (s.pending || s.saver->isBusy())
            busy = true;
    if (m_recorder) {
        const int state = m_recorder->state();
        if (state == UsbRecorder::Finished || state == UsbRecorder::Idle)
            m_recorder.reset();
        else
            busy = true;
    }
    if (busy) {
        if (!m_closeRetryPending) {
            m_closeRetryPending = true;
            QTimer::singleShot(kCloseRetryMs, this, [this] {
                m_closeRetryPending = false;
                setThreaSaveImgFinish();
            });
        }
        return;
    }
    m_closeAnnounced = true;
    if (videoWindow)
        videoWindow->detach(static_cast<UsbVideoFeed*>(this));
    MessagePassing::instance()->setThreadAVPacketFinish();
}

// ---- controls through the standard properties ----

void UVCCamera::setParam(int key, int value) {
    if (!m_capture)
        return;
    const double v = value;
    switch (key) {
    case CtlTarget:
        m_capture->set(CaptureProp::AutoExposure, 0.25); // manual exposure
        m_capture->set(CaptureProp::Brightness, v);
        break;
    case CtlGain:
        m_capture->set(CaptureProp::Gain, v);
        break;
    case CtlRedGain:
        m_capture->set(CaptureProp::Backlight, v);
        break;
    case CtlBlueGain:
        m_capture->set(CaptureProp::WhiteBalanceBlue, v);
        break;
    case CtlSaturation:
        m_capture->set(CaptureProp::Saturation, v);
        break;
    case CtlContrast:
        m_capture->set(CaptureProp::Contrast, v);
        break;
    case CtlSharpness:
        m_capture->set(CaptureProp::Sharpness, v);
        break;
    case CtlHDR:
        m_capture->set(CaptureProp::Gamma, v);
        break;
    default:
        break; // green gain and the switches have no standard property
    }
}

void UVCCamera::setControlValue(int key, int value) {
    auto it = controls.find(key);
    if (it == controls.end())
        return; // a control the model lacks stays absent
    if (value < 0)
        return; // the camera gave no answer: the value known stays
    const int index = key < 10 ? 2 : 1;
    if (it->size() > index)
        (*it)[index] = value;
}

void UVCCamera::syncParams() {
    if (m_capture) {
        auto prop = [this](int id) { return int(m_capture->get(id)); };
        setControlValue(CtlExposure, prop(CaptureProp::Brightness));
        setControlValue(CtlTarget, 0);
        setControlValue(CtlGain, prop(CaptureProp::Gain));
        setControlValue(CtlRedGain, prop(CaptureProp::Backlight));
        setControlValue(CtlGreenGain, 0);
        setControlValue(CtlBlueGain, prop(CaptureProp::WhiteBalanceBlue));
        setControlValue(CtlSaturation, prop(CaptureProp::Saturation));
        setControlValue(CtlContrast, prop(CaptureProp::Contrast));
        setControlValue(CtlSharpness, prop(CaptureProp::Sharpness));
        setControlValue(CtlHDR, prop(CaptureProp::Gamma));
        for (int key = CtlMirror; key <= CtlExposureType; ++key)
            setControlValue(key, 0);
    }
    MessagePassing::instance()->initImgEffect();
}

void UVCCamera::setAE(bool on) {
    if (!m_capture)
        return;
    const double brightness = m_capture->get(CaptureProp::Brightness);
    m_capture->set(on ? CaptureProp::AutoExposureOn : CaptureProp::AutoExposureOff, brightness);
}

void UVCCamera::doAWB() {
    if (!m_capture)
        return;
    m_capture->set(CaptureProp::OneShotWhiteBalance, m_capture->get(CaptureProp::WhiteBalanceBlue));
}

// ---- zoom and auto edge ----

void UVCCamera::initScaleList() { m_zoom.init(frameSizeNow(), VideoZoom::hostSize()); }

float UVCCamera::setScaleIndex(int index, QPoint anchor) {
    const QRect current = videoWindow ? QRect(videoWindow->pos(), videoWindow->size()) : QRect();
    QRect placed;
    const float f = m_zoom.setScaleIndex(index, anchor, frameSizeNow(), VideoZoom::hostSize(), current, &placed);
    placeVideo(placed);
    return f;
}

void UVCCamera::fitToWindow() {
    placeVideo(m_zoom.fitToWindow(frameSizeNow(), VideoZoom::screenSize(), VideoZoom::hostSize()));
}

void UVCCamera::placeVideo(const QRect& rect) {
    if (videoWindow && videoWindow->isReady() && !rect.isEmpty()) {
        videoWindow->move(rect.topLeft());
        videoWindow->resize(rect.size());
    }
}

void UVCCamera::setEdgeSearchSize(int width, int height) {
    m_edgeWidth = std::max(1, width);
    m_edgeHeight = std::max(1, height);
}

void UVCCamera::snapToEdge(int& x, int& y) {
    if (!videoWindow)
        return;
    const SDLBackground* window = videoWindow;
    VideoZoom::snapToEdge([window](QImage& target, const QRect& area) { return window->readBack(target, area); },
                          window->destination().toRect(), QSize(m_edgeWidth, m_edgeHeight), x, y);
}
