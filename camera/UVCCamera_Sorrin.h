#pragma once

#include "camera/UVCRegisterCamera.h"

// USB model of device code 14: 4K with fast mode, features gated by the
// firmware number read at the probe (long exposure from 4, camera mode from
// 5, purple fringe from 9, wide sharpness from 10, composite imaging from 6).
class UVCCamera_Sorrin : public UVCRegisterCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Sorrin(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Sorrin"; }
    bool isCompactPanel() const override { return true; }
    bool supportFastMode() const override { return true; }
    bool supportComposite() const override { return m_firmware >= 6; }
    bool supportCameraMode() const override { return m_firmware >= 20; }
    // Identification byte 100 or 101.
    bool probe() override;
    bool resetParams() override;
    bool longExposureFlag() const { return m_longExposure; }

protected:
    int longSliderMax() const override { return m_longExposure ? UvcExposureScale::LongSliderMax : 95; }
    bool longUnitsOf100() const override { return m_longExposure; }
    bool cameraModeWritable() const override { return m_firmware >= 5; }
    void syncModeKeys(int type) override;
    bool prepareRecordSettings() override;

private:
    bool m_longExposure = false;
};
