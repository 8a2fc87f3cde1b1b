#pragma once

#include "platform/CaptureDevice.h"
#include "platform/SimSpecimen.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QVector>

#include <chrono>
#include <deque>
#include <memory>
#include <atomic>
#include <mutex>
#include <vector>

#include <opencv2/core.hpp>

// One exchange on a simulated camera's property channel, for tests that read
// the exact words on the wire.
struct SimTraffic {
    enum Kind { Set, Get };
    Kind kind;
    int prop;
    double value; // the value set, or the answer of a get
    bool operator==(const SimTraffic& o) const { return kind == o.kind && prop == o.prop && value == o.value; }
};

// What a SEVRIN_SIM_USB entry configures: "CODE[:key=value...]".
struct SimUsbOptions {
    int firmware = -1;      // fw=N: register FC; -1 = the model's default
    int identification = -1; // id=N: register FE; -1 = the model's (100)
    double fps = 30.0;      // fps=N: frames per second; 0 = as fast as they are read
    bool jpeg422 = false;   // jpeg=422: JPEG frames with 4:2:2 chroma (else 4:2:0)
    bool failOpen = false;  // fail=open: the device cannot be opened
    int timeoutMs = 500;    // timeout=N: longest wait of a read
    double tilt = 0.0;      // tilt=T: depth slope along x (see setDepthTilt)
    double sweep = 0.0;     // sweep=S: the focus runs through the tilted depth range and back, S seconds each way
    int cutJpegs = 0;       // cut=N: the first N JPEG frames are cut inside their scan (a bad cable)
};

// Per-model constants of a simulated camera (device code 1-14).
struct SimUsbModel {
    int code = 0;
    QString token;     // the device panel's token ("Corvo")
    uint16_t vendorId = 0xfea9;
    uint16_t productId = 0;
    QSize sensor;      // full frame size
    bool registerChannel = true; // vendor registers on properties 11/32 (all but the generic model)
    int firmware = 0;  // default FC
    bool mirrorInverted = false; // picture mirrored while the mirror bit is clear
    // Camera units of property 12 in the long exposure type (x 100 us on most
    // models; plain microseconds on old firmware of some).
    int longExposureFactor(int firmware) const;
    static SimUsbModel forCode(int code); // code 0 when unknown
};

// A simulated USB camera: the register and selector bank, the standard
// properties, the frame source, the plug state and the traffic log.
// Thread-safe: the capture side (GUI thread) and tests may call at once.
class SimUsbCamera {
public:
    SimUsbCamera(const SimUsbModel& model, const SimUsbOptions& options, const QString& name);
    // Waits for a picture being drawn ahead (see m_ahead).
    ~SimUsbCamera();
    SimUsbCamera(const SimUsbCamera&) = delete;
    SimUsbCamera& operator=(const SimUsbCamera&) = delete;

    const SimUsbModel& model() const { return m_model; }
    QString name() const { return m_name; }
    const SimUsbOptions& options() const { return m_options; }
    bool isPlugged() const;
    // Times the camera was unplugged: a handle opened before the last one is
    // dead, as a device node is once its camera goes (plugged back, it is a
    // new device).
    int unplugs() const;

    // The stage: specimen position of the picture's top-left corner in
    // specimen units (one unit is one sensor pixel at full size), the focus
    // position in depth units, and the specimen's depth slope along x.
    void setStageOffset(const QPointF& units);
    // The offset the frames show now: the own stage, or where an outside
    // driver (SEVRIN_SIM_STAGE) put it.
    QPointF shownStageOffset() const;
    // The self-panning stage's offset after `travelled` units of its path:
    // rows of 1200 units, right then left, 400 units apart, four rows down and
    // back up (rows 0 1 2 3 2 1), then again.
    static QPointF panPosition(double travelled);
    void setFocus(double position);
    double focus() const;
    void setDepthTilt(double tilt);
    void setMovingMark(bool on);

    // Fault switches.
    void setWrongSizeFrames(bool on); // raw frames one row short, JPEG frames of half width
    void setStalled(bool on);         // no frames: every read waits out its timeout
    void truncateNextJpegs(int count); // the next `count` JPEG frames are cut inside their scan
    void setFramesPerSecond(double fps);
    // How many frames the driver holds for a reader that comes late (1: only
    // the newest, as the simulated USB stack hands them; a V4L2 driver keeps
    // the frames of all its buffers, 4 as OpenCV asks for them).
    void setDriverBuffers(int frames);

