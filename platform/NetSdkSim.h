#pragma once

#include "platform/NetSdk.h"

#include <QList>
#include <QSize>
#include <QStringList>

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Simulated network cameras behind the WF_* calls. Nothing goes on a network.
//
// Configuration: SEVRIN_SIM_NET = comma-separated "TYPE@IPV4[:fps=N]", in the
// order the broadcast reports them (TYPE is reported as given, also outside
// 0..8; fps overrides the model's rate, 1..1000). Fault switches:
// SEVRIN_SIM_NET_FAIL = comma-separated "initres" (WF_InitRes fails),
// "initcamera" (every WF_InitCameraSingle fails) and "card" (no picture can be
// taken onto a camera's card).
//
// Per camera number (0..3) once connected: a frame thread that calls the frame
// callback with BGR frames of the current resolution at the model's rate, a
// parameter store, a card of pictures (WF_GetFrameFromCamera and the camera's
// own shutter) delivered into the receive folder while receiving is on.
//
// Frame size by type and resolution index: types 0..7: 0 and 1 give
// 1920x1080, 2 gives 3840x2160; type 8: 0 gives 3840x2160, 1 gives 1920x1080;
// other types: 1920x1080 at index 0 only.
//
// Type groups: types 0, 7 and 8 take WF_SetTemperature as their black-and-
// white switch and WF_SetBWMode as their exposure type (long/short); the
// other types take WF_SetBWMode as black-and-white.
//
// WF_GetAllParam block, ints: 0 exposure, 1 gain, 2 red gain, 3 blue gain,
// 4 contrast, 5 HDR, 6 sharpness, 7 saturation, 8 auto-exposure target,
// 9 mirror, 10 flip, then type 6: 11 black-and-white, 12 3D noise reduction;
// other types: 11 exposure type, 12 black-and-white. Ints 13.. are 0.
class NetSdkSim : public NetSdk {
public:
    struct CameraSpec {
        int type = 0;
        uint32_t ip = 0; // lowest byte = first octet
        int fps = 0;     // 0: the model's own rate
    };

    static constexpr int maxSessions = 4;

    // Bad entries are skipped; each adds a line to errors.
    static QList<CameraSpec> parseConfig(const QString& text, QStringList* errors = nullptr);
    static std::unique_ptr<NetSdkSim> fromEnvironment();
    static QSize frameSizeFor(int type, int resolutionIndex);
    static bool validResolution(int type, int resolutionIndex);
    static int modelFps(int type, int resolutionIndex);
    static bool temperatureIsBlackWhite(int type) { return type == 0 || type == 7 || type == 8; }

    explicit NetSdkSim(QList<CameraSpec> cameras);
    ~NetSdkSim() override;

    // ---- fault switches ----
    void setFailInitRes(bool fail);
    void setFailInitCamera(bool fail);
    // The camera cannot take a picture onto its card (a full card):
    // WF_GetFrameFromCamera answers -4.
    void setFailCard(bool fail);

    // ---- test controls and observation ----
    // Every call except WF_GetCameraFrameRate, as "WF_Name(args)"; the last 2000.
    QStringList callLog() const;
    void clearCallLog();
    bool initialised() const;
    bool isLive(int n) const;
    // Callbacks delivered for camera number n since it was connected.
    uint32_t framesDelivered(int n) const;
    // Waits until framesDelivered(n) >= count or timeoutMs passed.
    bool waitFrames(int n, uint32_t count, int timeoutMs) const;
    // The camera's own shutter button: a picture onto its card.
    void pressShutter(int n);
    QStringList cardFiles(int n) const;
    // Files written into the receive folder so far (full paths).
    QStringList receivedFiles(int n) const;

    // ---- NetSdk ----
    int broadcast() override;
    int broadcastResult(int* count, uint32_t* ips) override;
    int broadcastResultType(int index, int* type) override;
    int initRes(int cameras, int buffers) override;
    int uninitRes() override;
    int initCamera(int n, int index, uint32_t ip, int port) override;
    int setFrameCallback(int n, WF_FrameCallBack callback, void* user) override;
    int setResolution(int n, int index) override;
    int liveStart(int n) override;
    int liveStop(int n) override;
    int frameRate(int n, float* fps) override;
    int set(int n, Setting setting, int value) override;
    int getParam(int n, int* idValue) override;
    int getAllParam(int n, int* block) override;
    int frameToImage(int n, const QString& path, int format) override;
    int frameToCard(int n, const QString& path) override;
    int receiveFile(int n, bool on, const QString& directory) override;

private:
    enum Param : int {
        PExposure,
        PTarget,
        PGain,
        PGainR,
        PGainG,
        PGainB,
        PSaturation,
        PContrast,
        PSharpness,
        PHDR,
        PMirror,
        PFlip,
        PBlackWhite,
        P3DNR,
        PExposureType,
        PTemperature,
        PAutoExposure,
        ParamCount
    };
    struct CardPicture {
        QString name;
        QByteArray jpeg;
        bool delivered = false;
    };
    struct Session {
        // Guarded by m_mutex.
        bool connected = false;
        CameraSpec spec;
        int resolution = 0;
        std::array<int, ParamCount> params{};
        WF_FrameCallBack callback = nullptr;
        void* user = nullptr;
        uint32_t serial = 0;
        bool live = false;
        bool stop = false;
        bool receiving = false;
        QString receiveDir;
        QList<CardPicture> card;
        QStringList received;
        int shutterCount = 0;
        std::condition_variable wake;
        // Start and end of the frame thread: m_liveMutex.
        std::thread thread;
        std::thread::id threadId;
        // Held while a frame callback runs.
        std::mutex callbackMutex;
        std::atomic<uint32_t> delivered{0};
    };

    Session* session(int n); // null unless 0 <= n < maxSessions
    bool connectedLocked(int n) const;
    void log(const QString& call);
    void frameLoop(int n);
    void stopLive(int n);
    QByteArray encodeCurrent(int n, const char* ext);
    void deliverLocked(Session& s);
    static std::array<int, ParamCount> defaults(int type);

    const QList<CameraSpec> m_cameras;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_framesCv;
    std::mutex m_liveMutex;
    QList<CameraSpec> m_found; // the last broadcast's answer
    bool m_initialised = false;
    bool m_failInitRes = false;
    bool m_failInitCamera = false;
    bool m_failCard = false;
    QStringList m_log;
    std::array<std::unique_ptr<Session>, maxSessions> m_sessions;
};
