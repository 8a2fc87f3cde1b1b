#include "camera/SDLBackgroundDecoder.h"

#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

SDLBackgroundDecoder::SDLBackgroundDecoder() : m_thread([this] { run(); }) {}

SDLBackgroundDecoder::~SDLBackgroundDecoder() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SDLBackgroundDecoder::submit(const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at,
                                  int tag) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = Job{jpeg, frame, crop, at, tag};
        m_hasJob = true;
    }
    m_wake.notify_one();
}

bool SDLBackgroundDecoder::take(Picture& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_hasPicture)
        return false;
    out = std::move(m_picture);
    m_picture = Picture();
    m_hasPicture = false;
    return true;
}

void SDLBackgroundDecoder::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hasJob = false;
    m_job = Job();
    m_hasPicture = false;
    m_picture = Picture();
    ++m_generation; // a decode in flight is thrown away when it ends
}

bool SDLBackgroundDecoder::waitFinished(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait_for(lock, std::chrono::milliseconds(ms),
                    [this] { return m_hasPicture || (!m_hasJob && !m_busy); });
    return m_hasPicture;
}

void SDLBackgroundDecoder::run() {
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> scratch;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_hasJob; });
        if (m_quit)
            break;
        Job job = std::move(m_job);
        m_hasJob = false;
        m_busy = true;
        const int generation = m_generation;
        lock.unlock();
        QImage image;
        const bool ok = decode(tj, job.jpeg, job.frame, job.crop, job.at, scratch, image);
        lock.lock();
        m_busy = false;
        if (ok && generation == m_generation) {
            m_picture = Picture{image, job.at, job.crop, job.tag};
            m_hasPicture = true;
        }
        m_done.notify_all();
    }
    lock.unlock();
    tjDestroy(tj);
}

bool SDLBackgroundDecoder::decode(void* handle, const QByteArray& jpeg, QSize frame, const VideoCrop& crop,
                                  const QRect& at, std::vector<uint8_t>& scratch, QImage& out) {
    auto* tj = static_cast<tjhandle>(handle);
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = (unsigned long)jpeg.size();
    int jw = 0, jh = 0, subsamp = -1, colorspace = -1;
    if (!tj || jpeg.isEmpty() || at.isEmpty() || crop.isEmpty() ||
        tjDecompressHeader3(tj, data, size, &jw, &jh, &subsamp, &colorspace) != 0)
        return false;
    // A frame of another size (a resolution change in flight) is not shown.
    if (jw != frame.width() || jh != frame.height())
        return false;
    const tjscalingfactor factor{1, crop.step};
    const int dw = TJSCALED(jw, factor), dh = TJSCALED(jh, factor);
    const QSize tex = crop.textureSize();
    const QRect part(crop.source.x() / crop.step, crop.source.y() / crop.step, tex.width(), tex.height());
    if (!QRect(0, 0, dw, dh).contains(part))
        return false;
    scratch.resize(size_t(dw) * dh * 4);
    // BGRX is the canvas's own layout; a warning (a damaged tail) still
    // leaves a picture, only a fatal error drops the frame.
    if (tjDecompress2(tj, data, size, scratch.data(), dw, dw * 4, dh, TJPF_BGRX, TJFLAG_FASTUPSAMPLE) != 0 &&
        tjGetErrorCode(tj) == TJERR_FATAL)
        return false;
    out = QImage(at.size(), QImage::Format_RGB32);
    const cv::Mat decoded(dh, dw, CV_8UC4, scratch.data());
    cv::Mat dst(out.height(), out.width(), CV_8UC4, out.bits(), size_t(out.bytesPerLine()));
    const cv::Rect r(part.x(), part.y(), part.width(), part.height());
    if (at.size() == tex)
        decoded(r).copyTo(dst);
    else
        cv::resize(decoded(r), dst, dst.size(), 0, 0, cv::INTER_NEAREST);
    return true;
}
