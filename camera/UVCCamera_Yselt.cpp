#include "camera/UVCCamera_Yselt.h"

#include "platform/CaptureDevice.h"

#include <QSlider>

#include <cstdlib>

UVCCamera_Yselt::UVCCamera_Yselt(QObject* parent) : UVCCamera(parent) {
    controls[CtlExposure] = {133, 33329, 0};
    controls[CtlTarget] = {80, 1200, 0};
    controls[CtlGain] = {0, 80, 0};
    controls[CtlRedGain] = {0, 1023, 0};
    controls[CtlGreenGain] = {0, 1023, 0};
    controls[CtlBlueGain] = {0, 1023, 0};
    controls[CtlSaturation] = {0, 100, 0};
    controls[CtlContrast] = {0, 100, 0};
    controls[CtlSharpness] = {0, 127, 0};
    controls[CtlHDR] = {0, 255, 0};
    for (int key = CtlMirror; key <= CtlExposureType; ++key)
        controls[key] = {0, 0};
    setRecordSettings(mjpgRecording(15, 2));
}

bool UVCCamera_Yselt::open(int index, int pixelFormat) {
    Q_UNUSED(pixelFormat)
    if (!openCapture(index))
        return false;
    selectFormat(PixFmtMJPG);
    capture()->set(CaptureProp::FourCC, fourccForPixelFormat(PixFmtMJPG));
    applyCaptureSize(QSize(1920, 1080), 1);
    return true;
}

void UVCCamera_Yselt::setResolution(int index) {
    m_frameWidth = 1920;
    m_frameHeight = 1080;
    UVCCamera::setResolution(index);
}

void UVCCamera_Yselt::setExposureRange(QSlider* slider, bool longExposure) {
    Q_UNUSED(longExposure)
    if (slider)
        slider->setRange(133, 33329);
}

QString UVCCamera_Yselt::exposureText(int sliderValue, bool longExposure, bool apply) {
    Q_UNUSED(longExposure)
    if (apply && capture())
        capture()->set(CaptureProp::Brightness, sliderValue);
    return QString::number(sliderValue) + "us";
}

int UVCCamera_Yselt::exposureToSlider(int cameraValue, bool longExposure) {
    Q_UNUSED(longExposure)
    return std::abs(cameraValue);
}
