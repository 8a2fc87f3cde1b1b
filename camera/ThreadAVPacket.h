#pragma once

#include <QSize>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
class FrameScaler;

// Decodes one raw USB camera frame (NV12, YUYV or one JPEG image) into 24-bit
// RGB on its own thread and hands the picture to a completion function. The
// USB driver keeps a few per frame width and reuses them for snapshots.
//
// Use (driver, GUI thread):
//   ThreadAVPacket* d = new ThreadAVPacket(owner);
//   d->initDecoder(width, height, camera->pixelFormat());
//   ... per job, only when d->isReusable():
//   d->pushPacket(slot, bytes, done, failed);
// pushPacket copies the frame, so the ring slot may be overwritten at once.
// The completion runs on the decoder thread with the RGB rows (width x 3
// bytes each, no padding), valid only during the call; it sets `used` when it
// took the picture. `failed` (optional) runs on the decoder thread when the
// frame could not be decoded, so the caller can release what it reserved.
class ThreadAVPacket : public QThread {
    Q_OBJECT
public:
    using Completion = std::function<void(const uint8_t* rgb, int width, int height, bool& used)>;
    using Failure = std::function<void()>;

    explicit ThreadAVPacket(QObject* parent = nullptr);
    ~ThreadAVPacket() override;

    // Sets up the decoder for frames of width x height in the camera's pixel
    // format code (22 NV12, 15 MJPG, 6 YUYV; any other code is taken as JPEG
    // of up to 3840 x 2160). The RGB picture is always width x height. False
    // when the size is not positive or FFmpeg cannot open the decoder.
    bool initDecoder(int width, int height, int pixelFormat);
    // The same with the pixel format of the hub's current camera (NV12 when
    // there is none).
    bool initDecoder(int width, int height);

    // Starts one job on a copy of the frame. False (nothing started) when the
    // decoder is not set up, the thread still runs, the frame is empty, or
    // the system refused memory for the copy or a thread to run in; the
    // decoder is free again then.
    bool pushPacket(const uint8_t* data, int bytes, Completion completion, Failure failed = Failure());

    // Ends the current job without its picture at the next strip of its
    // conversion (the completion is not called; the failure function is):
    // for a picture nobody will take. The next pushPacket clears it. Any
    // thread.
    void cancel() { m_cancel = true; }

    // True once the completion of the current job has taken the picture.
    bool isUsed() const { return m_used.load(); }
    // True when the last job ended without a picture (bad frame).
    bool lastJobFailed() const { return m_failed.load(); }
    // Free for a job: set up, the thread not running, and the last job (if
    // any) either had its picture taken or failed. A decoder whose frame was
    // bad stays usable rather than being lost to the pool.
    bool isReusable() const { return m_ready && !isRunning() && !m_busy.load(); }
    bool isReady() const { return m_ready; }

    int width() const { return m_width; }
    int height() const { return m_height; }
    // FFmpeg codec id and input pixel format chosen by initDecoder.
    int codecId() const { return m_codecId; }
    int inputPixelFormat() const { return m_inputFormat; }
    // The frame size announced for the input: width x height, or 3840 x 2160
    // for an unexpected pixel format. JPEG frames are decoded at their own size.
    QSize announcedSize() const { return QSize(m_announcedWidth, m_announcedHeight); }

    // Runs the current job on the calling thread (what the thread runs).
    void decodeNow();

protected:
    void run() override;

private:
    void release();

    AVPacket* m_packet = nullptr;
    AVCodecParameters* m_params = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVFrame* m_frame = nullptr;
    AVFrame* m_rgb = nullptr;
    std::unique_ptr<FrameScaler> m_scaler;
    std::vector<uint8_t> m_data; // the job's own copy of the frame, padded
    int m_bytes = 0;
    Completion m_completion;
    Failure m_failure;
    std::atomic<bool> m_used{false};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_cancel{false};
    bool m_ready = false;
    int m_width = 0, m_height = 0;
    int m_codecId = 0, m_inputFormat = -1;
    int m_announcedWidth = 0, m_announcedHeight = 0;
};
