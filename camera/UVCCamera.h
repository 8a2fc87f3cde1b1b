#pragma once

#include "camera/BaseCamera.h"
#include "camera/VideoFeeds.h"
#include "camera/VideoZoom.h"

#include <QByteArray>
#include <QImage>
#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CaptureDevice;
class ThreadJingShenHigh; // the focus-stacking worker, fed by mode-7 snapshots

// ---- Hand-over points to the worker threads ----------------------------
// The frame decoder, the snapshot saver and the recorder are threads of
// their own classes; the driver reaches them only through these interfaces,
// made by the factory installed with UVCCamera::setWorkerFactory.

// A raw frame handed to a worker. `data` is a reference-counted buffer that
// the capture handed over and never writes again while anyone holds it (see
// CaptureDevice::takeFrame), so a worker may keep it as long as it needs.
struct RawFrame {
    QByteArray data; // at least `bytes` long
    int bytes = 0;
    int width = 0;
    int height = 0;
    int pixelFormat = PixFmtNV12;
    int64_t captureMs = -1; // when it was captured (SleepClock ms); -1 unknown
    // Frames the camera delivered after the read before this one that no
    // read took (the reader came late and a newer frame took their place).
    int missedBefore = 0;
    const uint8_t* constBytes() const { return reinterpret_cast<const uint8_t*>(data.constData()); }
};

// Decodes one raw frame to 24-bit RGB on its own thread.
class UsbFrameDecoder {
public:
    virtual ~UsbFrameDecoder() = default; // waits (bounded) for a running job
    // Runs on the decoder's thread with width * height * 3 RGB bytes, rows
    // packed, valid during the call.
    using Completion = std::function<void(const uint8_t* rgb, int width, int height)>;
    // True from decode() until the job has ended (its thread finished).
    virtual bool isBusy() const = 0;
    // Starts decoding on the worker's thread; `done` runs there only when a
    // picture came out. The decoder was made for the frame's size and format.
    // False when the job could not begin (the system refused memory for the
    // frame's copy or a thread): nothing runs, `done` never does.
    virtual bool decode(const RawFrame& frame, Completion done) = 0;
    // Waits up to ms for the job to end; true when none runs.
    virtual bool waitIdle(int ms) = 0;
    // Asks the running job, if any, to end without its picture at the next
    // point where it can (between strips of the conversion): `done` is then
    // not called. Only for a picture nobody will take.
    virtual void cancel() {}
};

// Finishes a snapshot from a decoded picture on its own thread.
class UsbSnapshotSaver {
public:
    virtual ~UsbSnapshotSaver() = default; // waits (bounded) for a running save
    virtual bool isBusy() const = 0;       // its thread runs
    virtual void setParams(const QString& path, int mode, bool saveDirect, bool timeStamp, const QColor& colour,
                           int position, int sizeIndex, const QString& className) = 0;
    virtual void setFocusConsumer(ThreadJingShenHigh* consumer) = 0;
    // The picture the decoder's completion writes into (on the decoder's
    // thread), width x height with 3 or 4 channels; it becomes this job's image.
    virtual QImage* imageBuffer(int width, int height, int channels) = 0;
    // Starts the save of the current job (called on the decoder's thread).
    // A save the system gives no thread to ends as refused() ends it.
    virtual void startSave() = 0;
    // The system refused the current job memory or a thread before its
    // picture came: whoever waits for it is told (stitching and focus
    // stacking stop with their message, a picture the user asked for is
    // reported unsaved) and the saver is free again.
    virtual void refused() = 0;
    // Frees the pictures it keeps for the next job (called only while it is
    // idle); the next job makes what it needs again.
    virtual void releasePictures() {}
    // Waits at most `ms` for a running save to end; true when none runs.
    virtual bool waitIdle(int ms) {
        (void)ms;
        return !isBusy();
    }
};

// The eight recorder settings of the models: input size, FFmpeg codec id and
// pixel format of the raw frames, frames per second of the file, output
// size, keep every n-th frame; and the camera's own frame rate, filled by
// the driver when the recording starts.
struct UsbRecordSettings {
    int inWidth = 1920, inHeight = 1080;
    int inCodec = 7, inPixelFormat = 12;
    int fps = 15;
    int outWidth = 1920, outHeight = 1080;
    int keepEvery = 1;
    double cameraFps = 0; // frames per second the camera sends; 0 unknown
};

// Records pushed frames to a file on its own thread.
class UsbRecorder {
public:
    enum State { Idle = -100, Recording = 1, Stopping = 0, Finished = -1 };
    virtual ~UsbRecorder() = default; // stops, waits (bounded) and finishes the file
    virtual int state() const = 0;
    virtual bool startRecord(const QString& path, const UsbRecordSettings& settings) = 0;
    // GUI thread; the recorder keeps the frame's buffer until it is encoded.
    // The frames the camera delivered before it that never came here
    // (frame.missedBefore) are counted with the recording's drops.
    virtual void pushFrame(const RawFrame& frame) = 0;
    virtual void stopRecord() = 0;
};

