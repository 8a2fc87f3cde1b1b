#include "camera/SDLBackground.h"

#include "camera/BaseCamera.h"
#include "camera/SDLBackgroundDecoder.h"
#include "camera/VideoFeeds.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QtGlobal>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

SDLBackground* videoWindow = nullptr;

namespace {

constexpr Uint32 kSdlSubsystems = SDL_INIT_EVENTS | SDL_INIT_TIMER;

// Every live video window, so that a feed being destroyed can detach itself.
std::vector<SDLBackground*>& liveWindows() {
    static std::vector<SDLBackground*> windows;
    return windows;
}

QSize primaryScreenSize() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* screen = QGuiApplication::primaryScreen())
            return screen->geometry().size();
    return QSize(1920, 1080);
}

// Integer rectangle the picture covers: corners rounded, so that the border
// fill and the picture meet without a gap.
QRect coveredRect(const QRectF& r) {
    const int x0 = int(std::lround(r.left()));
    const int y0 = int(std::lround(r.top()));
    const int x1 = int(std::lround(r.left() + r.width()));
    const int y1 = int(std::lround(r.top() + r.height()));
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

} // namespace

UsbVideoFeed::~UsbVideoFeed() { SDLBackground::forgetFeed(this); }
NetVideoFeed::~NetVideoFeed() { SDLBackground::forgetFeed(this); }

SDLBackground::SDLBackground() {
    // SDL's event and timer subsystems start with the first picture shown
    // (show): starting them also connects to the session bus, or, where
    // none is announced, forks to look for one, and nothing needs them
    // before the window is on the screen.
    const QSize screen = primaryScreenSize();
    m_dest = QRectF(0, 0, screen.width(), screen.height());
    // Camera frames are made into pictures on the decoder's thread, so that
    // neither a JPEG decode nor a raw conversion holds up the interface.
    m_decoder = std::make_unique<SDLBackgroundDecoder>();
    m_decoder->setOnFinished([this] { emit pictureFinished(); });
    setCanvasSize(screen);
    liveWindows().push_back(this);
}

