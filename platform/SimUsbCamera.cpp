#include "platform/SimUsbCamera.h"

#include "platform/JpegRows.h"
#include "platform/MemoryRefusal.h"
#include "platform/SleepClock.h"
#include "platform/UvcRegisters.h"
#include "platform/YuvPack.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <condition_variable>
#include <thread>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

constexpr int kPhases = 16;          // positions of the moving mark
constexpr size_t kTrafficLimit = 200000;
constexpr int kExposureNormal = 16630; // microseconds that give the specimen's own brightness


// Selectors of the 12-bit channel (property 32).
constexpr int kDefaultRed = 610, kDefaultBlue = 358, kDefaultGreen = 256;

struct ModelRow {
    int code;
    const char* token;
    uint16_t pid;
    int w, h;
    bool registers;
    int firmware;
};

const ModelRow kModels[] = {
    {1, "Yseltan", 0x0020, 1920, 1080, false, 0}, {2, "Yseltor", 0x0080, 1920, 1080, false, 0},
    {3, "Corvo", 0x5080, 3840, 2160, true, 29},   {4, "Nesko", 0x5280, 3840, 2160, true, 9},
    {5, "Tirsa", 0x5480, 3840, 2160, true, 3},    {6, "Pellam", 0x6280, 3840, 2160, true, 12},
    {7, "Lutrava", 0x5250, 2480, 2048, true, 3},  {8, "Dunmor", 0x52C0, 4096, 3072, true, 3},
    {9, "Hevra", 0x52F1, 3840, 2160, true, 3},    {10, "Casmo", 0x5460, 3840, 2160, true, 3},
    {11, "Bexo", 0x54C0, 4000, 3000, true, 3},    {12, "Nodrin", 0x54F4, 3840, 2160, true, 3},
    {13, "Ambrel", 0x5680, 3840, 2160, true, 7},  {14, "Sorrin", 0x5180, 3840, 2160, true, 29},
};

int clampInt(double v, int lo, int hi) {
    if (!(v == v))
        return lo;
    return int(std::clamp(v, double(lo), double(hi)));
}

} // namespace

int SimUsbModel::longExposureFactor(int fw) const {
    if (fw == 255)
        fw = 0;
    if (code == 3 || code == 14)
        return fw >= 4 ? 100 : 1;
    if (code == 6)
        return fw >= 12 ? 100 : 1;
    return 100;
}

SimUsbModel SimUsbModel::forCode(int code) {
    SimUsbModel m;
    for (const ModelRow& r : kModels)
        if (r.code == code) {
            m.code = r.code;
            m.token = r.token;
            m.productId = r.pid;
            m.sensor = QSize(r.w, r.h);
            m.registerChannel = r.registers;
            m.firmware = r.firmware;
            m.mirrorInverted = code == 5;
        }
    return m;
}

bool SimUsbCamera::Effects::operator==(const Effects& o) const {
    return mirror == o.mirror && flip == o.flip && mono == o.mono && brightness == o.brightness &&
           contrast == o.contrast && saturation == o.saturation && red == o.red && green == o.green &&
           blue == o.blue;
}

struct SimUsbCamera::DrawnAhead {
    std::mutex mutex;
    std::condition_variable wake;
    // Written under the lock; atomic as the drawing reads them without it.
    std::atomic<bool> quit{false};
    std::atomic<int> closes{0}; // a picture drawn across a close is dropped
    bool wanted = false;  // a picture for `next` is asked for
    bool drawing = false;
    SimSpecimen::View next;
    bool ready = false;   // `picture` shows `shown`
    SimSpecimen::View shown;
    cv::Mat picture;
    // Picture buffers nobody shows (the reader's last ones, or pictures
    // dropped), drawn into next. A 4K sweep draws 25 MB pictures at the
    // camera's rate: made afresh each time, with the drawing's planes, they
    // swung the program's resident memory by some 56 MB from frame to frame.
    // The reader, the picture drawn ahead and the drawing hold one each, so
    // two spares are all that ever come back.
    std::vector<cv::Mat> spares;
    void keep(cv::Mat& m) {
        if (!m.empty() && spares.size() < 2)
            spares.push_back(m);
        m.release();
    }
    SimSpecimen::Scratch scratch; // the drawing thread's alone
    std::thread thread;

    void loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return quit || wanted; });
            if (quit)
                return;
            const SimSpecimen::View v = next;
            const int closesBefore = closes;
            wanted = false;
            drawing = true;
            cv::Mat drawn;
            if (!spares.empty()) {
                drawn = std::move(spares.back());
                spares.pop_back();
            }
            lock.unlock();
            // A close (the program may be ending) stops the drawing too: its
            // picture would be dropped, and it would hold a core meanwhile.
            // Refused memory: no picture; the reader asks again.
            bool done = false;
            MemoryRefusal::within([&] {
                done = SimSpecimen::renderInto(v, [&] { return quit || closes != closesBefore; }, drawn, scratch);
            });
            lock.lock();
            drawing = false;
            if (done && !quit && closes == closesBefore) {
                std::swap(picture, drawn);
                shown = v;
                ready = true;
            }
            keep(drawn);
        }
    }
};

