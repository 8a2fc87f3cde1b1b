#pragma once

#include "camera/UVCLargeFrameCamera.h"

// USB model of device code 7: one 2480 x 2048 size, NV12; its reported frame
// rate is capped at 45.
class UVCCamera_Lutrava : public UVCLargeFrameCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Lutrava(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Lutrava"; }
    float frameRate() override;
};
