#pragma once

#include "camera/UVCLargeFrameCamera.h"

// USB model of device code 11: one 4000 x 3000 size, NV12 or MJPG.
class UVCCamera_Bexo : public UVCLargeFrameCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Bexo(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Bexo"; }
};
