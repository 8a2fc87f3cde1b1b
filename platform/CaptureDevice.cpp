#include "platform/CaptureDevice.h"

#include "platform/SimUsbCamera.h"
#include "platform/V4l2CaptureDevice.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <utility>

namespace {

std::mutex g_factoryMutex;
CaptureDevice::Factory g_factory;

// The capture object callers hold: open(index) picks the backend of that
// entry of the device list and forwards everything to it.
class CaptureRouter : public CaptureDevice {
public:
    bool open(int index, int backend) override {
        release();
        const QList<CaptureDeviceInfo> list = devices();
        if (index < 0 || index >= list.size())
            return false;
        const CaptureDeviceInfo& info = list[index];
        if (info.simulated) {
            auto camera = SimUsbBus::instance()->cameraNamed(info.name);
            if (!camera)
                return false;
            m_backend = std::make_unique<SimCaptureDevice>(camera);
        } else {
            m_backend = std::make_unique<V4l2CaptureDevice>(V4l2CaptureDevice::nodeOf(info.location));
        }
        if (!m_backend->open(index, backend)) {
            m_backend.reset();
            return false;
        }
        m_backend->setReadTimeout(m_readTimeout);
        return true;
    }
    bool isOpened() const override { return m_backend && m_backend->isOpened(); }
    void release() override {
        if (m_backend)
            m_backend->release();
        m_backend.reset();
    }
    bool set(int prop, double value) override { return m_backend && m_backend->set(prop, value); }
    double get(int prop) override { return m_backend ? m_backend->get(prop) : 0.0; }
    bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) override {
        return m_backend && m_backend->readRaw(buf, capacity, bytes, width, height);
    }
    bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) override {
        return m_backend && m_backend->takeFrame(frame, capacity, bytes, width, height);
    }
    bool selectPixelFormat(int pixelFormat) override {
        return m_backend && m_backend->selectPixelFormat(pixelFormat);
    }
    bool waitFrame(int ms) override { return m_backend && m_backend->waitFrame(ms); }
    double frameRate() override { return m_backend ? m_backend->frameRate() : 0.0; }
    double frameRateWithin(int ms) override { return m_backend ? m_backend->frameRateWithin(ms) : 0.0; }
    uint64_t framesMissed() const override { return m_backend ? m_backend->framesMissed() : 0; }
    int64_t lastCaptureMs() const override { return m_backend ? m_backend->lastCaptureMs() : -1; }
    void setReadTimeout(int ms) override {
        m_readTimeout = ms;
        if (m_backend)
            m_backend->setReadTimeout(ms);
    }

private:
    std::unique_ptr<CaptureDevice> m_backend;
    int m_readTimeout = -1;
};

} // namespace

bool CaptureDevice::takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) {
    if (capacity == 0 || capacity > size_t(std::numeric_limits<int>::max()))
        return false;
    if (size_t(m_spare.size()) < capacity || !isSoleHolder(m_spare))
        m_spare = QByteArray(int(capacity), Qt::Uninitialized);
    if (!readRaw(reinterpret_cast<uint8_t*>(m_spare.data()), capacity, bytes, width, height))
        return false;
    std::swap(frame, m_spare); // the caller's old buffer is read into next, once nobody holds it
    return true;
}

bool CaptureDevice::copyTakenFrame(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) {
    QByteArray frame;
    if (!buf || !takeFrame(frame, capacity, bytes, width, height))
        return false;
    std::memcpy(buf, frame.constData(), size_t(bytes));
    return true;
}

bool isSoleHolder(const QByteArray& buffer) {
    // The holder count of the buffer's header: 1 for an allocated buffer held
    // once (0 marks a buffer that is never shared, -1 the shared empty one).
    const QByteArray::DataPtr& d = const_cast<QByteArray&>(buffer).data_ptr();
    return d->ref.atomic.loadAcquire() == 1;
}

int fourccForPixelFormat(int pixelFormat) {
    switch (pixelFormat) {
    case 22:
        return fourccCode('N', 'V', '1', '2');
    case 15:
        return fourccCode('M', 'J', 'P', 'G');
    case 6:
        return fourccCode('Y', 'U', 'Y', 'V');
    default:
        return 0;
    }
}

int pixelFormatForFourcc(int fourcc) {
    if (fourcc == fourccCode('N', 'V', '1', '2'))
        return 22;
    if (fourcc == fourccCode('M', 'J', 'P', 'G'))
        return 15;
    if (fourcc == fourccCode('Y', 'U', 'Y', 'V') || fourcc == fourccCode('Y', 'U', 'Y', '2'))
        return 6;
    return -1;
}

QString usbDeviceName(const QString& product, uint16_t vendorId, uint16_t productId) {
    if (vendorId == 0 && productId == 0)
        return product;
    return QString("%1 (vid_%2&pid_%3)")
        .arg(product)
        .arg(vendorId, 4, 16, QChar('0'))
        .arg(productId, 4, 16, QChar('0'));
}

QList<CaptureDeviceInfo> CaptureDevice::devices() {
    QList<CaptureDeviceInfo> out;
    int n = 0;
    for (const auto& camera : SimUsbBus::instance()->pluggedCameras())
        out.append(CaptureDeviceInfo{camera->name(), true, QString("sim:%1").arg(n++)});
    out.append(V4l2CaptureDevice::enumerate());
    return out;
}

QStringList CaptureDevice::deviceNames() {
    QStringList names;
    for (const CaptureDeviceInfo& d : devices())
        names.append(d.name);
    return names;
}

std::unique_ptr<CaptureDevice> CaptureDevice::create() {
    Factory f;
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        f = g_factory;
    }
    if (f)
        return f();
    return std::make_unique<CaptureRouter>();
}

void CaptureDevice::setFactory(Factory factory) {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    g_factory = std::move(factory);
}