SimUsbCamera::~SimUsbCamera() {
    if (!m_ahead)
        return;
    {
        std::lock_guard<std::mutex> lock(m_ahead->mutex);
        m_ahead->quit = true;
    }
    m_ahead->wake.notify_all();
    m_ahead->thread.join();
}

bool SimUsbCamera::takeDrawnAhead(const SimSpecimen::View& v) {
    if (!m_ahead) {
        m_ahead = std::make_unique<DrawnAhead>();
        m_ahead->thread = std::thread([a = m_ahead.get()] { a->loop(); });
    }
    DrawnAhead& a = *m_ahead;
    bool taken = false;
    {
        std::lock_guard<std::mutex> lock(a.mutex);
        if (a.ready && a.shown.size == v.size && a.shown.unitsPerPixel == v.unitsPerPixel &&
            a.shown.offset == v.offset && a.shown.tilt == v.tilt) {
            // The picture shown until now is drawn into next.
            std::swap(m_base, a.picture);
            m_baseView = a.shown;
            taken = true;
        }
        a.ready = false;
        a.keep(a.picture);
        if (!a.drawing) {
            a.next = v;
            a.wanted = true;
        }
    }
    a.wake.notify_one();
    return taken;
}

SimUsbCamera::SimUsbCamera(const SimUsbModel& model, const SimUsbOptions& options, const QString& name)
    : m_model(model), m_options(options), m_name(name), m_failOpen(options.failOpen), m_fps(options.fps),
      m_format(22), m_size(model.sensor), m_jpegPhases(kPhases) {
    m_tilt = options.tilt;
    // A sweep changes the picture at every frame by itself. A white square
    // sliding over a still specimen is a thing moving through the field: in
    // single frames its corners raised the sharpness of the focus-stacking
    // cells it passed (the bottom row, by up to 29 %) to what no focus brings
    // again, and those cells never counted as at their sharpest.
    m_mark = options.sweep <= 0.0;
    m_truncateJpegs = options.cutJpegs;
    resetBank();
}

void SimUsbCamera::resetBank() {
    std::fill(std::begin(m_regs), std::end(m_regs), 0);
    std::fill(std::begin(m_selectors), std::end(m_selectors), 0);
    m_regs[UvcReg::Target] = 64;
    m_regs[UvcReg::Saturation] = 90;
    m_regs[UvcReg::Sharpness] = 20;
    m_regs[UvcReg::Hdr] = 190;
    m_regs[UvcReg::Contrast] = 114;
    m_regs[UvcReg::Mirror] = m_model.mirrorInverted ? 3 : 0;
    m_regs[UvcReg::AutoExposure] = 1;
    m_regs[UvcReg::VideoOut] = 2;
    m_regs[UvcReg::Zoom] = 10; // the lens model's main objective at 1x
    m_regs[UvcReg::FwA] = 1;
    m_regs[UvcReg::FwB] = 2;
    m_regs[UvcReg::Firmware] = m_options.firmware >= 0 ? m_options.firmware : m_model.firmware;
    m_regs[UvcReg::FwD] = 3;
    m_regs[UvcReg::Ident] = m_options.identification >= 0 ? m_options.identification : 100;
    m_selectors[0] = kDefaultRed;
    m_selectors[1] = kDefaultBlue;
    m_selectors[2] = kDefaultGreen;
    m_selectors[3] = 1600; // auto-focus window, sensor pixels / 2 at full size
    m_selectors[4] = 900;
    m_selectors[5] = 640;
    m_selectors[6] = 360;
    m_props.clear();
    m_props[CaptureProp::Saturation] = m_model.registerChannel ? kExposureNormal : 50;
    if (!m_model.registerChannel) {
        m_props[CaptureProp::Brightness] = 10000;
        m_props[CaptureProp::Contrast] = 50;
        m_props[CaptureProp::Gain] = 0;
        m_props[CaptureProp::WhiteBalanceBlue] = 512;
        m_props[CaptureProp::Sharpness] = 64;
        m_props[CaptureProp::AutoExposure] = 0.75;
        m_props[CaptureProp::Gamma] = 100;
        m_props[CaptureProp::Backlight] = 512;
    }
}

bool SimUsbCamera::isPlugged() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_plugged;
}

int SimUsbCamera::unplugs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unplugs;
}

void SimUsbCamera::setPlugged(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (on == m_plugged)
        return;
    m_plugged = on;
    m_unplugs += !on;
    m_streaming = false;
    if (on)
        resetBank(); // power comes back: the camera starts from its defaults
}

void SimUsbCamera::setStageOffset(const QPointF& units) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stage = units;
}

void SimUsbCamera::setFocus(double position) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_focus = position;
}

double SimUsbCamera::focus() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_focus;
}

void SimUsbCamera::setDepthTilt(double tilt) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tilt = tilt;
}

void SimUsbCamera::setMovingMark(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mark = on;
}

void SimUsbCamera::setWrongSizeFrames(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wrongSize = on;
}

void SimUsbCamera::truncateNextJpegs(int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_truncateJpegs = count;
}

void SimUsbCamera::setStalled(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stalled = on;
}

void SimUsbCamera::setDriverBuffers(int frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_driverBuffers = std::max(1, frames);
}

void SimUsbCamera::setFramesPerSecond(double fps) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fps = std::max(0.0, fps);
    m_streaming = false;
}

