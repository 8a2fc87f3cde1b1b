#pragma once

#include "camera/H264Repeats.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
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
// into a container chosen by the file name, at one constant rate fixed when
// the recording starts: the camera's rate as its driver states it over
// keep-every, at most the file's rate (the file's rate where the driver
// states none). It is never measured from when frames come: on a busy
// machine that is the machine's timing, not the camera's.
// Each tick of that rate holds exactly one picture: the newest frame
// captured less than half a tick after it. Where none came (a late or
// slower camera, a stall, a pause) the picture before repeats; where more
// came, all but the newest are left out. Every player, ffprobe and a plain
// conversion thus read the same rate and the same frames, and the file lasts
// as long as the capture times span, within a tick. The encoder keeps a
// constant 12 Mbit/s over the ticks; a repeat costs it little. Key frames
// come every so many ticks (the whole seconds nearest 50 frames). MP4 files
// are written in fragments cut every quarter second and flushed at once, so
// a recording cut short by a killed process, a full disk or a lost camera
// stays playable up to its last fragment. The encoder holds no frame back
// (no B-frames, no look-ahead, threads that split a picture rather than work
// on several), so what a kill loses is the queue, the newest frame (kept
// until the next one shows that no newer frame shares its tick) and the last
// quarter second.
//
// Threads: startRecord, pushFrame and stopRecord are called on the driver's
// thread (the GUI thread for USB cameras, the SDK's thread for network ones);
// opening the encoder, decoding and scaling run on this object's own thread,
// encoding and writing on a second one it starts (so the next picture is
// decoded while one is encoded) and the encoder's few helper threads (a
// full-HD picture costs a third of what the "medium" preset takes, so the
// live picture keeps the processor). Both start in startRecord and end when
// the file is finished. A pushed frame is either
// copied into a buffer the recorder owns (raw pointer) or kept by reference
// (QByteArray), never copied on the caller's thread in the second case.
//
// The queue is bounded: when the encoder falls behind, further frames are
// dropped and counted (droppedFrames, and the recordingFinished signal).
// Repeats are copies of the picture before made without the encoder
// (H264Repeats), but in a key frame's second while the encoder keeps up:
// every tick of the file holds a picture of its own, so its stated rate, its
// frame count and its duration stay right, and the encoder's rate control
// sees only the camera's pictures. Where the stream cannot take such copies,
// the picture before carries those ticks by its duration.
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
    //   fps:       the file's highest rate.
    //   keepEvery: of the frames offered, numbers 0, n, 2n ... are recorded.
    //   cameraFps: frames per second the camera offers, as its driver states
    //              it (0: unknown). The file holds that rate over keepEvery,
    //              at most fps (fps where it is unknown).
    bool startRecord(QString path, int inWidth, int inHeight, int inCodecId, int inPixFmt, int fps, int outWidth,
                     int outHeight, int keepEvery, double cameraFps = 0);

    // Offers one frame (raw rows without padding, or one JPEG image). width
    // and height: the frame's own size when it differs from the input size
    // given to startRecord (0 = that size). Returns true when the frame was
    // queued; false when it was skipped by keepEvery, dropped because the
    // queue is full, not recording, or the byte count cannot hold a raw frame
    // of that size. A queued frame is still left out (and counted so) when a
    // newer one takes its tick.
    // captureMs: when the camera captured the frame, in milliseconds of any
    // monotonic clock, the same for every frame of a recording. The first
    // frame starts the file; each frame's tick is its capture time since
    // then, rounded to the nearest tick. -1: no capture time, the frame takes
    // the tick after the last (a source that delivers exactly at the file's
    // rate, as a file conversion does).
    bool pushFrame(const uint8_t* data, int bytes, int width = 0, int height = 0, int64_t captureMs = -1);
    // The same, keeping a reference to data (no copy on the caller's thread);
    // the caller must not write into that buffer again.
    bool pushFrame(const QByteArray& data, int bytes, int width, int height, int64_t captureMs);

    // Asks the thread to encode what is queued and finish the file. Returns at
    // once; state() turns -1 when the file is closed (wait() to block).
    void stopRecord();

    // Blocks until the queue has room or the recording ends; false on timeout
    // or when no longer recording. For callers that must not lose frames
    // (file conversion, tests, benchmarks): from the first call on, the
    // encoder counts as never behind, and encodes every repeat.
    bool waitForSpace(unsigned long ms);

    // Queue length limit in frames; only before startRecord. By default it
    // holds five seconds of frames at the file's rate, at most what an
    // eighth of the machine's memory holds (a quarter of what is left under
    // an address-space limit), at least 3.
    void setQueueCapacity(int frames);
    int queueCapacity() const;

    // Frames accepted but not yet through the encoder (queued or in work).
    int pendingFrames() const;

    int state() const { return m_state.load(); }
    QString path() const { return m_path; }
    QString lastError() const;
    int framesOffered() const { return m_offered.load(); }
    int droppedFrames() const { return m_dropped.load(); }
    // Frames left out because a newer one took their tick (a camera faster
    // than the file's rate).
    int framesOverRate() const { return m_overRate.load(); }
    // Frames that could not be decoded (skipped; the recording goes on).
    int badFrames() const { return m_bad.load(); }
    // Frames the camera delivered while recording that never reached this
    // recorder (the driver's reader fell behind and newer frames took their
    // place), as the driver counts them; they are reported with the other
    // drops when the file ends. Any thread.
    void countFramesMissed(int frames);
    // Pictures handed to the encoder (repeats too), and pictures the file
    // holds in complete fragments that have reached the disk.
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
        int64_t tick = -1;      // the tick it takes (-1: the one after the last)
        const uint8_t* bytesPtr() const {
            return shared.isNull() ? data.data() : reinterpret_cast<const uint8_t*>(shared.constData());
        }
    };

    bool acceptFrame(int& bytes, int& width, int& height);
    // Takes a queue place and a buffer for a frame (false: left out).
    bool queueFrame(std::unique_ptr<Frame>& frame, int64_t captureMs);
    // Puts a filled frame from queueFrame into the queue.
    void commitFrame(std::unique_ptr<Frame>& frame, int bytes, int width, int height);
    // With m_mutex held: a frame the system gave no memory for is dropped.
    void noRoomFor(std::unique_lock<std::mutex>& lock);
    // With m_mutex held: a frame taken off the queue becomes a spare.
    void recycle(std::unique_ptr<Frame>& frame);
    bool openEncoder();
    // The tick of a capture time (lock held), 0 for the first frame's.
    int64_t tickOf(int64_t captureMs) const;
    // Recording thread: a frame taken from the queue becomes the held one
    // (m_newest: the newest of its tick), or is encoded at once (no capture
    // time);
    // `frame` then holds what goes back to the spare buffers.
    void placeFrame(std::unique_ptr<Frame>& frame);
    // Encodes m_newest on its tick (a repeat where it does not decode).
    void commitNewest();
    // Repeats the last picture on the ticks before `end`: by copies made
    // without the encoder (or by its duration), in a key frame's second by
    // the encoder unless it is behind.
    void fillTicks(int64_t end);
    // Decodes and scales a frame into `into`; false when it does not decode.
    bool takePicture(Frame& frame, AVFrame* into);
    // Decodes and scales a frame into the picture the encoder is not using
    // and posts it on the next tick; false when it does not decode.
    bool postPicture(Frame& frame);
    // The encoding thread's work, in the order posted: a picture, a repeat
    // of the last one, a copy of it made without the encoder, or the end.
    struct Job {
        enum Kind { Picture, Repeat, Copy, End } kind = End;
        int64_t tick = 0;
        int picture = 0; // which of m_outFrames
    };
    void postJob(Job::Kind kind, int64_t tick);
    void encodeJobs();
    void endEncodeJobs();
    void copyTick(int64_t tick);
    bool encodeTick(int64_t tick, bool repeat, AVFrame* picture);
    bool drainEncoder(bool flush);
    // Writes the packet held before and holds `packet` (taken) until the
    // next one says how long it lasts.
    bool holdPacket(AVPacket* packet, bool repeat);
    bool writeHeld();
    static constexpr int64_t kFragmentMs = 250;
    void finish();
    void releaseFFmpeg();
    void setError(const QString& text);
    int rawFrameBytes(int width, int height) const;

    QString m_path;
    int m_inWidth = 0, m_inHeight = 0, m_inCodecId = 0, m_inPixFmt = 0;
    int m_outWidth = 0, m_outHeight = 0, m_keepEvery = 1;
    int m_fps = 1;
    double m_cameraFps = 0; // the camera's rate as its driver states it (0: unknown)
    // The file's rate, fixed at the start; stamps count its ticks.
    int m_rateNum = 1, m_rateDen = 1;
    int64_t m_keyTicks = 1; // a key frame every so many ticks
    int64_t m_secondTicks = 1; // the ticks of a second, a part one counted whole

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
    int m_spareLimit = 3;   // spare buffers kept at most
    int m_reserved = 0;     // frames being copied in by pushFrame
    bool m_working = false; // the thread is encoding a frame taken from the queue
    bool m_stopAsked = false;
    bool m_abort = false;   // destructor gave up waiting: drop the queue
    bool m_stopByCaller = false; // stopRecord was called (not a failed write)
    bool m_paced = false;   // the caller waits for space: the encoder is never behind it
    int m_openResult = 0;   // 0 opening, 1 opened, -1 failed (startRecord waits)
    std::condition_variable m_opened;
    int64_t m_originMs = -1;       // capture time of tick 0
    int64_t m_lastQueuedTick = -1; // tick of the last timed frame queued
    int64_t m_lastOfferedMs = -1;  // the latest capture time offered, kept or not
    int m_lostAfterFailure = 0;    // frames offered or queued after writing failed
    std::vector<uint8_t> m_padded; // a referenced JPEG copied with the decoder's padding
    QString m_error;

    // FFmpeg objects, touched by startRecord before the thread starts and by
    // the thread afterwards.
    AVFormatContext* m_out = nullptr;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_encoder = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;     // the encoder's, on the encoding thread
    AVPacket* m_jpegPacket = nullptr; // the decoder's, on the recording thread
    AVPacket* m_held = nullptr; // the last encoded picture, written when the next comes
    AVFrame* m_decoded = nullptr;
    AVFrame* m_rawView = nullptr;
    // The pictures the encoder works through, in turn. While it is slow (its
    // first pictures, which take it ten times a picture's time; a busy
    // machine) the frames that wait are held here scaled to the file's size
    // (a fifth of a 4K camera frame in a full-HD file), up to a second of
    // them within the queue's 64 MB.
    std::vector<AVFrame*> m_outFrames;
    std::unique_ptr<FrameScaler> m_scaler;
    AVIOContext* m_io = nullptr;
    int m_fd = -1;
    // On the recording thread: the newest frame of its tick, encoded once a
    // frame of a later tick (or the end) shows no newer one comes for it.
    std::unique_ptr<Frame> m_newest;
    int64_t m_nextTick = 0;      // the first tick the file does not hold yet
    int64_t m_firstTick = -1;    // the tick of the file's first picture (its stamp 0)
    int64_t m_nextKeyPts = 0;    // pictures from this stamp on start a group
    qint64 m_pictures = 0, m_repeats = 0, m_copied = 0, m_carried = 0; // ticks of the file, by what holds them
    H264Repeats m_copies;
    bool m_canCopy = false; // the encoder's stream takes copies made without it
    // Per picture in the encoder: its tick of the file, and whether it is a
    // repeat. The encoder itself counts only the pictures it is given (a
    // copy made without it is no gap it should fill with bits).
    struct InEncoder {
        int64_t pts;
        bool repeat;
    };
    std::deque<InEncoder> m_inEncoder;
    int64_t m_encoderPts = 0;
    bool m_heldIsRepeat = false;        // the packet waiting to be written is a repeat's
    qint64 m_picturesMuxed = 0, m_picturesOnDisk = 0;
    int64_t m_lastFlushMs = 0;   // when the last fragment went to disk
    int64_t m_goodBytes = 0;    // file size at the end of the last complete write
    int64_t m_packetsMuxed = 0;
    bool m_fragmented = false;
    std::atomic<bool> m_writeFailed{false};
    // The encoding thread and its jobs (guarded by m_mutex): the recording
    // thread waits for it only when it has kJobBacklog jobs waiting, or for
    // the picture it is to write into.
    static constexpr size_t kJobBacklog = 2;
    std::thread m_encodeThread;
    std::condition_variable m_jobChanged;
    std::deque<Job> m_jobs;
    int64_t m_jobsPosted = 0, m_jobsDone = 0;
    int64_t m_ticksGivenUp = 0, m_picturesGivenUp = 0; // jobs skipped once the destructor gave up
    std::vector<int64_t> m_lastJobWith; // the last job using each picture
    int m_lastPicture = 0;             // the picture repeats show
};

// Free-space check before a recording: true when the volume holding the
// folder of `path` (the path without its last "/" element) has more than 100
// MiB free, counted in whole MiB.
bool isDiskSpaceEnough(QString path);
// The same rule on a byte count: free / 1024 / 1024 > 100.
bool isFreeSpaceEnough(qint64 freeBytes);
