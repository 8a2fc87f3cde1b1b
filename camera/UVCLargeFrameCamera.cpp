#include "camera/UVCLargeFrameCamera.h"

UVCLargeFrameCamera::UVCLargeFrameCamera(const Traits& traits, QObject* parent)
    : UVCRegisterCamera({traits.full, false, traits.preview}, parent), m_traits(traits) {
    setRanges({{0, traits.exposureMax}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254},
               {0, 254}, {0, 254}});
}

bool UVCLargeFrameCamera::prepareRecordSettings() {
    const int fps = m_pixelFormat == PixFmtMJPG ? m_traits.mjpgFps : m_traits.nv12Fps;
    return fillRecordSettings(m_traits.nv12Keep, m_traits.mjpgKeep, 0, fps, m_traits.recordOut);
}
