#include "platform/V4l2CaptureDevice.h"

#include <QRegularExpression>

#include <libudev.h>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>

V4l2CaptureDevice::V4l2CaptureDevice(int node) : m_node(node) {}

V4l2CaptureDevice::~V4l2CaptureDevice() { release(); }

bool V4l2CaptureDevice::open(int index, int backend) {
    Q_UNUSED(index) // the node was chosen from the device list
    Q_UNUSED(backend)
    release();
    m_cap = std::make_unique<cv::VideoCapture>();
    if (!m_cap->open(m_node, cv::CAP_V4L2)) {
        m_cap.reset();
        return false;
    }
    m_cap->set(cv::CAP_PROP_CONVERT_RGB, 0);
    m_lost = false;
    return true;
}

bool V4l2CaptureDevice::isOpened() const { return m_cap && m_cap->isOpened(); }

void V4l2CaptureDevice::release() {
    if (m_cap)
        m_cap->release();
    m_cap.reset();
}

bool V4l2CaptureDevice::reopen() {
    if (!open(m_node))
        return false;
    if (m_format)
        m_cap->set(cv::CAP_PROP_FOURCC, fourccForPixelFormat(m_format));
    if (m_width > 0)
        m_cap->set(cv::CAP_PROP_FRAME_WIDTH, m_width);
    if (m_height > 0)
        m_cap->set(cv::CAP_PROP_FRAME_HEIGHT, m_height);
    return true;
}

bool V4l2CaptureDevice::mapProperty(int prop, double value, int& cvProp, double& cvValue) {
    cvValue = value;
    switch (prop) {
    case CaptureProp::FrameWidth:
    case CaptureProp::FrameHeight:
    case CaptureProp::FourCC:
    case CaptureProp::Brightness:
    case CaptureProp::Contrast:
    case CaptureProp::Saturation:
    case CaptureProp::Gain:
    case CaptureProp::WhiteBalanceBlue:
    case CaptureProp::Sharpness:
    case CaptureProp::Gamma:
    case CaptureProp::Backlight:
    case CaptureProp::Pan:
        cvProp = prop; // OpenCV uses the same standard numbers
        return true;
    case CaptureProp::Exposure:
        cvProp = cv::CAP_PROP_EXPOSURE; // exposure_time_absolute, in 100 us units
        return true;
    case CaptureProp::AutoExposure:
        // The drivers speak the capture convention (0.25 manual, 0.75 auto);
        // V4L2's exposure_auto is a menu: 1 manual, 3 aperture priority.
        cvProp = cv::CAP_PROP_AUTO_EXPOSURE;
        cvValue = value < 0.5 ? 1 : 3;
        return true;
    case CaptureProp::AutoExposureOn:
        cvProp = cv::CAP_PROP_AUTO_EXPOSURE;
        cvValue = 3; // V4L2_EXPOSURE_APERTURE_PRIORITY
        return true;
    case CaptureProp::AutoExposureOff:
        cvProp = cv::CAP_PROP_AUTO_EXPOSURE;
        cvValue = 1; // V4L2_EXPOSURE_MANUAL
        return true;
    default:
        return false;
    }
}

bool V4l2CaptureDevice::set(int prop, double value) {
    if (prop == CaptureProp::FrameWidth)
        m_width = int(value);
    if (prop == CaptureProp::FrameHeight)
        m_height = int(value);
    int cvProp = 0;
    double cvValue = 0;
    if (!isOpened() || !mapProperty(prop, value, cvProp, cvValue))
        return false;
    return m_cap->set(cvProp, cvValue);
}

double V4l2CaptureDevice::get(int prop) {
    int cvProp = 0;
    double cvValue = 0;
    if (!isOpened() || !mapProperty(prop, 0, cvProp, cvValue))
        return 0.0;
    const double v = m_cap->get(cvProp);
    if (prop == CaptureProp::AutoExposure)
        return v == 1 ? 0.25 : 0.75; // back to the capture convention
    return v;
}