QVector<SimTraffic> SimUsbCamera::traffic() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return QVector<SimTraffic>(m_traffic.begin(), m_traffic.end());
}

void SimUsbCamera::clearTraffic() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_traffic.clear();
}

int SimUsbCamera::reg(int r) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_regs[r & 0xFF];
}

void SimUsbCamera::setReg(int r, int value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_regs[r & 0xFF] = value & 0xFF;
}

int SimUsbCamera::selector(int s) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selectors[s & 0xF];
}

double SimUsbCamera::property(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_props.value(id, 0.0);
}

int SimUsbCamera::pixelFormat() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_format;
}

QSize SimUsbCamera::frameSize() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_size;
}

int SimUsbCamera::framesDelivered() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_delivered;
}

uint64_t SimUsbCamera::framesMissed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_missed;
}

double SimUsbCamera::lastFrameDueMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFrameDueMs;
}

double SimUsbCamera::framesPerSecond() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fps;
}

void SimUsbCamera::log(SimTraffic::Kind kind, int prop, double value) {
    m_traffic.push_back({kind, prop, value});
    if (m_traffic.size() > kTrafficLimit)
        m_traffic.pop_front();
}

bool SimUsbCamera::open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged || m_failOpen)
        return false;
    ++m_handles;
    return true;
}

void SimUsbCamera::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_handles > 0 && --m_handles == 0) {
        m_streaming = false;
        // Closing never waits for a picture being drawn: it is only dropped.
        if (m_ahead) {
            std::lock_guard<std::mutex> hold(m_ahead->mutex);
            m_ahead->wanted = false;
            m_ahead->ready = false;
            ++m_ahead->closes;
            m_ahead->picture.release();
        }
    }
}

void SimUsbCamera::writeRegister(int r, int v) {
    switch (r) {
    case UvcReg::Awb:
        if (v == 1) { // one-shot white balance: the specimen's grey becomes neutral
            m_selectors[0] = kDefaultRed;
            m_selectors[1] = kDefaultBlue;
            m_selectors[2] = kDefaultGreen;
        }
        return;
    case UvcReg::Reset:
        if (v == 1)
            resetBank();
        return;
    case UvcReg::LensStepUp:
        if (v == 1)
            m_focus += 1.0;
        return;
    case UvcReg::LensStepDown:
        if (v == 1)
            m_focus -= 1.0;
        return;
    case UvcReg::Heat:
        if (v == 1)
            m_regs[UvcReg::Heat] = m_regs[UvcReg::Heat] ? 0 : 1;
        return;
    case UvcReg::FwA:
    case UvcReg::FwB:
    case UvcReg::Firmware:
    case UvcReg::FwD:
    case UvcReg::Ident:
        return; // read-only
    default:
        m_regs[r] = v;
    }
}

bool SimUsbCamera::set(int prop, double value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged || m_handles == 0)
        return false;
    log(SimTraffic::Set, prop, value);
    if (m_model.registerChannel && prop == CaptureProp::Contrast) {
        const int word = clampInt(value, 0, 0xFFFF);
        const int r = word >> 8, v = word & 0xFF;
        // A read request (value 0xFF) is answered by the next get.
        if (v == 0xFF) {
            m_answer11 = r * 256 + m_regs[r];
        } else {
            writeRegister(r, v);
            m_answer11 = word;
        }
        return true;
    }
    if (m_model.registerChannel && prop == CaptureProp::Backlight) {
        const int word = clampInt(value, 0, 0xFFFF);
        const int s = (word >> 12) & 0xF, v = word & 0xFFF;
        if (v == 0xFFF) {
            m_answer32 = s * 4096 + m_selectors[s];
        } else {
            m_selectors[s] = v;
            m_answer32 = word;
        }
        return true;
    }
    switch (prop) {
    case CaptureProp::FrameWidth:
        m_size.setWidth(clampInt(value, 16, 8192) & ~1);
        m_streaming = false;
        return true;
    case CaptureProp::FrameHeight:
        m_size.setHeight(clampInt(value, 16, 8192) & ~1);
        m_streaming = false;
        return true;
    case CaptureProp::FourCC: {
        const int code = pixelFormatForFourcc(int(int64_t(value)));
        if (code < 0)
            return false;
        m_format = code;
        m_streaming = false;
        return true;
    }
    case CaptureProp::OneShotWhiteBalance:
        m_props[CaptureProp::Backlight] = 512;
        m_props[CaptureProp::WhiteBalanceBlue] = 512;
        return true;
    case CaptureProp::AutoExposureOn:
        m_props[CaptureProp::AutoExposure] = 0.75;
        return true;
    case CaptureProp::AutoExposureOff:
        m_props[CaptureProp::AutoExposure] = 0.25;
        return true;
    default:
        m_props[prop] = value;
        return true;
    }
}

double SimUsbCamera::get(int prop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged || m_handles == 0)
        return 0.0;
    double answer;
    if (m_model.registerChannel && prop == CaptureProp::Contrast)
        answer = m_answer11;
    else if (m_model.registerChannel && prop == CaptureProp::Backlight)
        answer = m_answer32;
    else if (prop == CaptureProp::FrameWidth)
        answer = m_size.width();
    else if (prop == CaptureProp::FrameHeight)
        answer = m_size.height();
    else if (prop == CaptureProp::FourCC)
        answer = fourccForPixelFormat(m_format);
    else
        answer = m_props.value(prop, 0.0);
    log(SimTraffic::Get, prop, answer);
    return answer;
}

