#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>

// The seams between the video window (SDLBackground) and the camera drivers.
// The video window knows nothing else of a driver; tests attach small fakes.
// A feed that is destroyed detaches itself from every video window (the base
// destructors do it), so the window never keeps a stale reference.

// An attached USB camera. All calls on the GUI thread, from the render step.
class UsbVideoFeed {
public:
    virtual ~UsbVideoFeed();
    // False while the camera has no capture object (closing, failed open).
    virtual bool hasCapture() const = 0;
    // Number of ring slots (3 for the USB driver).
    virtual int ringSize() const = 0;
    // Ring slot the next frame goes into; advanced by frameStep while playing.
    virtual int ringIndex() const = 0;
    virtual bool feedPlaying() const = 0;
    // Raw pixel-format code of the frames (22 NV12, 15 MJPG, 6 YUYV).
    virtual int feedPixelFormat() const = 0;
    // Blocking read (bounded by the capture's timeout) of the next undecoded
    // frame into ring slot i; on success the slot's byte count, width and
    // height are recorded. False when no frame came (timeout, unplugged, frame
    // larger than the slot); the slot's recorded frame is then unchanged.
    virtual bool readFrameInto(int i) = 0;
    // The frame held in ring slot i (owned by the camera, valid until the next
    // read into that slot); false when the slot holds none.
    virtual bool ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const = 0;
    // The buffer of ring slot i, shared and not copied, when the feed can hand
    // it over (the driver never writes a buffer someone else still holds);
    // empty otherwise. The frame is its first `bytes` bytes (ringFrame).
    virtual QByteArray sharedRingBuffer(int i) const { (void)i; return QByteArray(); }
    // Waits up to ms for the camera's next frame to be there; true when a
    // read now finds one. False when none came or the feed cannot tell
    // (then it returns at once).
    virtual bool waitFrameArrival(int ms) { (void)ms; return false; }
    // Per-frame work of the driver (snapshots, decoders, recorder, ring advance).
    // Runs after each read while playing, and once per render pass while paused.
    virtual void frameStep() = 0;
};

// An attached network camera. Frames are written by the camera SDK's thread
// into a ring that the feed guards with a lock.
class NetVideoFeed {
public:
    virtual ~NetVideoFeed();
    virtual bool feedPlaying() const = 0;
    // Index of the newest complete frame (-1 when none yet). A new value means
    // a new frame.
    virtual int newestFrameIndex() const = 0;
    // Calls fn with the newest complete frame (BGR24, rows of `stride` bytes)
    // while holding the ring lock; false when there is none. fn must be quick.
    virtual bool withNewestFrame(
        const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) = 0;
};
