#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// Capture property ids, by their standard numbers. The USB models also use
// contrast (11), saturation (12), backlight (32) and pan (33) as command
// channels to the camera; 55, 57 and 58 are commands of the capture layer.
namespace CaptureProp {
enum : int {
    FrameWidth = 3,
    FrameHeight = 4,
    FourCC = 6,
    Brightness = 10,
    Exposure = 15,
    Contrast = 11,
    Saturation = 12,
    Gain = 14,
    WhiteBalanceBlue = 17,
    Sharpness = 20,
    AutoExposure = 21,
    Gamma = 22,
    Backlight = 32,
    Pan = 33,
    OneShotWhiteBalance = 55,
    AutoExposureOn = 57,
    AutoExposureOff = 58,
};
}

// The FOURCC value of four characters, as property 6 takes it.
constexpr int fourccCode(char a, char b, char c, char d) {
    return int(uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
               uint32_t(uint8_t(d)) << 24);
}
// Pixel-format code (22 NV12, 15 MJPG, 6 YUYV) <-> FOURCC; 0 / -1 when unknown.
int fourccForPixelFormat(int pixelFormat);
int pixelFormatForFourcc(int fourcc);

// True when `buffer` holds memory that nobody but the caller holds, so the
// caller may write it again. Every reuse of a frame buffer (and of the video
// decoder's picture memory) goes through here: the holder count is read with
// acquire ordering, so that whatever another holder did with the buffer
// before letting it go (reading a frame out of it) is over before the caller
// writes. QByteArray::isDetached reads it
// relaxed. False for an empty (shared null) buffer.
bool isSoleHolder(const QByteArray& buffer);

// "<product> (vid_xxxx&pid_yyyy)", the form the camera scan matches; the
// product alone when the ids are unknown (0).
QString usbDeviceName(const QString& product, uint16_t vendorId, uint16_t productId);

struct CaptureDeviceInfo {
    QString name;      // as above; the scan and the hot-plug watcher compare it
    bool simulated = false;
    QString location;  // "/dev/videoN" for a V4L2 device, "sim:<n>" for a simulated one
};

// One USB capture device: the operations the USB camera driver needs.
// Property values pass to the camera unchanged and a get returns what the
// camera answers (the register channels rely on a get answering the preceding
// set), or -1 when the camera cannot answer now. A capture object is used from one thread at a time (the GUI thread).
class CaptureDevice {
public:
    static constexpr int PlatformBackend = 700; // the backend id callers pass; any value selects the platform's

    virtual ~CaptureDevice() = default;
    // Opens entry `index` of devices(); repeatable after release().
    virtual bool open(int index, int backend = PlatformBackend) = 0;
    virtual bool isOpened() const = 0;
    virtual void release() = 0;
    virtual bool set(int prop, double value) = 0;
    virtual double get(int prop) = 0;
    // Copies the next undecoded frame (NV12, YUYV or one JPEG image) into buf,
    // at most `capacity` bytes, and reports its byte count and size. Waits
    // for a frame at most the read timeout; false when none came, the device
    // is gone or the frame does not fit.
    virtual bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) = 0;
    // The next undecoded frame as readRaw finds it, handed over instead of
    // copied: on success `frame` becomes a shared buffer whose first `bytes`
    // bytes are the frame, and that the device never writes again while
    // anyone else holds it. On entry `frame` is the buffer the caller lets go
    // of: the device may write it again only when nobody else holds it.
    // False (frame unchanged) as readRaw, and for a frame over `capacity`.
    // This default reads through readRaw into a buffer of its own.
    virtual bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height);
    // The longest wait of readRaw from now on, in ms (0: only a frame already
    // there); negative restores the capture's own timeout. The render step
    // only polls (0), so that a slow or stalled camera never holds up the
    // interface; it rests on waitFrame between passes instead.
    virtual void setReadTimeout(int ms) { (void)ms; }
    // Waits up to ms until the next read would find a frame there; true when
    // one is (or the stream has yet to start, which the first read does).
    // False when none came in time, the device is gone, or the backend
    // cannot tell (this default, which returns at once): the caller then
    // waits its own way.
    virtual bool waitFrame(int ms) { (void)ms; return false; }
    // 22 NV12, 15 MJPG, 6 YUYV: the camera delivers that format from then on.
    virtual bool selectPixelFormat(int pixelFormat) = 0;
    // Frames per second the camera sends in its present format and size: as
    // it states it, or as its frames come; 0 when it states none (a camera
    // that sends as fast as it is read, or a backend that cannot tell).
    virtual double frameRate() { return 0.0; }
    // The same, but a stream whose driver has yet to state its rate (its
    // capture thread not there yet, as on a busy machine right after an open
    // or a format change) is waited for up to `ms`.
    virtual double frameRateWithin(int ms) {
        (void)ms;
        return frameRate();
    }
    // Frames the camera delivered since open that no read took (a newer
    // frame took their place before the next read), counted by the read
    // that follows them; always 0 from a backend that cannot tell.
    virtual uint64_t framesMissed() const { return 0; }
    // When the frame the last successful read or take handed over was
    // captured, in SleepClock milliseconds; -1 when the backend cannot tell
    // (this default): the caller then takes the moment it read the frame.
    virtual int64_t lastCaptureMs() const { return -1; }

    // The devices in index order: simulated cameras (SEVRIN_SIM_USB) first,
    // then the V4L2 capture devices of the machine.
    static QList<CaptureDeviceInfo> devices();
    static QStringList deviceNames();
    // An unopened capture object; open(index) picks the backend of that entry.
    static std::unique_ptr<CaptureDevice> create();
    // Tests replace what create() makes; an empty function restores it.
    using Factory = std::function<std::unique_ptr<CaptureDevice>()>;
    static void setFactory(Factory factory);

protected:
    // readRaw of a backend with a takeFrame of its own: the frame handed
    // over, copied into buf.
    bool copyTakenFrame(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height);

private:
    QByteArray m_spare; // the default takeFrame's next buffer
};