bool SimUsbCamera::selectPixelFormat(int code) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged || m_handles == 0 || fourccForPixelFormat(code) == 0)
        return false;
    m_format = code;
    m_streaming = false;
    return true;
}

SimUsbCamera::Effects SimUsbCamera::effects() const {
    Effects e;
    if (m_model.registerChannel) {
        const int mirrorBits = m_regs[UvcReg::Mirror] ^ (m_model.mirrorInverted ? 3 : 0);
        e.mirror = mirrorBits & 1;
        e.flip = mirrorBits & 2;
        e.mono = m_regs[UvcReg::Mono] != 0;
        if (m_regs[UvcReg::AutoExposure] == 1) {
            e.brightness = m_regs[UvcReg::Target] / 64.0;
        } else {
            const int factor = m_regs[UvcReg::ExposureType] ? m_model.longExposureFactor(m_regs[UvcReg::Firmware]) : 1;
            e.brightness = m_props.value(CaptureProp::Saturation) * factor / kExposureNormal;
        }
        e.brightness *= 1.0 + m_regs[UvcReg::Gain] / 40.0;
        e.contrast = m_regs[UvcReg::Contrast] / 114.0;
        e.saturation = m_regs[UvcReg::Saturation] / 90.0;
        e.red = m_selectors[0] / double(kDefaultRed);
        e.green = m_selectors[2] / double(kDefaultGreen);
        e.blue = m_selectors[1] / double(kDefaultBlue);
    } else {
        const bool ae = m_props.value(CaptureProp::AutoExposure) != 0.25;
        e.brightness = ae ? 1.0 : m_props.value(CaptureProp::Brightness) / 10000.0;
        e.brightness *= 1.0 + m_props.value(CaptureProp::Gain) / 40.0;
        e.contrast = m_props.value(CaptureProp::Contrast) / 50.0;
        e.saturation = m_props.value(CaptureProp::Saturation) / 50.0;
        e.red = m_props.value(CaptureProp::Backlight) / 512.0;
        e.blue = m_props.value(CaptureProp::WhiteBalanceBlue) / 512.0;
    }
    e.brightness = std::clamp(e.brightness, 0.02, 8.0);
    if (e.mono)
        e.saturation = 0.0;
    return e;
}

namespace {

qint64 steadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// The stage that pans by itself while stitching takes frames
// (SEVRIN_SIM_STAGE=pan or pan=SECONDS) along panPosition's path, the way a
// user moves a stage for stitching: it stops for SECONDS (2 by default),
// then is at the next stop 400 units on (the stitcher places frames taken at
// rest). It stands still whenever no stitching frame came for half a second.
QPointF pannedStage(QPointF own, double dwellSeconds) {
    constexpr double step = 400.0;
    static std::mutex lock;
    static qint64 last = -1;
    static double activeSeconds = 0.0;
    std::lock_guard<std::mutex> hold(lock);
    const qint64 now = steadyMs();
    const qint64 since = SimUsbBus::instance()->sinceStitchingFrame();
    if (last >= 0 && since >= 0 && since < 500)
        activeSeconds += double(now - last) / 1000.0;
    last = now;
    return own + SimUsbCamera::panPosition(std::floor(activeSeconds / dwellSeconds) * step);
}

} // namespace

QPointF SimUsbCamera::panPosition(double travelled) {
    constexpr double rowLength = 1200.0, rowStep = 400.0;
    // Rows visited in turn, down and back up; each leg runs along its row
    // (right on even legs, left on odd ones) and then steps to the next row.
    constexpr int rows[] = {0, 1, 2, 3, 2, 1};
    constexpr int legs = 6;
    const double leg = rowLength + rowStep;
    const double t = std::fmod(std::max(0.0, travelled), legs * leg);
    const int k = std::min(legs - 1, int(t / leg));
    const double inLeg = t - k * leg;
    const double x = std::min(inLeg, rowLength);
    const double stepped = std::max(0.0, inLeg - rowLength);
    const int next = rows[(k + 1) % legs];
    const double y = rows[k] * rowStep + (next > rows[k] ? stepped : -stepped);
    return QPointF(k % 2 == 0 ? x : rowLength - x, y);
}

QPointF SimUsbCamera::shownStageOffset() const { return view().offset; }

namespace {

// The stage as an outside driver sets it (a whole-program test panning the
// specimen): "x y" in specimen units in the file that SEVRIN_SIM_STAGE
// names, read at most every 50 ms; `own` while the variable is unset or the
// file holds no position. "pan" instead of a file pans by itself.
QPointF outsideStage(QPointF own) {
    static const QString file = QString::fromLocal8Bit(qgetenv("SEVRIN_SIM_STAGE"));
    if (file.isEmpty())
        return own;
    if (file == "pan" || file.startsWith("pan=")) {
        const double dwell = file == "pan" ? 2.0 : file.mid(4).toDouble();
        return pannedStage(own, dwell > 0 ? dwell : 2.0);
    }
    static std::mutex lock;
    static QElapsedTimer since;
    static QPointF last;
    static bool valid = false;
    std::lock_guard<std::mutex> hold(lock);
    if (!since.isValid() || since.elapsed() >= 50) {
        since.start();
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = f.readAll().simplified().split(' ');
            bool okX = false, okY = false;
            const double x = parts.value(0).toDouble(&okX), y = parts.value(1).toDouble(&okY);
            valid = okX && okY;
            last = QPointF(x, y);
        }
    }
    return valid ? last : own;
}

} // namespace

