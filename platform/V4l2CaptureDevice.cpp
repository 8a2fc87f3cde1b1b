#include "platform/V4l2CaptureDevice.h"

#include "platform/FrameTicks.h"
#include "platform/SleepClock.h"
#include "platform/ThreadPriority.h"

#include <QRegularExpression>

#include <libudev.h>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto kReopenEvery = 500ms;   // an unplugged camera is looked for twice a second
constexpr int kStreamPollMs = 20;      // the capture thread's wait for a frame of a running stream
constexpr int kOwnReadTimeoutMs = 10000; // a read without a timeout set: the driver's own
constexpr int kPromptSliceUs = 1000;     // the capture thread's time slice
constexpr int kNeverWaitedFrames = 8;    // twice the driver's buffers
constexpr size_t kSpareBuffers = 2;      // frame buffers kept for the capture thread to fill again
constexpr int64_t kRateWindowMs = 2000;  // the capture times a frame rate is measured over
constexpr double kLatestBufferAgeMs = 1000; // a buffer time further back is not the monotonic clock's

// When a frame whose driver buffer time is `bufferMs` (the monotonic clock)
// was captured, on the SleepClock; the moment it was taken when the driver
// gave no time, or one of another clock.
int64_t captureTimeOf(double bufferMs) {
    const int64_t now = int64_t(SleepClock::ticksMs());
    if (!(bufferMs > 0))
        return now;
    const double monotonicMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    const double age = monotonicMs - bufferMs;
    return age >= 0 && age < kLatestBufferAgeMs ? now - int64_t(std::llround(age)) : now;
}

// OpenCV's V4L2 capture. The capture is held as the one element of the
// list the wait for a frame takes, never copied: the executable loads the
// video library late, and a copy would need its class's tables at start.
class OpenCvStream : public V4l2Stream {
public:
    bool open(int node) override {
        m_caps = std::vector<cv::VideoCapture>(1);
        if (!m_caps.front().open(node, cv::CAP_V4L2)) {
            m_caps.clear();
            return false;
        }
        return true;
    }
    void release() override {
        if (cv::VideoCapture* cap = capture())
            cap->release();
        m_caps.clear();
    }
    bool set(int cvProp, double value) override { return capture() && capture()->set(cvProp, value); }
    double get(int cvProp) override { return capture() ? capture()->get(cvProp) : 0.0; }
    bool grab() override { return capture() && capture()->grab(); }
    int grabWithin(int ms) override {
        if (!capture())
            return -1;
        std::vector<int> ready;
        try {
            if (!cv::VideoCapture::waitAny(m_caps, ready, int64_t(std::max(1, ms)) * 1000000))
                return 0;
        } catch (const cv::Exception&) {
            return -1;
        }
        return ready.empty() ? 0 : 1;
    }
    bool retrieve(QByteArray& bytes, int& width, int& height) override {
        cv::Mat raw;
        cv::VideoCapture* cap = capture();
        if (!cap || !cap->retrieve(raw) || raw.empty() || !raw.isContinuous())
            return false;
        const size_t n = raw.total() * raw.elemSize();
        if (n > size_t(std::numeric_limits<int>::max()))
            return false;
        bytes.resize(int(n)); // the buffer nobody else holds keeps its memory
        std::memcpy(bytes.data(), raw.data, n);
        width = int(cap->get(cv::CAP_PROP_FRAME_WIDTH));
        height = int(cap->get(cv::CAP_PROP_FRAME_HEIGHT));
        return true;
    }

private:
    cv::VideoCapture* capture() { return m_caps.empty() ? nullptr : &m_caps.front(); }
    std::vector<cv::VideoCapture> m_caps; // empty, or the open capture
};

bool restartsStream(int cvProp) {
    return cvProp == cv::CAP_PROP_FRAME_WIDTH || cvProp == cv::CAP_PROP_FRAME_HEIGHT || cvProp == cv::CAP_PROP_FOURCC;
}

} // namespace

struct V4l2CaptureDevice::Shared {
    int node = 0;
    // The stream and everything its calls change; the capture thread holds
    // it while it waits for a frame.
    std::timed_mutex streamLock;
    std::unique_ptr<V4l2Stream> stream;
    std::atomic<int> controlsWaiting{0};