struct UsbWorkerFactory {
    std::function<std::unique_ptr<UsbFrameDecoder>(int width, int height, int pixelFormat)> decoder;
    std::function<std::unique_ptr<UsbSnapshotSaver>()> saver;
    std::function<std::unique_ptr<UsbRecorder>()> recorder;
};

// ---- The USB camera driver ----------------------------------------------
// A USB video class camera through a CaptureDevice: the ring of three raw
// frames that the video window's render step fills, the measured frame rate,
// snapshots served by pooled decoder and save threads, the recorder feed,
// zoom, the auto-edge search and the asynchronous close. Model classes add
// their control tables and register channel. GUI thread throughout; the
// decoder completions run on the decoders' threads.
class UVCCamera : public BaseCamera, public UsbVideoFeed {
    Q_OBJECT
public:
    static constexpr int RingSize = 3;
    // A frame read in the render step only takes a frame that is there: the
    // loop's rest waits for the next one to arrive (waitFrameArrival).
    static constexpr int RenderReadWaitMs = 0;
    // Snapshots of one user mode waiting for frames at most.

    explicit UVCCamera(QObject* parent = nullptr);
    ~UVCCamera() override;

    // The program's worker threads (installed once at start; tests install fakes).
    static void setWorkerFactory(const UsbWorkerFactory& factory);

    // The generic open: device `index` of CaptureDevice::devices() in the
    // given pixel format, 3840 x 2160 (./OtherSet.ini "Resolution" 0, the
    // default) or 1920 x 1080 (any other value). False when the capture did
    // not open.
    virtual bool open(int index, int pixelFormat);
    bool isOpened() const;
    CaptureDevice* capture() const { return m_capture.get(); }
    // Allocates the ring, attaches the video window, builds the zoom list and
    // announces the fit index (initImageScaleIndexSIGNAL).
    void startLive();
    int resolutionIndex() const { return m_resolutionIndex; }
    int frameWidth() const { return m_frameWidth; }
    int frameHeight() const { return m_frameHeight; }
    // The focus-stacking consumer of mode-7 snapshots (not owned).
    void setFocusConsumer(ThreadJingShenHigh* consumer) { m_focusConsumer = consumer; }
    ThreadJingShenHigh* focusConsumer() const { return m_focusConsumer; }
    // The stacking worker's reset may come from its own thread: it clears the
    // link only if it still names that worker.
    void unlinkFocusConsumer(ThreadJingShenHigh* consumer) { m_focusConsumer.compare_exchange_strong(consumer, nullptr); }
    // Gives back the decoders and save threads no snapshot holds, with their
    // pictures (tens of MB each at 4K), keeping one save thread ready as at
    // the start (without its picture): a stream of snapshots (focus
    // stacking) grows them to a decoder per core, and the next snapshots
    // make what they need again. The jobs under way (a frame or two of a
    // stream that has just ended) are waited for, briefly, and go too.
    void releaseIdleWorkers();
    const UsbRecordSettings& recordSettings() const { return m_record; }
    QStringList pendingSnapshots() const { return m_pending; }

    // BaseCamera
    QString className() const override { return "UVCCamera"; }
    int pixelFormat() const override { return m_pixelFormat; }
    // The measured rate; 0 once no frame has come for two seconds while
    // playing (an unplugged or stalled camera shows no stale rate).
    float frameRate() override;
    void setResolution(int index) override;
    void initScaleList() override;
    int scaleIndex() const override { return m_zoom.scaleIndex(); }
    void play() override;
    void pause() override;
    bool isPlaying() const override { return m_playing; }
    void doAWB() override;
    void setAE(bool on) override;
    float setScaleIndex(int index, QPoint anchor) override;
    void fitToWindow() override;
    bool isFitToWindow() const override { return m_zoom.isFit(); }
    void snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                   int sizeIndex) override;
    void syncParams() override;
    void setParam(int key, int value) override;
    bool startRecord(QString path) override;
    void stopRecord() override;
    QString recordingPath() const override;
    void setEdgeSearchSize(int width, int height) override;
    void snapToEdge(int& x, int& y) override;

    // UsbVideoFeed (the render step)
    bool hasCapture() const override;
    int ringSize() const override { return RingSize; }
    int ringIndex() const override { return m_ringIndex; }
    bool feedPlaying() const override { return m_playing; }
    int feedPixelFormat() const override { return m_pixelFormat; }
    bool readFrameInto(int i) override;
    bool ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const override;
    QByteArray sharedRingBuffer(int i) const override;
    bool waitFrameArrival(int ms) override;
    void frameStep() override;

    // Counters for tests and diagnostics.
    int droppedSnapshots() const { return m_droppedSnapshots; }
    bool hasRecorder() const { return bool(m_recorder); }