SimSpecimen::View SimUsbCamera::view() const {
    SimSpecimen::View v;
    v.size = m_size;
    v.unitsPerPixel = m_size.width() > 0 ? double(m_model.sensor.width()) / m_size.width() : 1.0;
    v.offset = outsideStage(m_stage);
    v.focus = m_focus;
    v.tilt = m_tilt;
    if (m_options.sweep > 0.0) {
        // A hand turning the focus slowly through the specimen's depth and back.
        const double range = m_tilt * m_model.sensor.width();
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_born).count();
        const double phase = std::fmod(t / m_options.sweep, 2.0);
        v.focus = range * (phase < 1.0 ? phase : 2.0 - phase);
    }
    return v;
}

const cv::Mat& SimUsbCamera::processed() {
    const SimSpecimen::View v = view();
    bool changed = false;
    const bool sameButFocus = !m_base.empty() && v.size == m_baseView.size &&
                              v.unitsPerPixel == m_baseView.unitsPerPixel && v.offset == m_baseView.offset &&
                              v.tilt == m_baseView.tilt;
    if (sameButFocus && v.focus != m_baseView.focus && m_options.sweep > 0.0) {
        // The sweep's next picture, drawn ahead; until it is there the frame
        // repeats the last one, as a camera whose exposure is not over.
        changed = takeDrawnAhead(v);
    } else if (!sameButFocus || v.focus != m_baseView.focus) {
        m_base = SimSpecimen::render(v);
        ++m_readerRenders;
        m_baseView = v;
        changed = true;
    }
    const Effects e = effects();
    if (!changed && !m_processed.empty() && e == m_effects)
        return m_processed;
    m_effects = e;
    // Contrast around mid grey, then exposure and per-channel gain.
    cv::Mat luts[3];
    const double gains[3] = {e.blue, e.green, e.red};
    for (int c = 0; c < 3; ++c) {
        luts[c].create(1, 256, CV_8U);
        for (int i = 0; i < 256; ++i)
            luts[c].at<uint8_t>(i) =
                cv::saturate_cast<uint8_t>(((i - 128) * e.contrast + 128) * e.brightness * gains[c]);
    }
    cv::Mat lut;
    cv::merge(luts, 3, lut);
    cv::LUT(m_base, lut, m_processed);
    if (e.saturation != 1.0) {
        for (int y = 0; y < m_processed.rows; ++y) {
            auto* p = m_processed.ptr<cv::Vec3b>(y);
            for (int x = 0; x < m_processed.cols; ++x) {
                const double l = 0.114 * p[x][0] + 0.587 * p[x][1] + 0.299 * p[x][2];
                for (int c = 0; c < 3; ++c)
                    p[x][c] = cv::saturate_cast<uint8_t>(l + (p[x][c] - l) * e.saturation);
            }
        }
    }
    if (e.mirror || e.flip)
        cv::flip(m_processed, m_processed, e.mirror && e.flip ? -1 : (e.mirror ? 1 : 0));
    ++m_processedGen;
    return m_processed;
}

int SimUsbCamera::wholeJpegs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_wholeJpegs;
}

int SimUsbCamera::readerRenders() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_readerRenders;
}

cv::Mat SimUsbCamera::currentPicture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return processed().clone();
}

// The moving mark: a white square sliding along the bottom of the picture,
// one of kPhases places, so that consecutive frames differ.
cv::Rect SimUsbCamera::markBgr(cv::Size size, int phase) const {
    const int m = std::max(8, size.height / 36) & ~1;
    const int x = (m + phase * (size.width - 3 * m) / (kPhases - 1)) & ~1;
    const int y = (size.height - m - m / 2) & ~1;
    return cv::Rect(x, y, m, m);
}

void SimUsbCamera::drawMarkRaw(uint8_t* frame, int format, QSize size, int phase, const uint8_t* unmarked) const {
    const int w = size.width(), h = size.height();
    const int m = std::max(8, h / 36) & ~1;
    const int x0 = (m + phase * (w - 3 * m) / (kPhases - 1)) & ~1;
    const int y0 = (h - m - m / 2) & ~1;
    for (int y = y0; y < y0 + m; ++y) {
        if (format == 22) {
            const size_t luma = size_t(y) * w + x0;
            const size_t chroma = size_t(w) * h + size_t(y / 2) * w + x0;
            if (unmarked) {
                std::memcpy(frame + luma, unmarked + luma, size_t(m));
                if (y % 2 == 0)
                    std::memcpy(frame + chroma, unmarked + chroma, size_t(m));
                continue;
            }
            std::memset(frame + luma, 235, size_t(m));
            if (y % 2 == 0)
                std::memset(frame + chroma, 128, size_t(m));
        } else {
            const size_t at = (size_t(y) * w + x0) * 2;
            uint8_t* row = frame + at;
            if (unmarked) {
                std::memcpy(row, unmarked + at, size_t(m) * 2);
                continue;
            }
            for (int i = 0; i < m; ++i) {
                row[2 * i] = 235;
                row[2 * i + 1] = 128;
            }
        }
    }
}

