#pragma once

#include "camera/UVCCamera.h"

// USB model of device codes 1 and 2: the generic camera, driven through the
// standard properties by UVCCamera's own operations; MJPG at 1920 x 1080; the
// exposure slider is the exposure in microseconds (133 to 33329).
class UVCCamera_Yselt : public UVCCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Yselt(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Yselt"; }
    // Always MJPG at 1920 x 1080, whatever format is asked.
    bool open(int index, int pixelFormat = PixFmtMJPG) override;
    void setResolution(int index) override;
    void setExposureRange(QSlider* slider, bool longExposure) override;
    QString exposureText(int sliderValue, bool longExposure, bool apply) override;
    int exposureToSlider(int cameraValue, bool longExposure) override;
};
