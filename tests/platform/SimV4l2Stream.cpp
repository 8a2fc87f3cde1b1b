#include "SimV4l2Stream.h"

#include <opencv2/videoio.hpp>

#include <chrono>
#include <cstring>
#include <thread>

void StallSwitch::set(bool on) {
    std::lock_guard<std::mutex> l(lock);
    stalled = on;
    changed.notify_all();
}

SimV4l2Stream::SimV4l2Stream(std::shared_ptr<SimUsbCamera> camera, std::shared_ptr<StallSwitch> stall)
    : m_device(camera), m_camera(std::move(camera)), m_stall(std::move(stall)) {}

bool SimV4l2Stream::open(int node) {
    // A driver states its interval as a fraction (2/15 s for 7.5 a second),
    // which OpenCV hands on as the rate it makes.
    m_statedFps = m_camera->framesPerSecond();
    m_unplugsAtOpen = m_camera->unplugs();
    // The frames of OpenCV's four driver buffers wait for a late reader.
    m_camera->setDriverBuffers(4);
    return m_device.open(node);
}

void SimV4l2Stream::release() {
    m_device.release();
    m_camera->setDriverBuffers(1);
}

bool SimV4l2Stream::set(int cvProp, double value) {
    if (cvProp == cv::CAP_PROP_CONVERT_RGB)
        return true; // frames are always undecoded here
    if (cvProp == cv::CAP_PROP_FOURCC)
        return m_device.selectPixelFormat(pixelFormatForFourcc(int(value)));
    return m_device.set(cvProp, value);
}

double SimV4l2Stream::get(int cvProp) {
    if (cvProp == cv::CAP_PROP_POS_MSEC)
        return m_bufferMs;
    if (cvProp == cv::CAP_PROP_FPS) {
        if (const int ms = m_stall->lateMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return m_statedFps;
    }
    return m_device.get(cvProp);
}

bool SimV4l2Stream::take(int timeoutMs) {
    m_device.setReadTimeout(timeoutMs);
    m_bytes = 0;
    m_frame = QByteArray(); // the camera may fill it again
    // The camera's own buffer: retrieve copies it out once, as OpenCV's does
    // from the driver's.
    if (!m_device.takeFrame(m_frame, size_t(4096) * 3072 * 2, m_bytes, m_width, m_height))
        return false;
    // The frame's own time, as a driver stamps it, not the time this
    // reader came for it.
    m_bufferMs = m_camera->lastFrameDueMs();
    if (const int ms = m_stall->takeMs.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
}

bool SimV4l2Stream::alive() const {
    // Unplugged since the open, the device node is gone even if the camera
    // is back: a reader busy through the whole time away (a loaded machine)
    // still finds its handle failing, and opens the camera again.
    return m_camera->isPlugged() && m_camera->unplugs() == m_unplugsAtOpen;
}

bool SimV4l2Stream::grab() {
    if (!alive())
        return false;
    {
        std::unique_lock<std::mutex> l(m_stall->lock);
        ++m_stall->blockedGrabs;
        m_stall->changed.notify_all();
        m_stall->changed.wait(l, [this] { return !m_stall->stalled; });
        --m_stall->blockedGrabs;
    }
    return alive() && take(2000);
}

int SimV4l2Stream::grabWithin(int ms) {
    if (!alive())
        return -1; // the device reports an error at once
    {
        std::unique_lock<std::mutex> l(m_stall->lock);
        if (m_stall->changed.wait_for(l, std::chrono::milliseconds(ms), [this] { return !m_stall->stalled; }) ==
            false) {
            ++m_stall->stalledPolls;
            return 0;
        }
    }
    if (!alive())
        return -1;
    return take(ms) ? 1 : 0;
}

bool SimV4l2Stream::retrieve(QByteArray& bytes, int& width, int& height) {
    if (m_bytes <= 0)
        return false;
    bytes.resize(m_bytes);
    std::memcpy(bytes.data(), m_frame.constData(), size_t(m_bytes));
    width = m_width;
    height = m_height;
    return true;
}

V4l2CaptureDevice::StreamFactory simStreams(std::shared_ptr<SimUsbCamera> camera, std::shared_ptr<StallSwitch> stall) {
    return [camera, stall] { return std::make_unique<SimV4l2Stream>(camera, stall); };
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

StallableSimCamera::StallableSimCamera() {
    SimUsbBus::instance()->configure("14:fps=0");
    sim = SimUsbBus::instance()->cameras().value(0);
}

StallableSimCamera::~StallableSimCamera() {
    stall->set(false);
    SimUsbBus::instance()->configure(QString());
}
