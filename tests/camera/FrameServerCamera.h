#pragma once

#include "camera/BaseCamera.h"
#include "camera/VideoFeeds.h"

#include <QByteArray>
#include <QList>
#include <QVector>

#include <functional>

// A camera for render-step tests: serves prepared raw frames, one per read,
// with no capture device, threads or timing. Public fields are the knobs and
// the counters the tests look at.
class FrameServerCamera : public BaseCamera, public UsbVideoFeed {
public:
    FrameServerCamera(int pixelFormat, int width, int height);

    struct Frame {
        QByteArray data;
        int width = 0;
        int height = 0;
    };
    // Frames the next reads return, in order; a read with none queued fails.
    QList<Frame> queued;
    void queueFrame(const QByteArray& data, int width, int height) { queued.append({data, width, height}); }

    bool playing = true;
    bool capture = true;
    int format;
    int reads = 0;       // readFrameInto calls
    int failedReads = 0; // of which failed
    int steps = 0;       // frameStep calls
    int ring = 0;        // the ring index
    QVector<Frame> ringSlots{3};

    QString className() const override { return "FrameServerCamera"; }
    int pixelFormat() const override { return format; }
    bool isPlaying() const override { return playing; }
    void play() override {
        ring = (ring + 1) % 3;
        playing = true;
    }
    void pause() override { playing = false; }

    bool hasCapture() const override { return capture; }
    int ringSize() const override { return 3; }
    int ringIndex() const override { return ring; }
    bool feedPlaying() const override { return playing; }
    int feedPixelFormat() const override { return format; }
    bool readFrameInto(int i) override;
    bool ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const override;
    // Shared, as the driver's ring hands it over.
    QByteArray sharedRingBuffer(int i) const override { return ringSlots[i].data; }
    void frameStep() override;
};

// A network camera feed holding one BGR frame.
class FrameServerNetFeed : public NetVideoFeed {
public:
    QByteArray bgr;
    int width = 0, height = 0, stride = 0;
    int index = -1;
    bool playing = true;
    int fetches = 0;
    void setFrame(const QByteArray& data, int w, int h) {
        bgr = data;
        width = w;
        height = h;
        stride = w * 3;
        ++index;
    }
    bool feedPlaying() const override { return playing; }
    int newestFrameIndex() const override { return index; }
    bool withNewestFrame(
        const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) override;
};