QByteArray SimUsbCamera::jpegFrame(const cv::Mat& img, int phase) {
    QByteArray jpeg;
    if (m_wrongSize) {
        cv::Mat half;
        cv::resize(img, half, cv::Size(img.cols / 2, img.rows));
        jpeg = YuvPack::bgrToJpeg(half, 85, m_options.jpeg422);
    } else {
        if (m_jpegGen != m_processedGen) {
            m_jpegPhases = QVector<QByteArray>(kPhases);
            m_jpegWhole.clear();
            m_jpegGen = m_processedGen;
        }
        QByteArray& cached = m_jpegPhases[phase];
        if (cached.isEmpty()) {
            // The picture is coded whole once, and each phase of the mark
            // codes only the rows of blocks it lies in. Coding the whole
            // picture for each phase held the reader (the program's capture
            // thread) a coding's time in each of the first frames of every
            // new picture, where a camera codes on its own chip: on busy
            // cores the capture thread fell more than four frames behind and
            // the camera replaced frames.
            if (m_jpegWhole.isEmpty()) {
                m_jpegWhole = JpegRows::encode(img, 85, m_options.jpeg422);
                ++m_wholeJpegs;
            }
            if (!m_mark) {
                cached = m_jpegWhole;
            } else {
                const int rowHeight = JpegRows::blockRowHeight(m_options.jpeg422);
                const int firstRow = markBgr(img.size(), phase).y / rowHeight;
                const int top = firstRow * rowHeight;
                cv::Mat strip = img.rowRange(top, img.rows).clone();
                strip(markBgr(img.size(), phase) - cv::Point(0, top)).setTo(cv::Scalar(255, 255, 255));
                cached = JpegRows::splice(m_jpegWhole, JpegRows::encode(strip, 85, m_options.jpeg422), firstRow);
            }
        }
        jpeg = cached;
    }
    if (m_truncateJpegs > 0) {
        --m_truncateJpegs;
        jpeg.truncate(jpeg.size() * 6 / 10); // as a frame cut short on the bus (the cache keeps the whole)
    }
    return jpeg;
}

void SimUsbCamera::pack(const cv::Mat& img, QSize size) {
    if (m_packedGen == m_processedGen && m_packedFormat == m_format && m_packedSize == size)
        return;
    const size_t full = YuvPack::rawFrameBytes(m_format, size.width(), size.height());
    m_packed.resize(int(full));
    m_packed.squeeze(); // a smaller size keeps no larger buffer
    auto* dst = reinterpret_cast<uint8_t*>(m_packed.data());
    if (m_format == 22)
        YuvPack::bgrToNv12(img, dst);
    else
        YuvPack::bgrToYuyv(img, dst);
    m_packedGen = m_processedGen;
    m_packedFormat = m_format;
    m_packedSize = size;
}

// As a camera's DMA fills a buffer the driver no longer lends out: a raw
// frame goes into a kept buffer that nobody else holds; one that held a frame
// of the same picture only has its moving mark moved, any other is filled
// from the packed picture. A buffer still held is never written.
bool SimUsbCamera::produceShared(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) {
    const cv::Mat& img = processed();
    const int phase = m_mark ? int(m_lastFrame % kPhases) : 0;
    const QSize size = m_size;
    if (m_format == 15) {
        const QByteArray jpeg = jpegFrame(img, phase);
        if (jpeg.isEmpty() || size_t(jpeg.size()) > capacity)
            return false;
        frame = jpeg; // the cached picture itself: nobody writes it again
        bytes = jpeg.size();
    } else {
        const size_t full = YuvPack::rawFrameBytes(m_format, size.width(), size.height());
        const size_t need = m_wrongSize ? full - size_t(size.width()) : full;
        if (need == 0 || need > capacity)
            return false;
        pack(img, size);
        if (need != full) {
            frame = QByteArray(m_packed.constData(), int(need));
        } else {
            // Buffers of another size that nobody holds would be made again
            // before use: they go now. Kept, a 4K run's buffers stayed after
            // the camera went back to a smaller size, 100 MB and more.
            m_rawBuffers.erase(std::remove_if(m_rawBuffers.begin(), m_rawBuffers.end(),
                                              [&](const RawBuffer& b) {
                                                  return b.data.size() != int(full) && isSoleHolder(b.data);
                                              }),
                               m_rawBuffers.end());
            RawBuffer* slot = nullptr;
            for (RawBuffer& b : m_rawBuffers)
                if (isSoleHolder(b.data)) {
                    slot = &b;
                    break;
                }
            if (!slot) {
                if (m_rawBuffers.size() >= kRawBuffers)
                    m_rawBuffers.erase(m_rawBuffers.begin()); // the oldest is freed once its holders let go
                m_rawBuffers.push_back(RawBuffer());
                slot = &m_rawBuffers.back();
            }
            auto* dst = reinterpret_cast<uint8_t*>(slot->data.data());
            const auto* packed = reinterpret_cast<const uint8_t*>(m_packed.constData());
            if (slot->gen == m_packedGen && slot->format == m_format && slot->size == size &&
                slot->data.size() == int(full)) {
                if (slot->phase >= 0)
                    drawMarkRaw(dst, m_format, size, slot->phase, packed);
            } else {
                // A buffer of the frame's size is filled again, not made anew.
                if (slot->data.size() == int(full))
                    std::memcpy(dst, packed, full);
                else
                    slot->data = QByteArray(m_packed.constData(), int(full));
                dst = reinterpret_cast<uint8_t*>(slot->data.data());
                slot->gen = m_packedGen;
                slot->format = m_format;
                slot->size = size;
            }
            slot->phase = m_mark ? phase : -1;
            if (m_mark)
                drawMarkRaw(dst, m_format, size, phase);
            frame = slot->data;
        }
        bytes = int(need);
    }
    width = size.width();
    height = size.height();
    ++m_delivered;
    return true;
}