    // Guarded by `lock`.
    std::mutex lock;
    std::condition_variable changed;
    bool stop = false;
    bool wanted = false;    // a read asked for frames: the capture thread takes them
    bool streaming = false; // a frame came since the last (re)open, size or format change
    bool lost = false;      // the device failed: the capture thread opens it again
    bool starting = false;  // the capture thread waits inside a stream's first frame
    bool finished = false;  // the capture thread has ended
    uint64_t generation = 0; // counts stream restarts: older frames are not handed out
    // The newest frame, handed over to a read as it is (never copied there);
    // the capture thread writes only buffers that nobody else holds.
    QByteArray frame;
    int width = 0, height = 0;
    int64_t frameMs = -1; // when it was captured (SleepClock)
    // Capture times of the frames since the last restart (the newest
    // kRateWindowMs), and the interval the driver stated after it.
    std::deque<int64_t> times;
    double statedFps = 0;
    bool stated = false; // the driver was asked for statedFps since the last restart
    std::vector<QByteArray> spare; // buffers readers let go of, for the capture thread to fill
    uint64_t serial = 0, taken = 0;
    uint64_t missed = 0; // frames replaced by a newer one before any read took them
    std::vector<std::pair<int, double>> pending; // sets not yet applied, in order
    std::vector<std::pair<int, double>> reopenSets; // the format and size, applied again on reopen

    void restarted() { // lock held
        streaming = false;
        ++generation;
        taken = serial;
        times.clear();
        statedFps = 0;
        stated = false;
    }
    void run();
    bool reopen();
    // A buffer for the next frame that nobody else holds (empty when none is
    // kept), and one given back. Both take `lock`.
    QByteArray takeSpare() {
        std::lock_guard<std::mutex> l(lock);
        while (!spare.empty()) {
            QByteArray b = std::move(spare.back());
            spare.pop_back();
            if (isSoleHolder(b))
                return b;
        }
        return QByteArray();
    }
    void keepSpare(QByteArray b) {
        // A buffer a reader still holds is never written again: it is only
        // dropped here, and freed when the last holder lets go.
        if (b.isEmpty() || !isSoleHolder(b))
            return;
        std::lock_guard<std::mutex> l(lock);
        if (spare.size() < kSpareBuffers)
            spare.push_back(std::move(b));
    }
    // Takes the stream for a control: waits for a running stream's frame,
    // never for a stream's first frame or a reopen. False when not taken.
    bool takeForControl(std::unique_lock<std::timed_mutex>& s);
    // Applies the sets still pending, in order. streamLock held.
    void applyPending();
    // Asks the capture thread for frames and waits up to ms for one not yet
    // taken (0: only looks). `lock` is held through l.
    bool waitForFrame(std::unique_lock<std::mutex>& l, int ms) {
        if (!wanted) {
            wanted = true;
            changed.notify_all();
        }
        changed.wait_for(l, std::chrono::milliseconds(std::max(0, ms)), [this] { return stop || serial != taken; });
        return serial != taken;
    }
};

bool V4l2CaptureDevice::Shared::reopen() {
    std::lock_guard<std::timed_mutex> s(streamLock);
    stream->release();
    if (!stream->open(node))
        return false;
    std::vector<std::pair<int, double>> sets;
    {
        std::lock_guard<std::mutex> l(lock);
        sets = reopenSets;
    }
    stream->set(cv::CAP_PROP_CONVERT_RGB, 0);
    for (const auto& [prop, value] : sets)
        stream->set(prop, value);
    return true;
}

