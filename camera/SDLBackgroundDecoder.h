#pragma once

#include "camera/VideoCrop.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Decodes the video window's JPEG frames on a thread of its own, straight to
// the size they are drawn at (TurboJPEG's scaled decode by the crop's step,
// then a nearest-neighbour fit), so that the interface thread only copies a
// finished picture into the canvas. The newest frame wins: one submitted
// while another still waits replaces it; the one being decoded finishes.
// submit/take/clear from one thread (the GUI thread).
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

    // Queues one JPEG frame; frames of another size than `frame` are dropped.
    void submit(const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at, int tag);
    // The newest finished picture not taken yet; false when there is none.
    bool take(Picture& out);
    // Forgets the queued frame and any finished picture.
    void clear();
    // Waits up to ms for a finished picture (not at all when nothing is being
    // decoded); true when one is there.
    bool waitFinished(int ms);

    // The decode itself, on the calling thread; false when the frame is not
    // a JPEG of `frame`'s size or is damaged beyond a picture.
    static bool decode(void* tj, const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at,
                       std::vector<uint8_t>& scratch, QImage& out);

private:
    struct Job {
        QByteArray jpeg;
        QSize frame;
        VideoCrop crop;
        QRect at;
        int tag = 0;
    };
    void run();

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
    std::thread m_thread;
};