// Paces the frames: false when no frame is due within the timeout (the lock
// is held again on return either way).
bool SimUsbCamera::awaitFrame(std::unique_lock<std::mutex>& lock, int timeoutMs) {
    if (!m_plugged || m_handles == 0)
        return false;
    const int timeout = timeoutMs >= 0 ? timeoutMs : std::max(1, m_options.timeoutMs);
    if (m_stalled || m_size.isEmpty()) {
        lock.unlock();
        if (timeout > 0)
            SleepClock::sleepMs(timeout);
        lock.lock();
        return false;
    }
    int64_t k = m_lastFrame + 1;
    double lateMs = 0;
    if (m_fps > 0.0) {
        const double period = 1000.0 / m_fps;
        uint64_t now = SleepClock::ticksMs();
        if (!m_streaming) {
            m_streaming = true;
            m_streamStart = now;
            m_lastFrame = -1;
            k = 0;
        }
        const double due = double(m_streamStart) + double(k) * period;
        if (double(now) < due) {
            const int wait = int(std::ceil(due - double(now)));
            if (timeout == 0)
                return false; // a poll: the frame is not there yet
            lock.unlock();
            SleepClock::sleepMs(std::min(wait, timeout));
            lock.lock();
            if (wait > timeout || !m_plugged || m_handles == 0 || !m_streaming)
                return false;
            now = SleepClock::ticksMs();
        }
        // A late reader gets the oldest frame the driver's buffers still
        // hold; the ones before it are dropped.
        const int64_t newest = int64_t((double(now) - double(m_streamStart)) / period);
        const int64_t oldestHeld = newest - (m_driverBuffers - 1);
        if (oldestHeld > k) {
            m_missed += uint64_t(oldestHeld - k);
            k = oldestHeld;
        }
        lateMs = std::max(0.0, double(now) - (double(m_streamStart) + double(k) * period));
    }
    m_lastFrame = k;
    m_lastFrameDueMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count() -
        lateMs;
    return true;
}

bool SimUsbCamera::takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height,
                             int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    QByteArray out;
    if (!awaitFrame(lock, timeoutMs) || !producedWithinMemory(out, capacity, bytes, width, height))
        return false;
    frame = std::move(out);
    return true;
}

// A picture, its packing or a buffer for it that the system refuses memory
// for fails that read as a camera that sends nothing in time does: the
// reader drops the frame and lives on. The half-made picture is dropped, so
// the next read draws it again.
bool SimUsbCamera::producedWithinMemory(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) {
    bool produced = false;
    if (MemoryRefusal::within([&] { produced = produceShared(frame, capacity, bytes, width, height); }))
        return produced;
    m_base.release();
    m_processed.release();
    ++m_processedGen;
    return false;
}

bool SimUsbCamera::waitFrame(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const int timeout = std::max(0, timeoutMs);
    if (!m_plugged || m_handles == 0 || m_stalled || m_size.isEmpty()) {
        lock.unlock();
        if (timeout > 0)
            SleepClock::sleepMs(timeout);
        return false;
    }
    if (m_fps <= 0.0 || !m_streaming)
        return true;
    const double due = double(m_streamStart) + double(m_lastFrame + 1) * (1000.0 / m_fps);
    const uint64_t now = SleepClock::ticksMs();
    if (double(now) >= due)
        return true;
    const int wait = int(std::ceil(due - double(now)));
    lock.unlock();
    if (timeout > 0)
        SleepClock::sleepMs(std::min(wait, timeout));
    return wait <= timeout;
}

// ---- SimCaptureDevice ----

SimCaptureDevice::SimCaptureDevice(std::shared_ptr<SimUsbCamera> camera) : m_camera(std::move(camera)) {}

SimCaptureDevice::~SimCaptureDevice() { release(); }

bool SimCaptureDevice::open(int index, int backend) {
    Q_UNUSED(backend)
    release();
    if (!m_camera) {
        const auto plugged = SimUsbBus::instance()->pluggedCameras();
        if (index < 0 || index >= plugged.size())
            return false;
        m_camera = plugged[index];
    }
    m_open = m_camera->open();
    m_missedAtOpen = m_camera->framesMissed();
    return m_open;
}