void V4l2CaptureDevice::Shared::run() {
    // The driver holds four buffers: a thread that waits behind a decode or
    // an encode for more than four frames' time loses the camera's frames.
    ThreadPriority::makePrompt(kPromptSliceUs);
    // Frames in a row taken without waiting once: more than the driver's
    // buffers hold means the camera always has one ready (faster than this
    // thread takes them), and a step above the process would leave its
    // other threads no core.
    int neverWaited = 0;
    long switches = ThreadPriority::voluntarySwitches();
    for (;;) {
        bool wasLost = false;
        {
            std::unique_lock<std::mutex> l(lock);
            changed.wait(l, [this] { return stop || wanted; });
            if (stop)
                break;
            wasLost = lost;
            if (wasLost && !changed.wait_for(l, kReopenEvery, [this] { return stop; })) {
                l.unlock();
                const bool back = reopen();
                l.lock();
                if (back) {
                    lost = false;
                    restarted();
                }
                continue;
            }
            if (stop)
                break;
        }
        std::unique_lock<std::timed_mutex> s(streamLock);
        std::vector<std::pair<int, double>> sets;
        bool first = false;
        uint64_t generation0 = 0;
        {
            std::lock_guard<std::mutex> l(lock);
            sets.swap(pending);
            for (const auto& [prop, value] : sets)
                if (restartsStream(prop))
                    restarted();
            first = !streaming;
            starting = first;
            generation0 = generation;
        }
        if (first)
            changed.notify_all(); // a control waiting for the stream does not wait for its start
        for (const auto& [prop, value] : sets)
            stream->set(prop, value);
        if (first) {
            // The driver states the stream's interval before its first
            // frame, which may take seconds: a recording started meanwhile
            // knows the camera's rate.
            const double stated = stream->get(cv::CAP_PROP_FPS);
            std::lock_guard<std::mutex> l(lock);
            if (generation == generation0) {
                statedFps = stated > 0 ? stated : 0.0;
                this->stated = true;
                changed.notify_all();
            }
        }
        // The first frame of a stream may take seconds: here, not on the
        // interface thread.
        const int got = first ? (stream->grab() ? 1 : -1) : stream->grabWithin(kStreamPollMs);
        if (first) {
            std::lock_guard<std::mutex> l(lock);
            starting = false;
        }
        QByteArray bytes = takeSpare();
        int w = 0, h = 0;
        const bool copied = got == 1 && stream->retrieve(bytes, w, h);
        const int64_t capturedMs = copied ? captureTimeOf(stream->get(cv::CAP_PROP_POS_MSEC)) : -1;
        if (got < 0)
            stream->release();
        s.unlock();
        {
            std::lock_guard<std::mutex> l(lock);
            if (got < 0) {
                lost = true;
            } else if (copied && generation == generation0) {
                frame.swap(bytes); // a frame no read took is written again
                width = w;
                height = h;
                frameMs = capturedMs;
                ++serial;
                streaming = true;
                times.push_back(capturedMs);
                while (times.back() - times.front() > kRateWindowMs)
                    times.pop_front();
            } else if (got == 1 && generation == generation0) {
                streaming = true;
            }
        }
        keepSpare(std::move(bytes));
        const long nowSwitches = ThreadPriority::voluntarySwitches();
        neverWaited = got == 1 && nowSwitches == switches ? neverWaited + 1 : 0;
        switches = nowSwitches;
        if (neverWaited == kNeverWaitedFrames)
            ThreadPriority::endStepUp();
        changed.notify_all();
        // A control waiting for the stream goes first.
        while (controlsWaiting.load() > 0)
            std::this_thread::sleep_for(1ms);
    }
    std::lock_guard<std::timed_mutex> s(streamLock);
    stream->release();
    std::lock_guard<std::mutex> l(lock);
    finished = true;
    changed.notify_all();
}

V4l2CaptureDevice::V4l2CaptureDevice(int node, StreamFactory makeStream)
    : m_node(node), m_makeStream(std::move(makeStream)) {
    if (!m_makeStream)
        m_makeStream = [] { return std::make_unique<OpenCvStream>(); };
}

V4l2CaptureDevice::~V4l2CaptureDevice() {
    release();
    joinReleased(true);
}

void V4l2CaptureDevice::joinReleased(bool all) {
    for (auto it = m_released.begin(); it != m_released.end();) {
        bool ended = all;
        if (!ended) {
            std::lock_guard<std::mutex> l(it->first->lock);
            ended = it->first->finished;
        }
        if (!ended) {
            ++it;
            continue;
        }
        if (it->second.joinable())
            it->second.join();
        it = m_released.erase(it);
    }
}

