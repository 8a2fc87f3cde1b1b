#pragma once

#include "camera/UVCRegisterCamera.h"

// USB model of device code 4: 4K with fast mode; purple fringe from firmware
// 4, wide sharpness from 6, camera mode from 7.
class UVCCamera_Quillet : public UVCRegisterCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Quillet(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Quillet"; }
    bool supportFastMode() const override { return true; }
    bool supportComposite() const override { return true; }
    bool supportCameraMode() const override { return m_firmware >= 7; }
    bool probe() override;

protected:
    void syncModeKeys(int type) override;
    bool prepareRecordSettings() override;
};
