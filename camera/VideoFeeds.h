#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The seams between the video window (SDLBackground) and the camera drivers.
// The video window knows nothing else of a driver; tests attach small fakes.

// An attached USB camera. All calls on the GUI thread, from the render step.
class UsbVideoFeed {
public:
    virtual ~UsbVideoFeed() = default;
    // False while the camera has no capture object (closing, failed open).
    virtual bool hasCapture() const = 0;
    // Ring slot the next frame goes into; advanced by frameStep while playing.
    virtual int ringIndex() const = 0;
    virtual bool feedPlaying() const = 0;
    // Raw pixel-format code of the frames (22 NV12, 15 MJPG, 6 YUYV).
    virtual int feedPixelFormat() const = 0;
    // Ring slot i (owned by the camera) and its capacity in bytes.
    virtual uint8_t* ringSlot(int i) = 0;
    virtual size_t ringSlotCapacity() const = 0;
    // Blocking read of the next undecoded frame into buf (at most cap bytes).
    // False when no frame came (timeout, unplugged, too large).
    virtual bool readRawFrame(uint8_t* buf, size_t cap, int& bytes, int& width, int& height) = 0;
    // The frame info of slot i, recorded after a successful read.
    virtual void storeFrameInfo(int i, int bytes, int width, int height) = 0;
    // Per-frame work of the driver (snapshots, decoders, recorder, ring advance).
    virtual void frameStep() = 0;
};

// An attached network camera. Frames are written by the camera SDK's thread
// into a ring that the feed guards with a lock.
class NetVideoFeed {
public:
    virtual ~NetVideoFeed() = default;
    virtual bool feedPlaying() const = 0;
    // Index of the newest complete frame (-1 when none yet). A new value means
    // a new frame.
    virtual int newestFrameIndex() const = 0;
    // Calls fn with the newest complete frame (BGR24, rows of `stride` bytes)
    // while holding the ring lock; false when there is none. fn must be quick.
    virtual bool withNewestFrame(
        const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) = 0;
};
