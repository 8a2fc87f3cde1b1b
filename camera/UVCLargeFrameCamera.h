#pragma once

#include "camera/UVCRegisterCamera.h"

// The large-frame register models (one 4:3 or near-square size, no fast
// mode): composite imaging and camera modes, a short exposure slider and
// clamp of their own, recordings scaled down to `recordOut`.
class UVCLargeFrameCamera : public UVCRegisterCamera {
    Q_OBJECT
public:
    struct Traits {
        QSize full;
        QSize preview;
        int exposureMax;  // key 0 and the short slider
        int shortClamp;   // of exposureToSlider
        QSize recordOut;
        int nv12Fps;      // recording rate by format
        int mjpgFps;
        int nv12Keep;
        int mjpgKeep;
    };
    UVCLargeFrameCamera(const Traits& traits, QObject* parent);
    bool supportComposite() const override { return true; }
    bool isWideFrame() const override { return false; }
    bool supportCameraMode() const override { return true; }

protected:
    int shortSliderMax() const override { return m_traits.exposureMax; }
    int shortClamp() const override { return m_traits.shortClamp; }
    bool prepareRecordSettings() override;

private:
    Traits m_traits;
};