bool V4l2CaptureDevice::readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) {
    if (m_lost) {
        // Unplugged (or the node went away): try to open it again, at most
        // twice a second, so a camera plugged back shows live again by itself.
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastReopen < std::chrono::milliseconds(500))
            return false;
        m_lastReopen = now;
        if (!reopen())
            return false;
    }
    if (!isOpened())
        return false;
    if (!m_cap->grab()) {
        m_lost = true;
        m_lastReopen = std::chrono::steady_clock::now();
        return false;
    }
    cv::Mat raw;
    if (!m_cap->retrieve(raw) || raw.empty())
        return false;
    const size_t n = raw.total() * raw.elemSize();
    if (n > capacity || !raw.isContinuous())
        return false;
    std::memcpy(buf, raw.data, n);
    bytes = int(n);
    width = int(m_cap->get(cv::CAP_PROP_FRAME_WIDTH));
    height = int(m_cap->get(cv::CAP_PROP_FRAME_HEIGHT));
    return true;
}

bool V4l2CaptureDevice::selectPixelFormat(int pixelFormat) {
    const int fourcc = fourccForPixelFormat(pixelFormat);
    if (!fourcc)
        return false;
    m_format = pixelFormat;
    if (m_lost && !reopen())
        return false;
    if (!isOpened())
        return false;
    m_cap->set(cv::CAP_PROP_CONVERT_RGB, 0);
    return m_cap->set(cv::CAP_PROP_FOURCC, fourcc);
}

int V4l2CaptureDevice::nodeOf(const QString& devnode) {
    static const QRegularExpression re("^/dev/video(\\d+)$");
    const auto m = re.match(devnode);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString V4l2CaptureDevice::nameFromProperties(const QMap<QString, QString>& props) {
    QString product = props.value("ID_V4L_PRODUCT").trimmed();
    if (product.isEmpty())
        product = QString(props.value("ID_MODEL")).replace('_', ' ').trimmed();
    if (product.isEmpty())
        product = "USB Camera";
    bool okV = false, okP = false;
    const uint vid = props.value("ID_VENDOR_ID").toUInt(&okV, 16);
    const uint pid = props.value("ID_MODEL_ID").toUInt(&okP, 16);
    return usbDeviceName(product, okV ? uint16_t(vid) : 0, okP ? uint16_t(pid) : 0);
}

QList<CaptureDeviceInfo> V4l2CaptureDevice::enumerate() {
    QList<QPair<int, CaptureDeviceInfo>> found;
    udev* ctx = udev_new();
    if (!ctx)
        return {};
    udev_enumerate* en = udev_enumerate_new(ctx);
    udev_enumerate_add_match_subsystem(en, "video4linux");
    udev_enumerate_scan_devices(en);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en)) {
        udev_device* dev = udev_device_new_from_syspath(ctx, udev_list_entry_get_name(entry));
        if (!dev)
            continue;
        QMap<QString, QString> props;
        udev_list_entry* p = nullptr;
        udev_list_entry_foreach(p, udev_device_get_properties_list_entry(dev)) {
            props.insert(QString::fromUtf8(udev_list_entry_get_name(p)),
                         QString::fromUtf8(udev_list_entry_get_value(p)));
        }
        const QString devnode = QString::fromUtf8(udev_device_get_devnode(dev));
        const int node = nodeOf(devnode);
        // Metadata nodes of UVC cameras have no capture capability.
        if (node >= 0 && props.value("ID_V4L_CAPABILITIES").contains(":capture:"))
            found.append({node, CaptureDeviceInfo{nameFromProperties(props), false, devnode}});
        udev_device_unref(dev);
    }
    udev_enumerate_unref(en);
    udev_unref(ctx);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<CaptureDeviceInfo> out;
    for (const auto& f : found)
        out.append(f.second);
    return out;
}
