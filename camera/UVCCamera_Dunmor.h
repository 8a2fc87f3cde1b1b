#pragma once

#include "camera/UVCLargeFrameCamera.h"

// USB model of device code 8: one 4096 x 3072 size, NV12.
class UVCCamera_Dunmor : public UVCLargeFrameCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Dunmor(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Dunmor"; }
};
