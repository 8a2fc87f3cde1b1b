#pragma once

#include "platform/SimUsbCamera.h"
#include "platform/V4l2CaptureDevice.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A switch that makes a camera stall: while on, a stream's first frame
// blocks (as OpenCV's grab does for up to its select timeout) and a running
// stream delivers nothing. Shared by the test and the streams it made.
struct StallSwitch {
    std::mutex lock;
    std::condition_variable changed;
    bool stalled = false;
    int blockedGrabs = 0; // grabs waiting inside the stall now
    std::atomic<int> stalledPolls{0}; // polls of a running stream that met the stall
    // Each frame a stream takes costs its reader this long (a loaded
    // machine's capture thread): the camera replaces the frames that come
    // meanwhile, as a driver whose buffers are all full drops them.
    std::atomic<int> takeMs{0};
    // The capture thread reaches a stream's start (the driver's stated rate)
    // this late: a loaded machine right after an open.
    std::atomic<int> lateMs{0};
    void set(bool on);
};

// OpenCV's V4L2 capture played by a simulated USB camera: the same property
// ids and values, the FOURCC choice, frames read undecoded, failure when
// unplugged, a buffer time for each frame (CAP_PROP_POS_MSEC, the steady
// clock's when the frame came) and a stated rate (CAP_PROP_FPS) that is the
// camera's rate at open; and it stalls on the switch.
class SimV4l2Stream : public V4l2Stream {
public:
    SimV4l2Stream(std::shared_ptr<SimUsbCamera> camera, std::shared_ptr<StallSwitch> stall);
    bool open(int node) override;
    void release() override;
    bool set(int cvProp, double value) override;
    double get(int cvProp) override;
    bool grab() override;
    int grabWithin(int ms) override;
    bool retrieve(QByteArray& bytes, int& width, int& height) override;

private:
    bool take(int timeoutMs);
    bool alive() const;
    SimCaptureDevice m_device;
    std::shared_ptr<SimUsbCamera> m_camera;
    std::shared_ptr<StallSwitch> m_stall;
    QByteArray m_frame; // the camera's buffer of the frame taken, held as a dequeued driver buffer
    int m_bytes = 0, m_width = 0, m_height = 0;
    double m_bufferMs = 0; // the taken frame's buffer time
    double m_statedFps = 0;
    int m_unplugsAtOpen = 0; // a stream opened before an unplug stays dead (alive())
};

// Streams played by the simulated camera, for a V4L2 device to make.
V4l2CaptureDevice::StreamFactory simStreams(std::shared_ptr<SimUsbCamera> camera, std::shared_ptr<StallSwitch> stall);

// Polls done every 2 ms until it holds (true) or ms have passed (false). The
// default is a bound for "never", not for "soon": a 4K frame drawn by the
// simulator under a sanitizer on a busy machine can take seconds.
bool waitUntil(const std::function<bool()>& done, int ms = 120000);

// Simulated camera 14 sending as fast as it is read, with a stall switch,
// configured for the object's life (test fixtures derive from it).
struct StallableSimCamera {
    StallableSimCamera();
    ~StallableSimCamera();
    std::shared_ptr<SimUsbCamera> sim;
    std::shared_ptr<StallSwitch> stall = std::make_shared<StallSwitch>();
};
