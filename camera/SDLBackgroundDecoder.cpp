#include "camera/SDLBackgroundDecoder.h"

#include "camera/BaseCamera.h"
#include "platform/CaptureDevice.h"
#include "platform/MemoryRefusal.h"
#include "platform/ThreadPriority.h"

#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>

SDLBackgroundDecoder::SDLBackgroundDecoder() : m_thread([this] { run(); }) {}

SDLBackgroundDecoder::~SDLBackgroundDecoder() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SDLBackgroundDecoder::submit(const QByteArray& data, int bytes, int format, QSize frame, const VideoCrop& crop,
                                  const QRect& at, int tag) {
    if (bytes <= 0 || bytes > data.size())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = Job{data, bytes, format, frame, crop, at, tag};
        m_hasJob = true;
    }
    m_wake.notify_one();
}

void SDLBackgroundDecoder::submit(const QByteArray& jpeg, QSize frame, const VideoCrop& crop, const QRect& at,
                                  int tag) {
    submit(jpeg, jpeg.size(), PixFmtMJPG, frame, crop, at, tag);
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
    return waitFinishedUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

bool SDLBackgroundDecoder::waitFinishedUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait_until(lock, deadline, [this] { return m_hasPicture || (!m_hasJob && !m_busy); });
    return m_hasPicture;
}

void SDLBackgroundDecoder::run() {
    // Woken by the interface thread once a frame: it must not take that
    // thread's core for the whole decode while the pass is still running.
    ThreadPriority::makeBackground();
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> scratch;
    // The pictures' memory, written again once the interface thread has let
    // go of the picture made of it (no new allocation, no page faults for
    // every frame): one shown, one finished and not yet taken, one being made.
    PicturePool pixels(3);
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
        bool ok = false;
        // A frame the system refuses memory for is dropped as a damaged one
        // is, and what was kept for the next goes back: live video goes on.
        if (!MemoryRefusal::within([&] {
                if (job.format == PixFmtMJPG)
                    ok = decode(tj, job.bytes == job.data.size() ? job.data : job.data.left(job.bytes), job.frame,
                                job.crop, job.at, scratch, pixels, image);
                else
                    ok = convertRaw(reinterpret_cast<const uint8_t*>(job.data.constData()), job.bytes, job.format,
                                    job.frame, job.crop, job.at, scratch, pixels, image);
            })) {
            ok = false;
            image = QImage();
            std::vector<uint8_t>().swap(scratch);
            pixels.release();
        }
        job.data = QByteArray(); // the frame's buffer goes back to its owner now
        lock.lock();
        m_busy = false;
        const bool delivered = ok && generation == m_generation;
        if (delivered) {
            m_picture = Picture{image, job.at, job.crop, job.tag};
            m_hasPicture = true;
        }
        m_done.notify_all();
        // Under the lock: once clear() has returned, no picture submitted
        // before it is announced.
        if (delivered && m_onFinished)
            m_onFinished();
    }
    lock.unlock();
    tjDestroy(tj);
}

void SDLBackgroundDecoder::canvas(QSize size, PicturePool& pixels, QImage& out) {
    out = QImage(); // the caller's own last picture, if it is one of these
    out = pixels.picture(size, QImage::Format_RGB32);
}

bool SDLBackgroundDecoder::decode(void* handle, const QByteArray& jpeg, QSize frame, const VideoCrop& crop,
                                  const QRect& at, std::vector<uint8_t>& scratch, PicturePool& pixels,
                                  QImage& out) {
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
    canvas(at.size(), pixels, out);
    const cv::Mat decoded(dh, dw, CV_8UC4, scratch.data());
    cv::Mat dst(out.height(), out.width(), CV_8UC4, out.bits(), size_t(out.bytesPerLine()));
    const cv::Rect r(part.x(), part.y(), part.width(), part.height());
    if (at.size() == tex)
        decoded(r).copyTo(dst);
    else
        cv::resize(decoded(r), dst, dst.size(), 0, 0, cv::INTER_NEAREST);
    return true;
}

