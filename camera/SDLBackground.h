#pragma once

#include "camera/VideoCrop.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <chrono>
#include <memory>
#include <vector>

class QPainter;
class SDLBackgroundDecoder;
class UsbVideoFeed;
class NetVideoFeed;
struct SDL_Renderer;
struct SDL_Surface;
struct SDL_Texture;

// The live-video surface. SDL2's software renderer draws the newest camera
// frame into a canvas QImage; a VideoWidget (the lowest child of the central
// widget's view area) paints that canvas under the overlay views, so grab()
// captures video and overlay together. No SDL window exists; SDL is only
// initialised for events and ticks, which the main loop polls, when the
// window is first shown.
//
// Thread: GUI thread only. The attached feeds are plain references that the
// feeds themselves clear when they are destroyed (see VideoFeeds.h); attaching
// one kind of camera forgets the other.
class SDLBackground : public QObject {
    Q_OBJECT
public:
    SDLBackground();
    ~SDLBackground() override;

    // Frees the renderer, textures and decoder and forgets the cameras;
    // the destructor calls it. Safe to call twice.
    void release();

    bool isRunning() const { return m_running; }
    void stop() { m_running = false; }

    // No native window: the picture is painted by VideoWidget; kept for callers
    // that embed by handle.
    void* winId() const { return nullptr; }

    // The destination rectangle, relative to the video host widget: where the
    // picture is drawn on the canvas. Nothing is redrawn until the next pass.
    QPoint pos() const { return QPoint(int(m_dest.x()), int(m_dest.y())); }
    QSize size() const { return QSize(int(m_dest.width()), int(m_dest.height())); }
    QRectF destination() const { return m_dest; }
    void move(const QPoint& p);
    void resize(const QSize& s);
    // The drivers' zoom operations move the picture only while this is set.
    bool isReady() const { return m_ready; }

    // A hidden window is not rendered and reads no frame.
    void show();
    void hide();
    bool isShown() const { return m_shown; }

    // Attach a USB camera whose frames are width x height in its pixel format
    // (6 YUY2, 15 JPEG, 22 NV12; any other code shows nothing).
    void attachUsbCamera(UsbVideoFeed* camera, int width, int height);
    // Attach a network camera delivering width x height BGR24 frames.
    void attachNetCamera(NetVideoFeed* camera, int width, int height);
    // Forget a camera if it is attached (no-op otherwise).
    void detach(const UsbVideoFeed* camera);
    void detach(const NetVideoFeed* camera);
    UsbVideoFeed* usbCamera() const { return m_usb; }
    NetVideoFeed* netCamera() const { return m_net; }
    // Called by the feed destructors: detach from every video window.
    static void forgetFeed(const UsbVideoFeed* camera);
    static void forgetFeed(const NetVideoFeed* camera);

    // Copies `area` of the canvas into target (made a Format_RGB32 image of the
    // area's size when it is not one). False, with a console message, when the
    // area is empty or not entirely on the canvas.
    bool readBack(QImage& target, const QRect& area) const;

    // One pass of the main loop: pulls and shows the newest frame. It never
    // waits on the camera (a read takes only a frame that is there).
    void renderFrame();

    // USB frames (JPEG, NV12, YUY2) are made into pictures on a thread of
    // their own: a pass hands the new frame over and shows the newest
    // finished picture, so neither the decode nor the raw conversion holds up
    // the interface. A frame that cannot be made into a picture is dropped:
    // the previous picture stays.

    // Waits up to ms for a picture the decoder finished (the main loop's
    // rest between passes); true when one is ready to show.
    bool waitDecoded(int ms);
    // The main loop's rest: waits until `deadline` for a picture being made,
    // then for the attached USB camera's next frame; true when there is
    // something to show or read. False when nothing came or no one can tell
    // (returning early then): the caller sleeps the rest. A deadline, not a
    // span: the loop's rest ends at its step's end, not later by the
    // milliseconds each wait would round.
    bool waitForWorkUntil(std::chrono::steady_clock::time_point deadline);

    // The canvas the picture is rendered into; it starts at the primary
    // screen's size and follows the VideoWidget's size. A new canvas is black.
    QSize canvasSize() const { return m_canvas.size(); }
    void setCanvasSize(const QSize& size);
    // The whole canvas, the newest picture in place.
    const QImage& canvas() const;
    // Paints `area` of the canvas at the same place: a finished USB picture
    // is presented as the decoder made it, not copied into the canvas first.
    void paintCanvas(QPainter& painter, const QRect& area) const;

    // What the last upload converted (for tests and diagnostics).
    VideoCrop lastCrop() const { return m_lastCrop; }
    int uploadCount() const { return m_uploads; }

signals:
    // The canvas changed inside `dirty` ("present").
    void presented(const QRect& dirty);
    void shownChanged(bool shown);
    // A picture made off the interface thread is ready to be shown. Emitted
    // on the worker's thread (connect queued); never for a picture of a
    // camera detached before.
    void pictureFinished();

private:
    // A new canvas is made black when it is first read or rendered into, not
    // when it is made: at start-up, and after a resize until the next pass,
    // nothing shows it, and the first resize replaces it anyway.
    void clearIfBlank() const;
    void createRenderer();
    void destroyRenderer();
    void markDirty() { m_dirty = true; }
    bool ensureTexture(uint32_t format, QSize size);
    void renderUsb();
    void renderNet();
    void submitToWorker(int slot, const uint8_t* data, int bytes, int width, int height);
    bool showDecoded();
    bool uploadBgr(const uint8_t* bgr, int width, int height, int stride);
    bool landsOneToOne(const VideoCrop& crop) const;
    bool convertToCanvas(uint32_t format, const void* pixels, int pitch, const VideoCrop& crop);
    bool updateTexture(uint32_t format, const void* pixels, int pitch, const VideoCrop& crop);
    void draw();
    uint8_t* scratch(size_t bytes);

    bool m_running = true;
    bool m_shown = false;
    bool m_ready = true;
    bool m_dirty = true;
    bool m_rendering = false;

    // Copies a presented picture into the canvas (before anything else
    // draws there or reads it).
    void settlePicture() const;

    mutable QImage m_canvas;
    mutable bool m_blank = false; // m_canvas is not yet made black
    // The newest decoded picture and where it lies on the canvas, while it
    // is not yet in the canvas itself (m_pictureAt empty once it is).
    QImage m_picture;
    mutable QRect m_pictureAt;
    SDL_Surface* m_surface = nullptr;
    SDL_Renderer* m_renderer = nullptr;
    SDL_Texture* m_texture = nullptr;
    uint32_t m_texFormat = 0;
    bool m_direct = false; // the last picture was converted straight into the canvas
    QSize m_texSize;
    bool m_sdlStarted = false; // SDL's event and timer subsystems are ours to quit
    std::unique_ptr<SDLBackgroundDecoder> m_decoder;
    int m_submittedSlot = -1; // what the decoder was last given, with its geometry
    QRectF m_submittedDest;
    std::vector<uint8_t> m_scratch;

    UsbVideoFeed* m_usb = nullptr;
    NetVideoFeed* m_net = nullptr;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    int m_lastShown = -1;

    QRectF m_dest;
    VideoCrop m_lastCrop;
    QRect m_lastDrawn;
    int m_uploads = 0;
};

// The one video window; null once the main loop has ended.
extern SDLBackground* videoWindow;