SDLBackground::~SDLBackground() {
    release();
    auto& windows = liveWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

void SDLBackground::release() {
    m_decoder.reset();
    if (m_sdlStarted) {
        m_sdlStarted = false;
        SDL_QuitSubSystem(kSdlSubsystems);
    }
    m_usb = nullptr;
    m_net = nullptr;
    destroyRenderer();
}

void SDLBackground::forgetFeed(const UsbVideoFeed* camera) {
    for (SDLBackground* w : liveWindows())
        w->detach(camera);
}

void SDLBackground::forgetFeed(const NetVideoFeed* camera) {
    for (SDLBackground* w : liveWindows())
        w->detach(camera);
}

void SDLBackground::detach(const UsbVideoFeed* camera) {
    if (camera && m_usb == camera) {
        m_usb = nullptr;
        if (m_decoder)
            m_decoder->clear();
    }
}

void SDLBackground::detach(const NetVideoFeed* camera) {
    if (camera && m_net == camera)
        m_net = nullptr;
}

void SDLBackground::move(const QPoint& p) {
    m_dest.moveTo(p.x(), p.y());
    markDirty();
}

void SDLBackground::resize(const QSize& s) {
    m_dest.setSize(QSizeF(s.width(), s.height()));
    markDirty();
}

void SDLBackground::show() {
    if (m_shown)
        return;
    if (!m_sdlStarted && m_decoder) // not after release
        m_sdlStarted = SDL_InitSubSystem(kSdlSubsystems) == 0;
    m_shown = true;
    markDirty();
    emit shownChanged(true);
}

void SDLBackground::hide() {
    if (!m_shown)
        return;
    m_shown = false;
    emit shownChanged(false);
}

void SDLBackground::setCanvasSize(const QSize& size) {
    const QSize s = size.isEmpty() ? QSize(1, 1) : size;
    if (m_renderer && s == m_canvas.size())
        return;
    destroyRenderer();
    m_picture = QImage();
    m_pictureAt = QRect();
    m_canvas = QImage(s, QImage::Format_RGB32);
    m_blank = true;
    createRenderer();
    m_lastDrawn = QRect();
    m_submittedSlot = -1;
    markDirty();
    emit presented(m_canvas.rect());
}

void SDLBackground::clearIfBlank() const {
    if (!m_blank)
        return;
    m_blank = false;
    m_canvas.fill(Qt::black);
}

void SDLBackground::createRenderer() {
    m_surface = SDL_CreateRGBSurfaceWithFormatFrom(m_canvas.bits(), m_canvas.width(), m_canvas.height(), 32,
                                                   int(m_canvas.bytesPerLine()), SDL_PIXELFORMAT_ARGB8888);
    if (m_surface)
        m_renderer = SDL_CreateSoftwareRenderer(m_surface);
    if (!m_renderer)
        qWarning("SDL renderer: %s", SDL_GetError());
}

void SDLBackground::destroyRenderer() {
    if (m_texture)
        SDL_DestroyTexture(m_texture);
    m_texture = nullptr;
    m_texFormat = 0;
    m_texSize = QSize();
    if (m_renderer)
        SDL_DestroyRenderer(m_renderer);
    m_renderer = nullptr;
    if (m_surface)
        SDL_FreeSurface(m_surface);
    m_surface = nullptr;
}

void SDLBackground::attachUsbCamera(UsbVideoFeed* camera, int width, int height) {
    m_net = nullptr;
    m_usb = camera;
    m_frameWidth = width;
    m_frameHeight = height;
    m_lastShown = -1;
    m_submittedSlot = -1;
    if (m_decoder)
        m_decoder->clear();
    markDirty();
}

void SDLBackground::attachNetCamera(NetVideoFeed* camera, int width, int height) {
    m_usb = nullptr;
    m_net = camera;
    m_frameWidth = width;
    m_frameHeight = height;
    m_lastShown = -1;
    markDirty();
}

const QImage& SDLBackground::canvas() const {
    clearIfBlank();
    settlePicture();
    return m_canvas;
}

void SDLBackground::settlePicture() const {
    if (m_pictureAt.isEmpty())
        return;
    const QRect inside = m_pictureAt.intersected(m_canvas.rect());
    const size_t rowBytes = size_t(inside.width()) * 4;
    const int dx = inside.x() - m_pictureAt.x(), dy = inside.y() - m_pictureAt.y();
    for (int y = 0; y < inside.height(); ++y)
        std::memcpy(m_canvas.scanLine(inside.y() + y) + size_t(inside.x()) * 4,
                    m_picture.constScanLine(dy + y) + size_t(dx) * 4, rowBytes);
    m_pictureAt = QRect();
}

void SDLBackground::paintCanvas(QPainter& painter, const QRect& area) const {
    // A canvas not yet made black is painted black, not filled for it.
    const auto paintPlain = [&](const QRect& r) {
        if (m_blank)
            painter.fillRect(r, Qt::black);
        else
            painter.drawImage(r.topLeft(), m_canvas, r);
    };
    const QRect onPicture = area.intersected(m_pictureAt);
    if (onPicture.isEmpty()) {
        paintPlain(area);
        return;
    }
    painter.drawImage(onPicture.topLeft(), m_picture, onPicture.translated(-m_pictureAt.topLeft()));
    for (const QRect& r : QRegion(area).subtracted(QRegion(onPicture)))
        paintPlain(r);
}

bool SDLBackground::readBack(QImage& target, const QRect& area) const {
    clearIfBlank();
    settlePicture();
    if (area.isEmpty() || !m_canvas.rect().contains(area)) {
        qWarning("读取失败: %s", "area outside the video surface");
        return false;
    }
    if (target.size() != area.size() ||
        (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32))
        target = QImage(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(target.scanLine(y), m_canvas.constScanLine(area.y() + y) + size_t(area.x()) * 4,
                    size_t(area.width()) * 4);
    return true;
}

bool SDLBackground::waitDecoded(int ms) {
    return m_decoder && m_usb && m_decoder->waitFinished(ms);
}

bool SDLBackground::waitForWorkUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    // A picture being made comes first: it is due within a few ms.
    if (m_decoder && m_usb && m_decoder->waitFinishedUntil(deadline))
        return true;
    // The camera waits in whole milliseconds: rounded down, so that it never
    // holds the loop past the deadline (the caller sleeps what is left).
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !m_shown || !m_usb || !m_usb->feedPlaying())
        return false;
    return m_usb->waitFrameArrival(int(left));
}

void SDLBackground::renderFrame() {
    if (!m_shown || !m_renderer || m_rendering)
        return;
    clearIfBlank();
    // A frame step may open a modal dialog whose nested loop renders too:
    // that inner pass is skipped.
    m_rendering = true;
    if (m_usb) {
        showDecoded();
        if (m_usb)
            renderUsb();
    } else if (m_net) {
        renderNet();
    }
    m_rendering = false;
}

