#pragma once

#include "camera/VideoCrop.h"
#include "platform/PicturePool.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Turns the video window's camera frames into finished pictures on a thread
// of its own, straight to the size they are drawn at, so that the interface
// thread only copies a picture into the canvas:
// - JPEG: TurboJPEG's scaled decode by the crop's step, then a
//   nearest-neighbour fit;
// - raw NV12 and YUY2: the crop's part of the frame scaled first, then
//   converted with BT.601 limited-range coefficients (libyuv). Shrinking
//   filters (bilinear, after taking every step-th row when the crop's step
//   says so); YUY2 shrunk to half or less takes the pixel at each picture
//   pixel's centre straight from the packed frame; enlarging (zoomed in)
//   repeats pixels, so the camera's pixels stay sharp for measuring.
// The newest frame wins: one submitted while another still waits replaces
// it; the one being worked on finishes. submit/take/clear from one thread
// (the GUI thread).
class SDLBackgroundDecoder {
public:
    struct Picture {
        QImage image;      // Format_RGB32, the size of `at`
        QRect at;          // where it lands on the canvas
        VideoCrop crop;    // the geometry it was decoded for
        int tag = 0;       // the submitter's tag (a ring slot, a generation)
    };

    SDLBackgroundDecoder();
    ~SDLBackgroundDecoder();
    SDLBackgroundDecoder(const SDLBackgroundDecoder&) = delete;
    SDLBackgroundDecoder& operator=(const SDLBackgroundDecoder&) = delete;

    // Queues one frame in pixel format `format` (15 MJPG, 22 NV12, 6 YUY2):
    // the first `bytes` bytes of `data`, which is shared, not copied, and
    // never written by the submitter afterwards. Frames of another size than
    // `frame` are dropped.
    void submit(const QByteArray& data, int bytes, int format, QSize frame, const VideoCrop& crop, const QRect& at,
                int tag);
    // JPEG frames: the whole of `jpeg`.
    void submit(const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at, int tag);
    // The newest finished picture not taken yet; false when there is none.
    bool take(Picture& out);
    // Forgets the queued frame and any finished picture.
    void clear();
    // Waits up to ms for a finished picture (not at all when nothing is being
    // decoded); true when one is there.
    bool waitFinished(int ms);
    bool waitFinishedUntil(std::chrono::steady_clock::time_point deadline);
    // Called on the worker's thread each time a picture is finished (never
    // after clear() or the destructor returned for pictures submitted
    // before). Set while no frame is submitted.
    void setOnFinished(std::function<void()> fn) { m_onFinished = std::move(fn); }

    // The decode itself, on the calling thread, into `out` (let go first), a
    // picture over one of `pixels`' buffers (reused once no earlier picture
    // holds them); false when the frame is not a JPEG of `frame`'s size or is
    // damaged beyond a picture.
    static bool decode(void* tj, const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at,
                       std::vector<uint8_t>& scratch, PicturePool& pixels, QImage& out);
    // The raw conversion, on the calling thread, the same way: the crop's
    // source part of a width x height frame (`bytes` long) scaled to
    // at.size() and converted to RGB32. False when the frame is not one of
    // that size and format.
    static bool convertRaw(const uint8_t* data, int bytes, int format, QSize frame, const VideoCrop& crop,
                           const QRect& at, std::vector<uint8_t>& scratch, PicturePool& pixels, QImage& out);

private:
    struct Job {
        QByteArray data;
        int bytes = 0;
        int format = 0;
        QSize frame;
        VideoCrop crop;
        QRect at;
        int tag = 0;
    };
    void run();
    // `out` made an RGB32 picture of `size` over one of `pixels`' buffers.
    static void canvas(QSize size, PicturePool& pixels, QImage& out);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    bool m_quit = false;
    bool m_hasJob = false;
    bool m_busy = false;
    bool m_hasPicture = false;
    int m_generation = 0;
    Job m_job;
    Picture m_picture;
    std::function<void()> m_onFinished;
    std::thread m_thread;
};
