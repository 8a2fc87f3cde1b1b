#pragma once

#include "platform/CaptureDevice.h"

#include <QMap>

#include <chrono>
#include <memory>

namespace cv {
class VideoCapture;
}

// Real USB cameras through OpenCV's VideoCapture with its V4L2 backend:
// CAP_PROP_CONVERT_RGB 0 hands back the undecoded MJPG, YUYV or NV12 buffer,
// CAP_PROP_FOURCC chooses the format, and the standard properties map to V4L2
// controls (values pass unchanged, so the vendor register channels work where
// the camera's control ranges admit their values).
//
// What it does not do: the one-shot white balance command (55) has no V4L2
// counterpart and is refused; automatic exposure on and off (57, 58) become
// CAP_PROP_AUTO_EXPOSURE 3 and 1; a camera unplugged and plugged back is
// reopened by the next pixel-format choice.
class V4l2CaptureDevice : public CaptureDevice {
public:
    // node: the N of /dev/videoN.
    explicit V4l2CaptureDevice(int node);
    ~V4l2CaptureDevice() override;
    bool open(int index, int backend = PlatformBackend) override;
    bool isOpened() const override;
    void release() override;
    bool set(int prop, double value) override;
    double get(int prop) override;
    bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) override;
    bool selectPixelFormat(int pixelFormat) override;

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

private:
    bool reopen();
    int m_node;
    int m_format = 0;
    int m_width = 0, m_height = 0; // requested size, applied again on reopen
    std::unique_ptr<cv::VideoCapture> m_cap;
    bool m_lost = false;
    std::chrono::steady_clock::time_point m_lastReopen{};
};