public slots:
    // The asynchronous close: stops taking frames and snapshots, asks running
    // decoders to stop and waits for them (bounded), lets the recorder finish
    // its file and the save threads end, retrying every 50 ms; then the hub
    // emits setThreadAVPacketFinishSIGNAL and the camera may be deleted.
    void setThreaSaveImgFinish();
    void closeCamera() { setThreaSaveImgFinish(); }

protected:
    // Steps of the model open routines.
    bool openCapture(int index);
    // Called when openCapture has made the capture object.
    virtual void captureCreated() {}
    void selectFormat(int pixelFormat);
    void applyCaptureSize(QSize size, int resolutionIndex);
    void setFrameRateValue(float fps) { m_frameRate = fps; }
    void setRecordSettings(const UsbRecordSettings& s) { m_record = s; }
    // MJPG frames (FFmpeg MJPEG, full-range 4:2:0) recorded to 1920 x 1080.
    static UsbRecordSettings mjpgRecording(int fps, int keepEvery) {
        UsbRecordSettings s;
        s.inCodec = 7;
        s.inPixelFormat = 12;
        s.fps = fps;
        s.keepEvery = keepEvery;
        return s;
    }
    QSize frameSizeNow() const { return QSize(m_frameWidth, m_frameHeight); }
    // Sets the current value of a control-map key (index 2 of keys 0-9,
    // index 1 of the switches); a key the model lacks stays absent, and a
    // negative value (a read the camera did not answer) changes nothing.
    void setControlValue(int key, int value);
    // Hook of the models: fills the recorder settings before a recording
    // starts (default: keeps what the constructor set); false refuses the
    // recording (a pixel format outside the model's table).
    virtual bool prepareRecordSettings() { return true; }

    int m_resolutionIndex = 0;
    int m_pixelFormat = PixFmtNV12;
    int m_frameWidth = 100;
    int m_frameHeight = 100;
    UsbRecordSettings m_record;

private:
    struct SnapshotTicket {
        std::atomic<bool> delivered{false};
        QString path; // given back to the queue when the frame was damaged
        int mode = 0;
        int retries = 0;
    };
    static constexpr int kSnapshotRetries = 3;
    QHash<QString, int> m_retryOf; // tries already spent on a re-queued path
    struct SaverSlot {
        std::unique_ptr<UsbSnapshotSaver> saver;
        std::shared_ptr<SnapshotTicket> pending; // a decoder is filling its image
    };
    struct DecoderSlot {
        std::unique_ptr<UsbFrameDecoder> decoder;
        std::shared_ptr<SnapshotTicket> job;
        UsbSnapshotSaver* saver = nullptr;
    };

    void measureFrameRate();
    // The readout's count of frames starts again (a new size, a pause, play).
    void restartFrameCount();
    void reapWorkers();
    // A snapshot that cannot be taken: counted, and a picture the user waits
    // for ends its busy state with the "Error" box.
    void dropSnapshot(const QString& path, int mode);
    SaverSlot* idleSaver();
    DecoderSlot* idleDecoder(int width, int height);
    // Hands slot i to a decoder and a save thread; false when no decoder is free.
    bool serveSnapshot(int slot, const QString& path, bool withConsumer);
    bool m_closeRetryPending = false;
    bool m_closeAnnounced = false;
    RawFrame frameOf(int slot) const;
    void feedRecorder(int slot);

    std::unique_ptr<CaptureDevice> m_capture;
    float m_frameRate = 0.0f;
    bool m_playing = true;
    bool m_closing = false;
    bool m_recorderStopAsked = false;

    // Snapshot request.
    int m_snapMode = 0;
    QStringList m_pending;
    bool m_saveDirect = false;
    bool m_timeStamp = false;
    QColor m_stampColour;
    int m_stampPosition = 0;
    int m_sizeIndex = 0;

    void placeVideo(const QRect& rect);
    VideoZoom m_zoom;

    int m_fpsFrames = 0;
    uint64_t m_fpsStart = 0;
    std::atomic<ThreadJingShenHigh*> m_focusConsumer{nullptr};

    // The ring: three raw buffers and the frame each holds.
    struct Slot {
        QByteArray buffer;
        int bytes = 0, width = 0, height = 0;
        int64_t captureMs = 0; // SleepClock time of its capture (of the read, if unknown)
        int missedBefore = 0;  // frames the camera delivered before it that no read took
    };
    // The capture's count of frames no read took, as of the last read or
    // the play after a pause (the frames of a pause were asked away).
    uint64_t m_missedSeen = 0;
    // The camera's frame rate for a recording: as the capture states it, or
    // as measured.
    double cameraFrameRate() const;
    QVector<Slot> m_ring;
    int m_ringCapacity = 0;
    int m_ringIndex = 0;

    std::vector<SaverSlot> m_savers;
    std::map<int, std::vector<DecoderSlot>> m_decoders;
    std::unique_ptr<UsbRecorder> m_recorder;
    QString m_recordPath;
    int m_edgeWidth = 31;
    int m_edgeHeight = 31;
    int m_droppedSnapshots = 0;
};
