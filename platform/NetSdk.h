#pragma once

#include "platform/WFSdk.h"

#include <QString>

#include <memory>

// The backend behind the WF_* functions (platform/WFSdk.h): one abstract
// class, so that the camera driver only ever sees the WF_* calls and tests
// can put a simulator with other cameras or fault switches in place.
// Results, threads and buffer ownership are those stated in WFSdk.h.
class NetSdk {
public:
    // The value-setting calls, one code each.
    enum Setting : int {
        SetExposure,
        SetBestAe,
        SetGainA,
        SetGainR,
        SetGainG,
        SetGainB,
        SetSaturation,
        SetContrast,
        SetSharpness,
        SetHDR,
        SetHFlip,
        SetVFlip,
        SetBWMode,
        SetTemperature,
        Set3DNR,
        SetDoAE,
        SetDoAWB,
    };

    virtual ~NetSdk() = default;

    virtual int broadcast() = 0;
    virtual int broadcastResult(int* count, uint32_t* ips) = 0;
    virtual int broadcastResultType(int index, int* type) = 0;
    virtual int initRes(int cameras, int buffers) = 0;
    virtual int uninitRes() = 0;
    virtual int initCamera(int n, int index, uint32_t ip, int port) = 0;
    virtual int setFrameCallback(int n, WF_FrameCallBack callback, void* user) = 0;
    virtual int setResolution(int n, int index) = 0;
    virtual int liveStart(int n) = 0;
    virtual int liveStop(int n) = 0;
    virtual int frameRate(int n, float* fps) = 0;
    virtual int set(int n, Setting setting, int value) = 0;
    virtual int getParam(int n, int* idValue) = 0;
    virtual int getAllParam(int n, int* block) = 0;
    virtual int frameToImage(int n, const QString& path, int format) = 0;
    virtual int frameToCard(int n, const QString& path) = 0;
    virtual int receiveFile(int n, bool on, const QString& directory) = 0;

    // The installed backend; on first use the simulator configured by the
    // environment (NetSdkSim::fromEnvironment).
    static NetSdk* instance();
    // Replaces the backend and destroys the previous one (which stops its
    // cameras). For tests and start-up only: no WF_* call may be running on
    // another thread except the previous backend's own frame callbacks.
    static void install(std::unique_ptr<NetSdk> sdk);

    static const char* settingName(Setting setting);
    // Dotted text of an address value (lowest byte first) and back; false
    // when text is not four numbers 0..255 joined by dots.
    static QString addressText(uint32_t ip);
    static bool addressValue(const QString& text, uint32_t* ip);
};