bool SDLBackgroundDecoder::convertRaw(const uint8_t* data, int bytes, int format, QSize frame,
                                      const VideoCrop& crop, const QRect& at, std::vector<uint8_t>& scratch,
                                      PicturePool& pixels, QImage& out) {
    const int W = frame.width(), H = frame.height();
    const QRect& part = crop.source;
    if (!data || W <= 0 || H <= 0 || at.isEmpty() || crop.isEmpty() || !QRect(0, 0, W, H).contains(part) ||
        part.x() % 2 || part.y() % 2 || part.width() % 2 || crop.step < 1)
        return false;
    if (format == PixFmtNV12 ? qint64(bytes) * 2 != qint64(W) * H * 3
                             : (format != PixFmtYUYV || qint64(bytes) != qint64(W) * H * 2))
        return false;
    const int ow = at.width(), oh = at.height();
    canvas(at.size(), pixels, out); // B, G, R, X in memory: libyuv's "ARGB"
    uint8_t* argb = out.bits();
    const int argbStride = int(out.bytesPerLine());

    // A picture shown at half size or less first takes every step-th row
    // (what the crop's step says: a longer stride, nothing copied), so the
    // scaler reads half or a quarter of the frame; the rest is filtered.
    const int step = crop.step;
    const int stride = (format == PixFmtNV12 ? W : W * 2) * step;
    const int sw = part.width(), sh = part.height() / step;
    const uint8_t* src = data + (size_t(part.y()) * W + part.x()) * 2; // YUY2
    const uint8_t* srcY = data + size_t(part.y()) * W + part.x();       // NV12: the planes
    const uint8_t* srcUV = data + size_t(W) * H + size_t(part.y() / 2) * W + part.x();
    if (sh <= 0 || sh % 2)
        return false;
    // Shrinking averages neighbours; enlarging (zoomed in) repeats pixels, so
    // the camera's pixels stay sharp for measuring.
    const libyuv::FilterMode filter = (ow < sw || oh < sh) ? libyuv::kFilterBilinear : libyuv::kFilterNone;
    const bool same = ow == sw && oh == sh;
    const int cw = (ow + 1) / 2, ch = (oh + 1) / 2;
    if (format == PixFmtNV12) {
        if (same)
            return libyuv::NV12ToARGB(srcY, stride, srcUV, stride, argb, argbStride, ow, oh) == 0;
        // The interleaved chroma is split into its planes first: libyuv's
        // scaler of interleaved pairs rounds every value down a little, its
        // plane scaler does not. The split is of the part at quarter size.
        const int scw = sw / 2, sch = (sh + 1) / 2;
        scratch.resize(size_t(scw) * sch * 2 + size_t(ow) * oh + size_t(cw) * ch * 2);
        uint8_t* su = scratch.data();
        uint8_t* sv = su + size_t(scw) * sch;
        uint8_t* dy = sv + size_t(scw) * sch;
        uint8_t* du = dy + size_t(ow) * oh;
        uint8_t* dv = du + size_t(cw) * ch;
        libyuv::SplitUVPlane(srcUV, stride, su, scw, sv, scw, scw, sch);
        if (libyuv::I420Scale(srcY, stride, su, scw, sv, scw, sw, sh, dy, ow, du, cw, dv, cw, ow, oh, filter) != 0)
            return false;
        return libyuv::I420ToARGB(dy, ow, du, cw, dv, cw, argb, argbStride, ow, oh) == 0;
    }
    if (same)
        return libyuv::YUY2ToARGB(src, stride, argb, argbStride, ow, oh) == 0;
    if (step > 1) {
        // Shrunk to half or less: each pixel of the picture takes the frame
        // pixel at its centre, read straight from the packed frame (as the
        // render pass always did), so only the rows shown are read at all.
        scratch.resize(size_t(ow) * oh + size_t(cw) * oh * 2 + size_t(ow + cw) * sizeof(int));
        uint8_t* dy = scratch.data();
        uint8_t* du = dy + size_t(ow) * oh;
        uint8_t* dv = du + size_t(cw) * oh;
        int* lumaAt = reinterpret_cast<int*>(dv + size_t(cw) * oh);
        int* chromaAt = lumaAt + ow;
        for (int x = 0; x < ow; ++x)
            lumaAt[x] = int((int64_t(2 * x + 1) * part.width()) / (2 * ow)) * 2;
        for (int c = 0; c < cw; ++c)
            chromaAt[c] = (lumaAt[2 * c] & ~3) + 1; // U of the pixel's pair; V follows two bytes on
        const uint8_t* origin = data + (size_t(part.y()) * W + part.x()) * 2;
        for (int y = 0; y < oh; ++y) {
            const uint8_t* row = origin + size_t((int64_t(2 * y + 1) * part.height()) / (2 * oh)) * W * 2;
            uint8_t* ry = dy + size_t(y) * ow;
            uint8_t* ru = du + size_t(y) * cw;
            uint8_t* rv = dv + size_t(y) * cw;
            for (int x = 0; x < ow; ++x)
                ry[x] = row[lumaAt[x]];
            for (int c = 0; c < cw; ++c) {
                ru[c] = row[chromaAt[c]];
                rv[c] = row[chromaAt[c] + 2];
            }
        }
        return libyuv::I422ToARGB(dy, ow, du, cw, dv, cw, argb, argbStride, ow, oh) == 0;
    }
    // Packed pixels cannot be scaled as they are: they are split into their
    // 4:2:2 planes, which are scaled, then converted.
    const int scw = sw / 2;
    scratch.resize(size_t(sw) * sh * 2 + size_t(ow) * oh + size_t(cw) * oh * 2);
    uint8_t* sy = scratch.data();
    uint8_t* su = sy + size_t(sw) * sh;
    uint8_t* sv = su + size_t(scw) * sh;
    uint8_t* dy = sv + size_t(scw) * sh;
    uint8_t* du = dy + size_t(ow) * oh;
    uint8_t* dv = du + size_t(cw) * oh;
    if (libyuv::YUY2ToI422(src, stride, sy, sw, su, scw, sv, scw, sw, sh) != 0)
        return false;
    if (libyuv::I422Scale(sy, sw, su, scw, sv, scw, sw, sh, dy, ow, du, cw, dv, cw, ow, oh, filter) != 0)
        return false;
    return libyuv::I422ToARGB(dy, ow, du, cw, dv, cw, argb, argbStride, ow, oh) == 0;
}