// Hands a frame to the worker for the geometry of this moment: the frame
// shares the ring slot's buffer (the capture never writes a buffer the worker
// holds); only a feed that cannot share has it copied.
void SDLBackground::submitToWorker(int slot, const uint8_t* data, int bytes, int width, int height) {
    if (m_frameWidth <= 0 || m_frameHeight <= 0 || bytes <= 0)
        return;
    const int format = m_usb->feedPixelFormat();
    // Raw frames of another size (a resolution change in flight) are not shown.
    if (format != PixFmtMJPG && (width != m_frameWidth || height != m_frameHeight))
        return;
    const VideoCrop crop = computeVideoCrop(QSize(m_frameWidth, m_frameHeight), m_dest, m_canvas.size());
    if (crop.isEmpty())
        return;
    const QRect at = coveredRect(crop.target);
    QByteArray buffer = m_usb->sharedRingBuffer(slot);
    if (buffer.constData() != reinterpret_cast<const char*>(data) || buffer.size() < bytes)
        buffer = QByteArray();
    if (buffer.isEmpty())
        buffer = QByteArray(reinterpret_cast<const char*>(data), bytes);
    m_decoder->submit(buffer, bytes, format, QSize(m_frameWidth, m_frameHeight), crop, at, slot);
    m_submittedSlot = slot;
    m_submittedDest = m_dest;
}

// The newest picture the decoder finished, presented as it is (the canvas
// takes a copy only when someone reads it); one made for another geometry
// than the present one is dropped (the next frame, or the paused picture
// decoded again, takes its place).
bool SDLBackground::showDecoded() {
    SDLBackgroundDecoder::Picture pic;
    if (!m_decoder || !m_decoder->take(pic))
        return false;
    const VideoCrop crop = computeVideoCrop(QSize(m_frameWidth, m_frameHeight), m_dest, m_canvas.size());
    if (crop.target != pic.crop.target || crop.source != pic.crop.source || crop.step != pic.crop.step)
        return false;
    if (pic.at.intersected(m_canvas.rect()).isEmpty() || pic.image.size() != pic.at.size())
        return false;
    m_picture = std::move(pic.image);
    m_pictureAt = pic.at;
    m_direct = true;
    m_lastCrop = pic.crop;
    ++m_uploads;
    draw();
    return true;
}

void SDLBackground::renderUsb() {
    UsbVideoFeed* cam = m_usb;
    if (!m_decoder || !cam->hasCapture()) // no decoder: released
        return;
    const int ring = std::max(1, cam->ringSize());
    const int i = cam->ringIndex();
    int slot;
    if (cam->feedPlaying()) {
        if (i == m_lastShown)
            return; // the camera has not advanced since the last frame
        // The shown index is set only after a frame came: a failed read is
        // retried at the next pass instead of stalling the video.
        if (!cam->readFrameInto(i))
            return;
        m_lastShown = i;
        slot = i;
        cam->frameStep();
        markDirty();
    } else {
        // Paused: no read; the frame step still runs so that queued series
        // snapshots go on. The picture is the newest frame, redrawn only when
        // the geometry changed.
        cam->frameStep();
        if (m_usb != cam)
            return; // the frame step closed the camera
        slot = (i + ring - 1) % ring;
        if (slot != m_lastShown)
            markDirty();
        m_lastShown = slot;
        if (!m_dirty)
            return;
    }
    const uint8_t* data = nullptr;
    int bytes = 0, width = 0, height = 0;
    if (!cam->ringFrame(slot, data, bytes, width, height) || !data)
        return;
    const int format = cam->feedPixelFormat();
    if (format != PixFmtMJPG && format != PixFmtNV12 && format != PixFmtYUYV)
        return; // no picture can be made of it
    // Paused, the picture is made again only for a new geometry.
    if (slot != m_submittedSlot || m_dest != m_submittedDest || cam->feedPlaying())
        submitToWorker(slot, data, bytes, width, height);
    m_dirty = false;
}

void SDLBackground::renderNet() {
    NetVideoFeed* cam = m_net;
    const int i = cam->newestFrameIndex();
    if (i < 0)
        return;
    if (i == m_lastShown && !m_dirty)
        return;
    bool uploaded = false;
    cam->withNewestFrame([&](const uint8_t* bgr, int width, int height, int stride) {
        uploaded = uploadBgr(bgr, width, height, stride);
    });
    if (!uploaded)
        return;
    m_lastShown = i;
    draw();
}

uint8_t* SDLBackground::scratch(size_t bytes) {
    if (m_scratch.size() < bytes)
        m_scratch.resize(bytes);
    return m_scratch.data();
}

