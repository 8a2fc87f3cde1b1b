#pragma once

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

struct AVCodecContext;
struct AVIOContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
class FrameScaler;

// Records live video: camera frames pushed by a driver are kept every n-th,
// then by their capture time at most one per tick of the file's rate,
// decoded by their raw format, scaled to the output size and encoded as H.264
// into a container chosen by the file name. Each frame plays on the tick of
// the rate the file holds (the camera's own, at most the file's rate) that
// its capture time falls on, so a steady camera gives a file whose stated
// rate, average rate and frames over duration agree, which every player and
// converter then reads frame for frame; a stall, a slower camera or a rate
// change skips ticks, so the file still plays as long as it was recorded.
// The rate held is measured from the first frames (the driver's stated rate
// where they agree with it) and again as the camera's rate changes; key
// frames follow it. The encoder is told the time of the pictures, not of
// the gaps between them: its constant bit rate is spent per second of
// pictures. MP4 files are written in
// fragments cut every quarter second and flushed at once, so a recording cut
// short by a killed process, a full disk or a lost camera stays playable up
// to its last fragment. The encoder holds no frame back (no B-frames, no
// look-ahead, threads that split a picture rather than work on several), so
// what a kill loses is the queue (normally empty) and the last quarter second.
//
// Threads: startRecord, pushFrame and stopRecord are called on the driver's
// thread (the GUI thread for USB cameras, the SDK's thread for network ones);
// opening the encoder, decoding, scaling and encoding run on this object's
// own thread and the encoder's few helper threads (a full-HD picture costs a
// third of what the "medium" preset takes, so the live picture keeps the
// processor). That thread starts in startRecord and ends when the file is
// finished. A pushed frame is either
// copied into a buffer the recorder owns (raw pointer) or kept by reference
// (QByteArray), never copied on the caller's thread in the second case.
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
    //   fps:       the file's highest rate: frames closer together than its
    //              tick are left out.
    //   keepEvery: of the frames offered, numbers 0, n, 2n ... are recorded.
    //   cameraFps: frames per second the camera offers, as its driver states
    //              it (0: unknown). The file holds that rate over keepEvery
    //              (at most fps) when its first frames come at it; otherwise
    //              the rate they come at.
    bool startRecord(QString path, int inWidth, int inHeight, int inCodecId, int inPixFmt, int fps, int outWidth,
                     int outHeight, int keepEvery, double cameraFps = 0);

    // Offers one frame (raw rows without padding, or one JPEG image). width
    // and height: the frame's own size when it differs from the input size
    // given to startRecord (0 = that size). Returns true when the frame was
    // queued; false when it was skipped by keepEvery, dropped because the
    // queue is full, not recording, the byte count cannot hold a raw frame
    // of that size, or the frame tick of its capture time is already taken.
    // A queued frame is still left out (and counted so) when the rate the
    // file holds turns out slower than the camera's (a camera that got
    // faster loses one frame while its new rate is found).
    // captureMs: when the camera captured the frame, in milliseconds of any
    // monotonic clock, the same for every frame of a recording. The first
    // frame starts the file; each later one is kept only when it comes at
    // least half a tick of the file's rate after the tick the last kept frame
    // took, so a camera faster than the file's rate has its extra frames left
    // out. A kept frame plays on the tick of the held rate its capture time
    // falls on (from a quarter tick before it to three quarters after; the
    // next free tick when that one is taken): the file lasts as long as the
    // recording did, within a frame, and a slower camera, or one whose rate
    // changes, plays at its own pace.
    // -1: no capture time, the frame plays one tick after the last (a source
    // that delivers exactly at the file's rate, as a file conversion does).
    bool pushFrame(const uint8_t* data, int bytes, int width = 0, int height = 0, int64_t captureMs = -1);
    // The same, keeping a reference to data (no copy on the caller's thread);
    // the caller must not write into that buffer again.
    bool pushFrame(const QByteArray& data, int bytes, int width, int height, int64_t captureMs);

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
    // Frames left out because their tick of the file was already taken (a
    // camera faster than the file's rate).
    int framesOverRate() const { return m_overRate.load(); }
    // Frames that could not be decoded (skipped; the recording goes on).
    int badFrames() const { return m_bad.load(); }
    // Frames the camera delivered while recording that never reached this
    // recorder (the driver's reader fell behind and newer frames took their
    // place), as the driver counts them; they are reported with the other
    // drops when the file ends, and the step across them is not taken for
    // the camera's interval. Called before pushFrame offers the frame after
    // them. Any thread.
    void countFramesMissed(int frames);
    // Frames handed to the encoder, and frames the file holds in complete
    // fragments that have reached the disk.
    qint64 framesEncoded() const { return m_encoded.load(); }
    qint64 framesOnDisk() const { return m_onDisk.load(); }

    // A monotonic millisecond clock for capture times of callers that have
    // none of their own.
    static int64_t monotonicMs();

