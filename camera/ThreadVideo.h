#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVIOContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
class FrameScaler;

// Records live video: camera frames pushed by a driver are kept every n-th,
// decoded by their raw format, scaled to the output size and encoded as H.264
// into a container chosen by the file name. MP4 files are written in
// fragments cut every quarter second and flushed at once, so a recording cut
// short by a killed process, a full disk or a lost camera stays playable up
// to its last fragment. What a kill loses is bounded to about a second: the
// queue (at most half a second of frames), the encoder's short look-ahead
// and the last quarter second.
//
// Threads: startRecord, pushFrame and stopRecord are called on the driver's
// thread (the GUI thread for USB cameras, the SDK's thread for network ones);
// encoding runs on this object's own thread, started by startRecord and ended
// when the file is finished. Every pushed frame is copied into a buffer the
// recorder owns, so the caller may overwrite its ring slot at once.
//
// The queue is bounded: when the encoder falls behind, further frames are
// dropped and counted (droppedFrames, and the recordingFinished signal).
class ThreadVideo : public QThread {
    Q_OBJECT
public:
    // Values of state(), as the drivers test them on every frame.
    enum State : int {
        StateIdle = -100,     // constructed, nothing open
        StateRecording = 1,   // frames are accepted
        StateStopping = 0,    // stop asked; the queue drains, then the file is finished
        StateFinished = -1,   // file closed (or start failed); the driver deletes the recorder
    };

    explicit ThreadVideo(QObject* parent = nullptr);
    // Finishes the file if still recording: waits up to 3000 ms for the queue
    // to drain, then drops what is left and finishes anyway.
    ~ThreadVideo() override;

    // Opens the file, the encoder and the input decoder, writes the header and
    // starts the thread. False (with lastError, and no file left behind) when
    // called twice, when a setting is out of range (sizes, fps or keepEvery
    // below 1, odd output size) or when the container or a codec cannot be
    // opened.
    //   inCodecId: FFmpeg codec id of the pushed frames (7 MJPEG, 13 raw video)
    //   inPixFmt:  FFmpeg pixel format of the frames (23 NV12, 12 full-range
    //              YUV 4:2:0, 1 YUYV 4:2:2, 3 BGR24); MJPEG frames may carry
    //              any JPEG sampling whatever this says.
    //   keepEvery: of the frames offered, numbers 0, n, 2n ... are recorded.
    bool startRecord(QString path, int inWidth, int inHeight, int inCodecId, int inPixFmt, int fps, int outWidth,
                     int outHeight, int keepEvery);

    // Offers one frame (raw rows without padding, or one JPEG image). width
    // and height: the frame's own size when it differs from the input size
    // given to startRecord (0 = that size). Returns true when the frame was
    // queued; false when it was skipped by keepEvery, dropped because the
    // queue is full, not recording, or the byte count cannot hold a raw frame
    // of that size. captureMs: when the camera delivered the frame, on a
    // monotonic millisecond clock (-1: now). Each kept frame is stamped with
    // its capture time, so the file plays at real speed whatever rate the
    // camera really delivers; the file's nominal rate stays `fps`.
    bool pushFrame(const uint8_t* data, int bytes, int width = 0, int height = 0, int64_t captureMs = -1);

    // Asks the thread to encode what is queued and finish the file. Returns at
    // once; state() turns -1 when the file is closed (wait() to block).
    void stopRecord();

    // Blocks until the queue has room or the recording ends; false on timeout
    // or when no longer recording. For callers that must not lose frames
    // (file conversion, tests, benchmarks).
    bool waitForSpace(unsigned long ms);

    // Queue length limit in frames; only before startRecord. By default it
    // holds about 64 MiB of frames, at least 3 and at most 16.
    void setQueueCapacity(int frames);
    int queueCapacity() const;

    // Frames accepted but not yet through the encoder (queued or in work).
    int pendingFrames() const;

    int state() const { return m_state.load(); }
    QString path() const { return m_path; }
    QString lastError() const;
    int framesOffered() const { return m_offered.load(); }
    int droppedFrames() const { return m_dropped.load(); }
    // Frames that could not be decoded (skipped; the recording goes on).
    int badFrames() const { return m_bad.load(); }
    // Frames handed to the encoder, and frames the file holds in complete
    // fragments that have reached the disk.
    qint64 framesEncoded() const { return m_encoded.load(); }
    qint64 framesOnDisk() const { return m_onDisk.load(); }

signals:
    // Emitted from the recording thread when the file is closed. ok is false
    // when writing failed (lastError says why); the file then holds what was
    // written before the failure.
    void recordingFinished(bool ok, qint64 framesWritten, int framesDropped);

protected:
    void run() override;

private:
    struct Frame {
        std::vector<uint8_t> data;
        int bytes = 0;
        int width = 0;
        int height = 0;
        int64_t captureMs = 0;
    };

    bool openEncoder();
    void encodeQueued(Frame& frame);
    bool encodePicture(const AVFrame* picture, int64_t captureMs);
    bool drainEncoder(bool flush);
    static int64_t monotonicMs();
    static constexpr int64_t kFragmentMs = 250;
    void finish();
    void releaseFFmpeg();
    void setError(const QString& text);
    int rawFrameBytes(int width, int height) const;

    QString m_path;
    int m_inWidth = 0, m_inHeight = 0, m_inCodecId = 0, m_inPixFmt = 0, m_fps = 0;
    int m_outWidth = 0, m_outHeight = 0, m_keepEvery = 1;

    std::atomic<int> m_state{StateIdle};
    std::atomic<int> m_offered{0};
    std::atomic<int> m_dropped{0};
    std::atomic<int> m_bad{0};
    std::atomic<qint64> m_encoded{0};
    std::atomic<qint64> m_onDisk{0};

    // Queue and spare buffers, guarded by m_mutex.
    mutable QMutex m_mutex;
    QWaitCondition m_frameReady;
    QWaitCondition m_spaceFree;
    std::deque<std::unique_ptr<Frame>> m_queue;
    std::vector<std::unique_ptr<Frame>> m_spare;
    int m_capacity = 0;     // 0: chosen at start from the frame size
    int m_reserved = 0;     // frames being copied in by pushFrame
    bool m_working = false; // the thread is encoding a frame taken from the queue
    bool m_stopAsked = false;
    bool m_abort = false;   // destructor gave up waiting: drop the queue
    QString m_error;

    // FFmpeg objects, touched by startRecord before the thread starts and by
    // the thread afterwards.
    AVFormatContext* m_out = nullptr;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_encoder = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_decoded = nullptr;
    AVFrame* m_rawView = nullptr;
    AVFrame* m_outFrame = nullptr;
    std::unique_ptr<FrameScaler> m_scaler;
    AVIOContext* m_io = nullptr;
    int m_fd = -1;
    int64_t m_nextPts = 0;       // the least time stamp the next frame may take
    int64_t m_firstCaptureMs = -1;
    int64_t m_lastFlushMs = 0;   // when the last fragment went to disk
    int64_t m_goodBytes = 0;    // file size at the end of the last complete write
    int64_t m_packetsMuxed = 0;
    bool m_fragmented = false;
    bool m_writeFailed = false;
};

// Free-space check before a recording: true when the volume holding the
// folder of `path` (the path without its last "/" element) has more than 100
// MiB free, counted in whole MiB.
bool isDiskSpaceEnough(QString path);
// The same rule on a byte count: free / 1024 / 1024 > 100.
bool isFreeSpaceEnough(qint64 freeBytes);