    // The traffic log (every set and get of an open handle, in order).
    QVector<SimTraffic> traffic() const;
    void clearTraffic();

    // The bank, as the camera holds it.
    int reg(int r) const;
    void setReg(int r, int value);
    int selector(int s) const;
    double property(int id) const;
    int pixelFormat() const;
    QSize frameSize() const;
    int framesDelivered() const;
    // Frames that were due while no read came and were never handed out (a
    // late reader gets the newest frame), since the camera was made.
    uint64_t framesMissed() const;
    // When the last frame read was due, on the steady clock in ms: what a
    // driver stamps a buffer with, however late the buffer is read.
    double lastFrameDueMs() const;
    // Frames per second it sends (0: as fast as they are read).
    double framesPerSecond() const;
    // Specimen pictures drawn inside a read, on the reader's thread (for tests).
    int readerRenders() const;
    // JPEG frames coded whole (not only the rows of the moving mark), for tests.
    int wholeJpegs() const;

    // What the next frame shows (BGR, before packing), for tests.
    cv::Mat currentPicture();

    // The device side of a capture handle (SimCaptureDevice).
    bool open();
    void close();
    bool set(int prop, double value);
    double get(int prop);
    bool selectPixelFormat(int code);
    // The next frame handed over in a shared buffer that the camera never
    // writes while anyone else holds it (CaptureDevice::takeFrame); `frame`
    // is unchanged when none came. timeoutMs: the longest wait; negative
    // takes the camera's own (timeout=N).
    bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height, int timeoutMs = -1);
    // Sleeps until the next frame is due, at most timeoutMs; true when a read
    // now finds one (always for a free-running or not yet streaming camera).
    bool waitFrame(int timeoutMs);

    // Plug state; SimUsbBus::plug/unplug also tell the device watcher.
    void setPlugged(bool on);

private:
    struct Effects {
        bool mirror = false, flip = false, mono = false;
        double brightness = 1.0, contrast = 1.0, saturation = 1.0;
        double red = 1.0, green = 1.0, blue = 1.0;
        bool operator==(const Effects& o) const;
    };
    void resetBank();
    void log(SimTraffic::Kind kind, int prop, double value);
    void writeRegister(int r, int v);
    Effects effects() const;
    SimSpecimen::View view() const;
    const cv::Mat& processed();
    // Sweep: takes the picture drawn ahead when it shows `v` but for the
    // focus, and has the next one drawn for `v`. False while none is ready.
    bool takeDrawnAhead(const SimSpecimen::View& v);
    // Where the mark of `phase` lies in a BGR picture of `size`.
    cv::Rect markBgr(cv::Size size, int phase) const;
    // Draws the mark of `phase` into a raw frame, or with `unmarked` (the
    // packed picture) puts back what lies under it.
    void drawMarkRaw(uint8_t* frame, int format, QSize size, int phase, const uint8_t* unmarked = nullptr) const;
    bool awaitFrame(std::unique_lock<std::mutex>& lock, int timeoutMs);
    QByteArray jpegFrame(const cv::Mat& img, int phase);
    void pack(const cv::Mat& img, QSize size);
    bool produceShared(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height);
    bool producedWithinMemory(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height);

    const SimUsbModel m_model;
    const SimUsbOptions m_options;
    const QString m_name;
    mutable std::mutex m_mutex;
    bool m_plugged = true;
    int m_unplugs = 0;
    bool m_failOpen = false;
    bool m_stalled = false;
    bool m_wrongSize = false;
    int m_truncateJpegs = 0;
    bool m_mark = true; // none on a sweeping camera unless asked for
    int m_handles = 0;
    double m_fps;

    int m_regs[256] = {};
    int m_selectors[16] = {};
    QMap<int, double> m_props;
    double m_answer11 = 0, m_answer32 = 0;
    int m_format;
    QSize m_size;

    QPointF m_stage;
    double m_focus = 0.0;
    double m_tilt = 0.0;
    std::chrono::steady_clock::time_point m_born = std::chrono::steady_clock::now();

    std::deque<SimTraffic> m_traffic;

    // Frame pacing (SleepClock milliseconds).
    uint64_t m_streamStart = 0;
    int64_t m_lastFrame = -1;
    double m_lastFrameDueMs = 0;
    bool m_streaming = false;
    int m_delivered = 0;
    uint64_t m_missed = 0;
    int m_driverBuffers = 1;

    // Caches: the specimen, the picture with the camera's effects, the packed frame.
    SimSpecimen::View m_baseView;
    cv::Mat m_base;
    int m_readerRenders = 0;
    // A sweeping camera's picture changes at every frame: as a sensor exposes
    // the next frame while the last is read out, the next picture is drawn
    // on a thread of its own, and a read only takes it (the reader may be
    // the interface thread, which must stay free). Not held under m_mutex.
    struct DrawnAhead;
    std::unique_ptr<DrawnAhead> m_ahead;
    Effects m_effects;
    cv::Mat m_processed;
    int m_processedGen = 0;
    int m_packedGen = -1, m_packedFormat = 0;
    QSize m_packedSize;
    QByteArray m_packed;
    // Raw frames handed out: each buffer, the packed picture it was filled
    // from and the mark phase drawn into it (-1 none).
    struct RawBuffer {
        QByteArray data;
        int gen = -1, format = 0, phase = -1;
        QSize size;
    };
    static constexpr size_t kRawBuffers = 8;
    std::vector<RawBuffer> m_rawBuffers;
    QVector<QByteArray> m_jpegPhases;
    QByteArray m_jpegWhole; // the picture without the mark
    int m_wholeJpegs = 0;
    int m_jpegGen = -1;
};