signals:
    // Emitted from the recording thread when the file is closed. ok is false
    // when writing failed (lastError says why); the file then holds what was
    // written before the failure.
    void recordingFinished(bool ok, qint64 framesWritten, int framesDropped);
    // Emitted from the recording thread, just before recordingFinished, when
    // the recording ended without stopRecord (writing failed): whoever shows
    // the recording as running must show it ended.
    void endedByItself(QString path, QString reason);

protected:
    void run() override;

private:
    struct Frame {
        std::vector<uint8_t> data; // a copy, padded for the decoder
        QByteArray shared;         // or the caller's buffer, kept by reference
        int bytes = 0;
        int width = 0;
        int height = 0;
        int64_t captureMs = -1; // the caller's capture time (-1: none)
        // Frames of the camera's came between the last frame queued and this
        // one that were not queued (never reached the recorder, or dropped
        // with the queue full): the step to this one is no interval of the
        // camera's, and shows nothing of its rate.
        bool afterLoss = false;
        // Capture times of the frames left out over the file's rate between
        // the last frame queued and this one: the camera sent them, and its
        // rate is measured over them too.
        std::vector<int64_t> leftOutBefore;
        const uint8_t* bytesPtr() const {
            return shared.isNull() ? data.data() : reinterpret_cast<const uint8_t*>(shared.constData());
        }
    };

    bool acceptFrame(int& bytes, int& width, int& height);
    // Takes a queue place and a buffer for a frame (false: left out).
    bool queueFrame(std::unique_ptr<Frame>& frame, int64_t captureMs);
    // Puts a filled frame from queueFrame into the queue.
    void commitFrame(std::unique_ptr<Frame>& frame, int bytes, int width, int height);
    bool openEncoder();
    // Waits (lock held) until the first frames show the rate the file holds,
    // then sets it; false when the recording ends first.
    void chooseFirstRate(std::unique_lock<std::mutex>& lock);
    // The stamp of a frame on the held rate's grid, after following a change
    // of the camera's rate (false: left out, within half a tick of the last).
    bool stampFrame(const Frame& frame, int64_t& stamp);
    void followRate(int64_t captureMs, bool afterLoss);
    // A grid of `rate` from the last frame stamped on.
    void moveGrid(double rate);
    void setHeldRate(double rate);
    void encodeQueued(Frame& frame);
    bool encodePicture(const AVFrame* picture, int64_t stamp);
    bool drainEncoder(bool flush);
    bool writeHeld();
    static constexpr int64_t kFragmentMs = 250;
    void finish();
    void releaseFFmpeg();
    void setError(const QString& text);
    int rawFrameBytes(int width, int height) const;

    QString m_path;
    int m_inWidth = 0, m_inHeight = 0, m_inCodecId = 0, m_inPixFmt = 0;
    int m_outWidth = 0, m_outHeight = 0, m_keepEvery = 1;
    // Stamps count 1/kTimeBase seconds. A key frame comes every m_keyUnits.
    static constexpr int64_t kTimeBase = 90000;
    int m_fps = 1;
    int64_t m_keyUnits = 1;
    double m_cameraFps = 0;  // the camera's rate as its driver states it (0: unknown)
    double m_statedRate = 0; // that over keep-every, at most m_fps (0: unknown)

    std::atomic<int> m_state{StateIdle};
    std::atomic<int> m_offered{0};
    std::atomic<int> m_dropped{0};
    std::atomic<int> m_overRate{0};
    std::atomic<int> m_bad{0};
    std::atomic<int> m_missed{0};
    std::atomic<qint64> m_encoded{0};
    std::atomic<qint64> m_onDisk{0};

    // Queue and spare buffers, guarded by m_mutex (the standard library's,
    // whose locking a thread checker sees).
    mutable std::mutex m_mutex;
    std::condition_variable m_frameReady;
    std::condition_variable m_spaceFree;
    std::deque<std::unique_ptr<Frame>> m_queue;
    std::vector<std::unique_ptr<Frame>> m_spare;
    int m_capacity = 0;     // 0: chosen at start from the frame size
    int m_reserved = 0;     // frames being copied in by pushFrame
    bool m_working = false; // the thread is encoding a frame taken from the queue
    bool m_stopAsked = false;
    bool m_abort = false;   // destructor gave up waiting: drop the queue
    bool m_stopByCaller = false; // stopRecord was called (not a failed write)
    int m_openResult = 0;   // 0 opening, 1 opened, -1 failed (startRecord waits)
    std::condition_variable m_opened;
    int64_t m_firstCaptureMs = -1; // capture time of the first frame queued
    int64_t m_lastTick = -1;       // tick of the file's rate (m_fps) the last frame queued took
    int64_t m_lastOfferedMs = -1;  // the latest capture time offered, kept or not
    int m_untimedQueued = 0;       // frames without a capture time queued
    int m_lossesQueued = -1;       // missed and dropped frames when the last frame was queued
    std::vector<int64_t> m_leftOutMs; // capture times left out over the rate since the last frame queued
    int m_lostAfterFailure = 0;    // frames offered or queued after writing failed
    std::vector<uint8_t> m_padded; // a referenced JPEG copied with the decoder's padding
    QString m_error;

    // FFmpeg objects, touched by startRecord before the thread starts and by
    // the thread afterwards.
    AVFormatContext* m_out = nullptr;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_encoder = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;
    AVPacket* m_held = nullptr; // the last encoded picture, written when the next comes
    AVFrame* m_decoded = nullptr;
    AVFrame* m_rawView = nullptr;
    AVFrame* m_outFrame = nullptr;
    std::unique_ptr<FrameScaler> m_scaler;
    AVIOContext* m_io = nullptr;
    int m_fd = -1;
    // The held rate's grid, on the recording thread: frame number m_lastN
    // of the grid that starts at m_originMs (capture time) and m_originStamp.
    double m_heldRate = 0;       // frames per second the file holds (0: not chosen yet)
    int64_t m_tickUnits = 1;     // its tick, rounded
    int64_t m_originMs = -1;
    int64_t m_originStamp = 0;
    int64_t m_firstGridMs = -1;  // the first grid's start: stamps stand for capture times from it
    int64_t m_firstGridStamp = 0;
    int64_t m_lastN = -1;
    int64_t m_lastStamp = -1;    // stamp of the last picture sent to the encoder
    std::deque<int64_t> m_recentMs; // capture times of the frames of about the last second and a half
    int m_rateVotes = 0;         // successive measurements of one rate away from the held rate
    double m_votedRate = 0;
    // The encoder's clock counts pictures, not gaps (a stall, a pause): each
    // picture lasts its step, at most two ticks. The stamps its packets come
    // back with are turned into the frames' own.
    int64_t m_pictureTime = 0;
    int64_t m_lastPictureStamp = 0;
    std::deque<std::pair<int64_t, int64_t>> m_stampOfPicture;
    int64_t m_nextKeyPts = 0;    // pictures from this stamp on start a group
    int64_t m_lastDuration = 0;  // how long the last picture written lasted
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
