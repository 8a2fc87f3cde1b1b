#pragma once

#include "camera/UVCRegisterCamera.h"

// USB model of device code 6: MJPG, 4K with fast mode; its reads and its
// exposure writes are bracketed by a tunnel on capture property 33 (-1 opens
// an exchange, 1 closes it). From firmware 12 on it has exposure type, camera
// mode and purple fringe, a reset command and long exposures in 100 us.
class UVCCamera_Pellam : public UVCRegisterCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Pellam(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Pellam"; }
    bool supportFastMode() const override { return true; }
    bool supportComposite() const override { return true; }
    int maxDecodeThreads() const override { return 8; }
    bool newFirmware() const { return m_newFirmware; }

    // MJPG whatever format is asked; size by ./OtherSet.ini "Resolution".
    bool open(int index);
    bool open(int index, int pixelFormat) override;
    // Reads FE, 09, FC with a second's pause after each of the first two.
    bool probe() override;
    void syncParams() override;
    void refreshParams() override;
    void readRGBGain() override;
    QString exposureText(int sliderValue, bool longExposure, bool apply) override;
    bool resetParams() override;

protected:
    bool longUnitsOf100() const override { return m_newFirmware; }
    bool cameraModeWritable() const override { return m_newFirmware; }
    void syncModeKeys(int type) override;

private:
    // One exchange of the tunnel: opened on construction, closed on
    // destruction, so no path leaves it open.
    class Exchange {
    public:
        explicit Exchange(UVCCamera_Pellam* camera);
        ~Exchange();

    private:
        UVCCamera_Pellam* m_camera;
    };
    bool m_newFirmware = false;
};
