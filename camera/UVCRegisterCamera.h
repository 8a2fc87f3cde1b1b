#pragma once

#include "camera/UVCCamera.h"
#include "camera/UvcExposureScale.h"
#include "camera/UvcRegisterChannel.h"

// What the register-channel models share: the parameter operations over the
// vendor registers, the common full parameter read, the exposure scale, the
// probes' reads and the frame sizes of the 4K and large-frame families. The
// model classes fix their tables and override what differs through the
// hooks below. GUI thread.
class UVCRegisterCamera : public UVCCamera {
    Q_OBJECT
public:
    // Frame sizes: a 4K model has a fast mode at 1920 x 1080 (resolution
    // index 1); a large-frame model has one size and its own preview size.
    struct Sizes {
        QSize full;
        bool fastMode;
        QSize preview; // of the large-frame models
    };
    explicit UVCRegisterCamera(const Sizes& sizes, QObject* parent = nullptr);

    // True when the camera answers as one of ours (identification byte 100).
    // The default is the common probe (registers FE, 09, FC).
    virtual bool probe();
    int firmware() const { return m_firmware; }
    // "V%1.%2.%3.%4" from registers FD, FC, FB, FA (the About dialog).
    QString firmwareVersion() const { return m_channel.firmwareVersion(); }
    const UvcRegisterChannel& channel() const { return m_channel; }
    int horizontalMirrorState() const { return m_hMirror; }

    bool open(int index, int pixelFormat) override;
    QSize frameSize(bool full = true) const override;
    QSize previewSize() const override;
    void setResolution(int index) override;
    void doAWB() override;
    void setAE(bool on) override;
    void setHFlip(int on) override;
    void setVFlip(int on) override;
    void setBWMode(int on) override;
    void setRmPurple(int on) override;
    void setExposureType(int type) override;
    void setCameraMode(int mode) override;
    void setExposureRange(QSlider* slider, bool longExposure) override;
    void syncParams() override;
    void setParam(int key, int value) override;
    QString exposureText(int sliderValue, bool longExposure, bool apply) override;
    int exposureToSlider(int cameraValue, bool longExposure) override;
    bool resetParams() override;
    void readRGBGain() override;
    void refreshParams() override;
    bool isAEOn() const override { return m_aeOn; }

protected:
    void captureCreated() override { m_channel.setCapture(capture()); }
    // Hooks of the models.
    virtual bool mirrorInverted() const { return false; }        // Tirsa: the user's "on" clears the bit
    virtual int longSliderMax() const { return UvcExposureScale::LongSliderMax; }
    virtual int shortSliderMax() const { return 5541; }
    virtual int shortClamp() const { return 16630; }             // of exposureToSlider
    virtual bool longUnitsOf100() const { return true; }         // long exposure sent in 100 us units
    virtual bool cameraModeWritable() const { return true; }
    // The keys of exposure type, camera mode and purple fringe in the full
    // read; `type` is the exposure type read at its start.
    virtual void syncModeKeys(int type);

    // Pieces of the full read.
    void syncCore();          // everything but the hub signal
    // 0A, then the exposure in microseconds; -1 (and type -1) when the
    // camera gave no answer.
    int readExposureValue(int& type);
    void readAutoExposure();  // register 09 -> isAEOn; unchanged without an answer
    void readColourGains();   // selectors 0, 2, 1 -> keys 3, 4, 5
    void readMirror();        // register 07 -> the states and keys 10, 11
    // The common probe's reads; returns the identification byte.
    int probeCommon();
    void addSwitch(int key) { controls[key] = {1, 0}; }
    void widenSharpness() { controls[CtlSharpness] = {0, 254, 0}; }
    // The control map: keys 0-9 {min, max, 0}, switches {available, 0}.
    void setRanges(const QList<QPair<int, int>>& ranges);
    void setSwitches(const QList<int>& available, int firstKey = CtlMirror);
    // A large-frame or 4K recording setting by pixel format; false for a
    // format outside the model's table.
    bool fillRecordSettings(int nv12Keep, int mjpgKeep, int yuyvKeep, int fps, QSize out);

    UvcRegisterChannel m_channel;
    int m_hMirror = 0;
    int m_vMirror = 0;
    bool m_aeOn = false;
    int m_firmware = 0;

private:
    void writeMirror();
    Sizes m_sizes;
};
