#pragma once

#include "platform/CaptureDevice.h"

#include <QByteArray>
#include <QMap>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// What the V4L2 device needs of OpenCV's VideoCapture, so that tests can
// stand in a camera that stalls. Used by one thread at a time (the device
// serialises every call).
class V4l2Stream {
public:
    virtual ~V4l2Stream() = default;
    virtual bool open(int node) = 0;
    virtual void release() = 0;
    // VideoCapture property ids and values.
    virtual bool set(int cvProp, double value) = 0;
    virtual double get(int cvProp) = 0;
    // Takes the next frame, starting the stream when it is not running: may
    // block for seconds (the driver's own select timeout, 10 s by default).
    virtual bool grab() = 0;
    // Takes a frame of a running stream if one comes within ms: 1 taken,
    // 0 none came, -1 the device failed (unplugged).
    virtual int grabWithin(int ms) = 0;
    // Copies the frame taken, undecoded, into `bytes` (resized to the frame;
    // a buffer nobody else holds, written in place), with its size.
    virtual bool retrieve(QByteArray& bytes, int& width, int& height) = 0;
};

// Real USB cameras through OpenCV's VideoCapture with its V4L2 backend:
// CAP_PROP_CONVERT_RGB 0 hands back the undecoded MJPG, YUYV or NV12 buffer,
// CAP_PROP_FOURCC chooses the format, and the standard properties map to V4L2
// controls (values pass unchanged, so the vendor register channels work where
// the camera's control ranges admit their values).
//
// Threads: the interface thread calls every method; frames are taken by the
// device's own capture thread, which also starts the stream (its first frame
// may take seconds after an open, a size or format change) and opens the
// device again after it was unplugged (at most twice a second). A read waits
// only for that thread's newest frame, at most the read timeout. A control
// set or get waits at most 100 ms for a running stream's frame, and not at
// all while a stream starts or the device is reopened: a set is then applied
// before the stream's next frame (sets reach the camera in the order made),
// and a get answers -1, no answer (a value remembered from a set would be a
// register read's own request). So no call blocks the interface on a
// stalled camera.
//
// What it does not do: the one-shot white balance command (55) has no V4L2
// counterpart and is refused; automatic exposure on and off (57, 58) become
// CAP_PROP_AUTO_EXPOSURE 3 and 1.
class V4l2CaptureDevice : public CaptureDevice {
public:
    using StreamFactory = std::function<std::unique_ptr<V4l2Stream>()>;
    // node: the N of /dev/videoN; makeStream: OpenCV's capture by default.
    explicit V4l2CaptureDevice(int node, StreamFactory makeStream = {});
    // Waits for every capture thread the device started to end: at most the
    // frame each is inside (a stalled first frame: the driver's select
    // timeout). One left running would go on inside OpenCV after the process
    // has torn down OpenCV's per-thread storage, which aborts the process.
    ~V4l2CaptureDevice() override;
    bool open(int index, int backend = PlatformBackend) override;
    bool isOpened() const override;
    void release() override;
    bool set(int prop, double value) override;
    double get(int prop) override;
    bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) override;
    bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) override;
    bool selectPixelFormat(int pixelFormat) override;
    void setReadTimeout(int ms) override { m_readTimeout = ms; }
    bool waitFrame(int ms) override;
    uint64_t framesMissed() const override;
    // The driver's buffer time of the frame (CAP_PROP_POS_MSEC, the monotonic
    // clock), or when the driver gives none the moment the capture thread
    // took it.
    int64_t lastCaptureMs() const override { return m_lastCaptureMs; }
    // The camera's rate by the capture times of the frames since the last
    // format or size change (those of the last two seconds, once three
    // came; see rateOfCaptureTimes), and before that the driver's stated
    // interval (CAP_PROP_FPS).
    double frameRate() override;
    double frameRateWithin(int ms) override;

    // The machine's V4L2 capture devices, in /dev/videoN order, named from
    // their udev properties.
    static QList<CaptureDeviceInfo> enumerate();

    // Pure parts, tested alone.
    // The name from a device's udev properties (ID_V4L_PRODUCT or ID_MODEL,
    // ID_VENDOR_ID, ID_MODEL_ID); the same on arrival, removal and listing.
    static QString nameFromProperties(const QMap<QString, QString>& props);
    // How a property of the callers becomes a VideoCapture property: false
    // when the capture layer has no counterpart.
    static bool mapProperty(int prop, double value, int& cvProp, double& cvValue);
    // The node number of "/dev/videoN"; -1 otherwise.
    static int nodeOf(const QString& devnode);
    // The rate of a camera whose frames a reader took at capture times
    // `times` (ms, oldest first, at least three): the camera's interval is
    // the one its driver states (statedFps, 0: none) where every step is a
    // whole multiple of it, a few ms either way (frames a late reader let
    // the driver drop lie on the camera's clock too, and leave whole
    // intervals out); otherwise the longest of which every step is a whole
    // multiple, over up to four of the shortest step; the frames' mean rate
    // where no interval fits (a rate change, an uneven camera). A camera
    // slower than its driver states by a whole factor is thus taken at the
    // stated rate: its frames look as those of a reader taking one in a few.
    static double rateOfCaptureTimes(const std::deque<int64_t>& times, double statedFps = 0);

    struct Shared; // the state the capture thread shares with the device

private:
    // Hands a VideoCapture set to the stream, or to the capture thread when
    // the stream is busy for longer than a control may wait.
    bool setStream(int cvProp, double value);
    // Joins the capture threads of released streams that have ended, or
    // with `all` every one, waiting for it.
    void joinReleased(bool all);
    int m_node;
    StreamFactory m_makeStream;
    int m_readTimeout = -1;
    int64_t m_lastCaptureMs = -1;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread; // the capture thread of m_shared
    // Threads of released streams that may still be inside a frame: a
    // release does not wait for a stalled camera.
    std::vector<std::pair<std::shared_ptr<Shared>, std::thread>> m_released;
};