void SimCaptureDevice::release() {
    if (m_open && m_camera)
        m_camera->close();
    m_open = false;
}

bool SimCaptureDevice::set(int prop, double value) { return m_open && m_camera->set(prop, value); }

double SimCaptureDevice::get(int prop) { return m_open ? m_camera->get(prop) : 0.0; }

bool SimCaptureDevice::readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) {
    return m_open && copyTakenFrame(buf, capacity, bytes, width, height);
}

bool SimCaptureDevice::takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) {
    return m_open && m_camera->takeFrame(frame, capacity, bytes, width, height, m_readTimeout);
}

bool SimCaptureDevice::selectPixelFormat(int pixelFormat) {
    return m_open && m_camera->selectPixelFormat(pixelFormat);
}

// ---- SimUsbBus ----

SimUsbBus* SimUsbBus::instance() {
    static SimUsbBus* bus = [] {
        auto* b = new SimUsbBus();
        b->configure(QString::fromUtf8(qgetenv("SEVRIN_SIM_USB")));
        return b;
    }();
    return bus;
}

void SimUsbBus::configure(const QString& spec) {
    QList<std::shared_ptr<SimUsbCamera>> cameras;
    QMap<int, int> seen;
    for (const QString& entry : spec.split(',', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.trimmed().split(':');
        bool ok = false;
        const int code = parts.value(0).toInt(&ok);
        const SimUsbModel model = SimUsbModel::forCode(code);
        if (!ok || model.code == 0) {
            qWarning("SEVRIN_SIM_USB: unknown camera code \"%s\"", qPrintable(parts.value(0)));
            continue;
        }
        SimUsbOptions opt;
        for (int i = 1; i < parts.size(); ++i) {
            const QString key = parts[i].section('=', 0, 0).trimmed();
            const QString value = parts[i].section('=', 1).trimmed();
            if (key == "fw")
                opt.firmware = std::clamp(value.toInt(), 0, 255);
            else if (key == "id")
                opt.identification = std::clamp(value.toInt(), 0, 255);
            else if (key == "fps")
                opt.fps = std::max(0.0, value.toDouble());
            else if (key == "jpeg")
                opt.jpeg422 = value == "422";
            else if (key == "fail")
                opt.failOpen = value == "open";
            else if (key == "timeout")
                opt.timeoutMs = std::max(1, value.toInt());
            else if (key == "tilt")
                opt.tilt = value.toDouble();
            else if (key == "sweep")
                opt.sweep = std::max(0.0, value.toDouble());
            else if (key == "cut")
                opt.cutJpegs = std::max(0, value.toInt());
            else
                qWarning("SEVRIN_SIM_USB: unknown option \"%s\"", qPrintable(parts[i]));
        }
        const int n = ++seen[code];
        const QString product = n == 1 ? QString("Simulated %1").arg(model.token)
                                       : QString("Simulated %1 %2").arg(model.token).arg(n);
        cameras.append(std::make_shared<SimUsbCamera>(model, opt,
                                                      usbDeviceName(product, model.vendorId, model.productId)));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameras = cameras;
}

QList<std::shared_ptr<SimUsbCamera>> SimUsbBus::cameras() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cameras;
}

QList<std::shared_ptr<SimUsbCamera>> SimUsbBus::pluggedCameras() const {
    QList<std::shared_ptr<SimUsbCamera>> out;
    for (const auto& c : cameras())
        if (c->isPlugged())
            out.append(c);
    return out;
}

std::shared_ptr<SimUsbCamera> SimUsbBus::cameraNamed(const QString& name) const {
    for (const auto& c : cameras())
        if (c->name() == name)
            return c;
    return nullptr;
}

bool SimUsbBus::unplug(const QString& name) {
    const auto c = cameraNamed(name);
    if (!c || !c->isPlugged())
        return false;
    c->setPlugged(false);
    emit removed(name);
    return true;
}

bool SimUsbBus::plug(const QString& name) {
    const auto c = cameraNamed(name);
    if (!c || c->isPlugged())
        return false;
    c->setPlugged(true);
    emit arrived(name);
    return true;
}

void SimUsbBus::applyUnpluggedList(const QStringList& entries) {
    const auto all = cameras();
    for (int i = 0; i < all.size(); ++i) {
        const QString name = all[i]->name();
        // The camera list's name: the model's token, numbered "(1)", "(2)"...
        // from the second camera of the same model on.
        int earlier = 0;
        for (int j = 0; j < i; ++j)
            earlier += all[j]->model().code == all[i]->model().code ? 1 : 0;
        const QString shown = all[i]->model().token + (earlier > 0 ? QString("(%1)").arg(earlier) : QString());
        bool listed = false;
        for (const QString& e : entries) {
            const QString entry = e.trimmed();
            listed = listed || entry == QString::number(i + 1) || entry == name || entry == shown;
        }
        if (listed)
            unplug(name);
        else
            plug(name);
    }
}

void SimUsbBus::noteStitchingFrame() { m_stitchingFrameMs = steadyMs(); }

qint64 SimUsbBus::sinceStitchingFrame() const {
    const qint64 at = m_stitchingFrameMs;
    return at < 0 ? -1 : steadyMs() - at;
}