bool SDLBackground::ensureTexture(uint32_t format, QSize size) {
    if (m_texture && m_texFormat == format && m_texSize == size)
        return true;
    if (m_texture)
        SDL_DestroyTexture(m_texture);
    m_texture = SDL_CreateTexture(m_renderer, format, SDL_TEXTUREACCESS_STREAMING, size.width(), size.height());
    if (!m_texture) {
        m_texFormat = 0;
        m_texSize = QSize();
        return false;
    }
    SDL_SetTextureBlendMode(m_texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(m_texture, SDL_ScaleModeNearest);
    m_texFormat = format;
    m_texSize = size;
    return true;
}

// A picture that lands on the canvas at 1:1 (after decimation) and wholly
// inside it is converted straight into the canvas: no texture copy, no blit.
bool SDLBackground::landsOneToOne(const VideoCrop& crop) const {
    const QRect t = coveredRect(crop.target);
    return t.size() == crop.textureSize() && m_canvas.rect().contains(t) && m_surface;
}

bool SDLBackground::convertToCanvas(uint32_t format, const void* pixels, int pitch, const VideoCrop& crop) {
    const QRect t = coveredRect(crop.target);
    auto* dst = static_cast<uint8_t*>(m_surface->pixels) + size_t(t.y()) * m_surface->pitch + size_t(t.x()) * 4;
    if (SDL_ConvertPixels(t.width(), t.height(), format, pixels, pitch, SDL_PIXELFORMAT_ARGB8888, dst,
                          m_surface->pitch) != 0)
        return false;
    m_direct = true;
    return true;
}

// Packed pixels (or planes that follow each other) go straight to the canvas
// when they land at 1:1, else through the streaming texture.
bool SDLBackground::updateTexture(uint32_t format, const void* pixels, int pitch, const VideoCrop& crop) {
    if (landsOneToOne(crop))
        return convertToCanvas(format, pixels, pitch, crop);
    if (!ensureTexture(format, crop.textureSize()))
        return false;
    m_direct = false;
    return SDL_UpdateTexture(m_texture, nullptr, pixels, pitch) == 0;
}

bool SDLBackground::uploadBgr(const uint8_t* bgr, int width, int height, int stride) {
    settlePicture();
    if (!bgr || width != m_frameWidth || height != m_frameHeight || stride < width * 3)
        return false;
    const VideoCrop crop = computeVideoCrop(QSize(width, height), m_dest, m_canvas.size());
    if (crop.isEmpty())
        return false;
    const QRect& s = crop.source;
    bool ok;
    if (crop.step == 1) {
        ok = updateTexture(SDL_PIXELFORMAT_BGR24, bgr + size_t(s.y()) * stride + size_t(s.x()) * 3, stride, crop);
    } else {
        const QSize tex = crop.textureSize();
        uint8_t* out = scratch(size_t(tex.width()) * tex.height() * 3);
        decimateBgr(bgr, stride, s, crop.step, out);
        ok = updateTexture(SDL_PIXELFORMAT_BGR24, out, tex.width() * 3, crop);
    }
    if (ok) {
        m_lastCrop = crop;
        ++m_uploads;
    }
    return ok;
}

void SDLBackground::draw() {
    const QRect canvasRect = m_canvas.rect();
    const QRect covered = coveredRect(m_lastCrop.target);
    const QRect inner = covered.intersected(canvasRect);
    SDL_SetRenderDrawColor(m_renderer, 0, 0, 0, 255);
    // Only the canvas around the picture is cleared, and only when the
    // picture moved: around one that stays, the canvas is black already.
    if (inner != canvasRect && inner != m_lastDrawn) {
        const int cw = canvasRect.width(), ch = canvasRect.height();
        if (inner.isEmpty()) {
            SDL_RenderClear(m_renderer);
        } else {
            const SDL_Rect borders[4] = {
                {0, 0, cw, inner.top()},
                {0, inner.bottom() + 1, cw, ch - inner.bottom() - 1},
                {0, inner.top(), inner.left(), inner.height()},
                {inner.right() + 1, inner.top(), cw - inner.right() - 1, inner.height()},
            };
            for (const SDL_Rect& b : borders)
                if (b.w > 0 && b.h > 0)
                    SDL_RenderFillRect(m_renderer, &b);
        }
    }
    if (!m_direct) {
        const SDL_Rect dst{covered.x(), covered.y(), covered.width(), covered.height()};
        SDL_RenderCopy(m_renderer, m_texture, nullptr, &dst);
    }
    SDL_RenderFlush(m_renderer);
    const QRect dirty = (inner == m_lastDrawn) ? inner : canvasRect;
    m_lastDrawn = inner;
    m_dirty = false;
    emit presented(dirty);
}