// A capture handle on a simulated camera.
class SimCaptureDevice : public CaptureDevice {
public:
    explicit SimCaptureDevice(std::shared_ptr<SimUsbCamera> camera = {});
    ~SimCaptureDevice() override;
    bool open(int index, int backend = PlatformBackend) override;
    bool isOpened() const override { return m_open; }
    void release() override;
    bool set(int prop, double value) override;
    double get(int prop) override;
    bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) override;
    bool takeFrame(QByteArray& frame, size_t capacity, int& bytes, int& width, int& height) override;
    bool selectPixelFormat(int pixelFormat) override;
    void setReadTimeout(int ms) override { m_readTimeout = ms; }
    bool waitFrame(int ms) override { return m_open && m_camera->waitFrame(ms); }
    double frameRate() override { return m_open ? m_camera->framesPerSecond() : 0.0; }
    uint64_t framesMissed() const override { return m_open ? m_camera->framesMissed() - m_missedAtOpen : 0; }
    SimUsbCamera* camera() const { return m_camera.get(); }

private:
    std::shared_ptr<SimUsbCamera> m_camera;
    bool m_open = false;
    uint64_t m_missedAtOpen = 0;
    int m_readTimeout = -1;
};

// The simulated USB cameras of the process, configured by SEVRIN_SIM_USB
// (a comma-separated list of CODE[:fw=N][:fps=N][:jpeg=422][:id=N][:fail=open]
// [:timeout=N][:tilt=T][:sweep=S][:cut=N]; the README's Cameras section explains each). Plugging and unplugging go through here so that the device
// watcher hears of them. GUI thread for configure; the rest any thread.
class SimUsbBus : public QObject {
    Q_OBJECT
public:
    static SimUsbBus* instance();
    // Replaces every simulated camera (tests); the environment is read once
    // when instance() is first called.
    void configure(const QString& spec);
    QList<std::shared_ptr<SimUsbCamera>> cameras() const;
    // Plugged cameras in configuration order (what the device list shows).
    QList<std::shared_ptr<SimUsbCamera>> pluggedCameras() const;
    std::shared_ptr<SimUsbCamera> cameraNamed(const QString& name) const;
    bool unplug(const QString& name);
    bool plug(const QString& name);
    // The plug control's list: the cameras it names are unplugged, the others
    // plugged back. An entry is a camera's position in SEVRIN_SIM_USB
    // (1 the first), the name the camera list shows ("Nesko", "Nesko(1)" for
    // the second of a model) or its device name; unknown entries are ignored.
    void applyUnpluggedList(const QStringList& entries);

    // Stitching takes a frame (any thread). With SEVRIN_SIM_STAGE=pan the
    // stage pans by itself while such frames keep coming.
    void noteStitchingFrame();
    // Milliseconds of the steady clock since the last stitching frame; -1 never.
    qint64 sinceStitchingFrame() const;

signals:
    void removed(const QString& name);
    void arrived(const QString& name);

private:
    SimUsbBus() = default;
    mutable std::mutex m_mutex;
    QList<std::shared_ptr<SimUsbCamera>> m_cameras;
    std::atomic<qint64> m_stitchingFrameMs{-1};
};