bool V4l2CaptureDevice::open(int index, int backend) {
    Q_UNUSED(index) // the node was chosen from the device list
    Q_UNUSED(backend)
    release();
    auto shared = std::make_shared<Shared>();
    shared->node = m_node;
    shared->stream = m_makeStream();
    if (!shared->stream || !shared->stream->open(m_node))
        return false;
    shared->stream->set(cv::CAP_PROP_CONVERT_RGB, 0);
    m_shared = shared;
    // The thread keeps the shared state alive: a release never waits for a
    // frame that does not come (the destructor does).
    m_thread = std::thread([shared] { shared->run(); });
    return true;
}

bool V4l2CaptureDevice::isOpened() const { return bool(m_shared); }

void V4l2CaptureDevice::release() {
    if (!m_shared)
        return;
    std::shared_ptr<Shared> shared = std::move(m_shared);
    {
        std::unique_lock<std::mutex> l(shared->lock);
        shared->stop = true;
        shared->changed.notify_all();
        // An idle capture thread ends at once and closes the device, so it can
        // be opened again; one inside a stalled first frame closes it when
        // that ends.
        shared->changed.wait_for(l, 200ms, [&] { return shared->finished; });
    }
    m_released.emplace_back(std::move(shared), std::move(m_thread));
    joinReleased(false);
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


bool V4l2CaptureDevice::Shared::takeForControl(std::unique_lock<std::timed_mutex>& s) {
    ++controlsWaiting;
    bool got = false;
    {
        // The capture thread holds the stream for one frame of a running
        // stream at a time, then lets a waiting control go first; it says so
        // (and when a stream starts or is lost) under `lock`, which is held
        // here from the look at the stream to the wait, so no word is missed.
        // However long the machine takes, the control waits for that word.
        std::unique_lock<std::mutex> l(lock);
        changed.wait(l, [&] { return lost || starting || (got = s.try_lock()); });
    }
    --controlsWaiting;
    if (got) {
        std::lock_guard<std::mutex> l(lock);
        if (lost) { // the stream was released meanwhile
            s.unlock();
            got = false;
        }
    }
    return got;
}

void V4l2CaptureDevice::Shared::applyPending() {
    std::vector<std::pair<int, double>> sets;
    {
        std::lock_guard<std::mutex> l(lock);
        sets.swap(pending);
    }
    for (const auto& [prop, value] : sets)
        stream->set(prop, value);
}

bool V4l2CaptureDevice::setStream(int cvProp, double value) {
    Shared& sh = *m_shared;
    std::unique_lock<std::timed_mutex> s(sh.streamLock, std::defer_lock);
    const bool got = sh.takeForControl(s);
    {
        std::lock_guard<std::mutex> l(sh.lock);
        if (restartsStream(cvProp)) {
            auto& r = sh.reopenSets;
            r.erase(std::remove_if(r.begin(), r.end(), [cvProp](const auto& p) { return p.first == cvProp; }),
                    r.end());
            r.emplace_back(cvProp, value);
            sh.restarted(); // the stream restarts: the next frame comes from the capture thread
        }
        if (!got) {
            // Applied before the stream's next frame, after the sets before it.
            sh.pending.emplace_back(cvProp, value);
            return true;
        }
    }
    sh.applyPending();
    return sh.stream->set(cvProp, value);
}

bool V4l2CaptureDevice::set(int prop, double value) {
    int cvProp = 0;
    double cvValue = 0;
    if (!isOpened() || !mapProperty(prop, value, cvProp, cvValue))
        return false;
    return setStream(cvProp, cvValue);
}

double V4l2CaptureDevice::get(int prop) {
    int cvProp = 0;
    double cvValue = 0;
    if (!isOpened() || !mapProperty(prop, 0, cvProp, cvValue))
        return 0.0;
    Shared& sh = *m_shared;
    std::unique_lock<std::timed_mutex> s(sh.streamLock, std::defer_lock);
    // No answer while the stream starts: a value remembered from a set would
    // be the request of a register read, not the camera's answer.
    if (!sh.takeForControl(s))
        return -1.0;
    sh.applyPending(); // the request before this get goes first
    const double v = sh.stream->get(cvProp);
    if (prop == CaptureProp::AutoExposure)
        return v == 1 ? 0.25 : 0.75; // back to the capture convention
    return v;
}

bool V4l2CaptureDevice::readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) {
    return copyTakenFrame(buf, capacity, bytes, width, height);
}

