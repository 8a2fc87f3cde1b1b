#pragma once

#include "camera/UVCRegisterCamera.h"

#include <QRect>
#include <QStringList>

// USB model of device code 13: 4K with the lens functions (focus area and
// mode, digital zoom, lens steps, zoom keys, heating, auto-focus window) and
// video output modes that decide the capture size.
class UVCCamera_Ambrel : public UVCRegisterCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Ambrel(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Ambrel"; }
    // Asks the camera: no fast mode in output mode 1 (nor 3).
    bool supportFastMode() const override;
    bool supportCameraMode() const override { return m_firmware >= 5; }
    // Opens in the given format; the size comes from applyVideoOutMode.
    bool open(int index, int pixelFormat) override;
    // Identification 100; keeps the firmware, focus area and mode, heat state.
    bool probe() override;

    // Video output modes (register 1E).
    QStringList videoOutModes() const;
    int readVideoOutMode();
    void setVideoOutMode(int index);
    // Capture size by output mode: 1 and 3 give 1920 x 1080 (index 1), the
    // others 3840 x 2160 (index 0).
    void applyVideoOutMode(int mode);

    // Lens writes.
    void setFocusArea(int v);
    void setFocusMode(int v);
    void setDigitalZoom(int v);
    void setReg1C(int v);
    void setReg1D(int v);
    void lensStepAdd();
    void lensStepSub();
    void zoomBigStart();
    void zoomBigStop();
    void zoomSmallStart();
    void zoomSmallStop();
    void switchHeat();
    // Lens reads (each request preceded by 1 ms); the values are kept.
    void readFocusState();
    void readDigitalZoom();
    int readHeatState();
    int readReg1C();
    int readReg1D();
    int focusArea() const { return m_focusArea; }
    int focusMode() const { return m_focusMode; }
    int digitalZoom() const { return m_zoom; }
    int digitalZoom2() const { return m_zoom2; }
    int heatState() const { return m_heat; }

    // Auto-focus window in frame pixels (selectors 3-6; halved on the wire at
    // resolution index 0).
    void setAFWindow3(int x);
    void setAFWindow4(int y);
    void setAFWindow5(int width);
    void setAFWindow6(int height);
    QRect readAFWindow();

protected:
    int shortClamp() const override { return 19600; }
    bool prepareRecordSettings() override;

private:
    int lensRead(int reg);
    int toWire(int v) const { return m_resolutionIndex == 0 ? v / 2 : v; }
    int fromWire(int v) const { return m_resolutionIndex == 0 ? v * 2 : v; }
    int m_focusArea = 0;
    int m_focusMode = 0;
    int m_heat = 0;
    int m_zoom = 0;
    int m_zoom2 = 0;
    QRect m_af;
};