// The newest frame's buffer changes hands under the lock; the copy out of
// the driver was made on the capture thread.
bool V4l2CaptureDevice::takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) {
    if (!isOpened())
        return false;
    Shared& sh = *m_shared;
    QByteArray given = std::move(frame);
    {
        std::unique_lock<std::mutex> l(sh.lock);
        if (!sh.waitForFrame(l, m_readTimeout >= 0 ? m_readTimeout : kOwnReadTimeoutMs) ||
            size_t(sh.frame.size()) > capacity) {
            sh.taken = sh.serial;
            frame = std::move(given);
            return false;
        }
        sh.missed += sh.serial - sh.taken - 1;
        sh.taken = sh.serial;
        frame = sh.frame; // shared: the capture thread fills another buffer next
        bytes = int(sh.frame.size());
        width = sh.width;
        height = sh.height;
        m_lastCaptureMs = sh.frameMs;
    }
    sh.keepSpare(std::move(given));
    return true;
}

double V4l2CaptureDevice::frameRate() {
    if (!m_shared)
        return 0.0;
    std::lock_guard<std::mutex> l(m_shared->lock);
    const double measured = rateOfCaptureTimes(m_shared->times, m_shared->statedFps);
    return measured > 0 ? measured : m_shared->statedFps;
}

double V4l2CaptureDevice::frameRateWithin(int ms) {
    if (!m_shared)
        return 0.0;
    {
        std::unique_lock<std::mutex> l(m_shared->lock);
        m_shared->changed.wait_for(l, std::chrono::milliseconds(ms),
                                   [&] { return m_shared->stated || m_shared->stop || m_shared->finished; });
    }
    return frameRate();
}

double V4l2CaptureDevice::rateOfCaptureTimes(const std::deque<int64_t>& times, double statedFps) {
    if (times.size() < 3 || times.back() <= times.front())
        return 0.0;
    const double span = double(times.back() - times.front());
    std::vector<int64_t> steps;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1])
            steps.push_back(times[i] - times[i - 1]);
    // The camera's intervals the steps hold when each is a whole number of
    // `interval` (0 when one is not).
    auto wholeIntervals = [&](double interval) {
        const std::vector<int64_t> ticks = FrameTicks::whole(steps, interval);
        return double(std::accumulate(ticks.begin(), ticks.end(), int64_t(0)));
    };
    // The driver's own interval first: a capture thread slower than the
    // camera takes one frame in a few, as steadily as the machine lets it,
    // and the longest interval that fits its steps is then its own pace.
    if (statedFps > 0)
        if (const double intervals = wholeIntervals(1000.0 / statedFps))
            return intervals * 1000.0 / span;
    const double shortest = double(*std::min_element(steps.begin(), steps.end()));
    for (int parts = 1; parts <= 4; ++parts)
        if (const double intervals = wholeIntervals(shortest / parts))
            return intervals * 1000.0 / span;
    return double(times.size() - 1) * 1000.0 / span;
}

uint64_t V4l2CaptureDevice::framesMissed() const {
    if (!m_shared)
        return 0;
    std::lock_guard<std::mutex> l(m_shared->lock);
    return m_shared->missed;
}

// The capture thread announces every frame it takes: the wait ends then,
// not at the next step of the caller's clock.
bool V4l2CaptureDevice::waitFrame(int ms) {
    if (!isOpened())
        return false;
    Shared& sh = *m_shared;
    std::unique_lock<std::mutex> l(sh.lock);
    return sh.waitForFrame(l, ms);
}

bool V4l2CaptureDevice::selectPixelFormat(int pixelFormat) {
    const int fourcc = fourccForPixelFormat(pixelFormat);
    if (!fourcc || !isOpened())
        return false;
    setStream(cv::CAP_PROP_CONVERT_RGB, 0);
    return setStream(cv::CAP_PROP_FOURCC, fourcc);
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
