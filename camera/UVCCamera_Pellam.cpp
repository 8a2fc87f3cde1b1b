#include "camera/UVCCamera_Pellam.h"

#include "app/hub/MessagePassing.h"
#include "platform/CaptureDevice.h"
#include "platform/SleepClock.h"
#include "platform/UvcRegisters.h"

UVCCamera_Pellam::Exchange::Exchange(UVCCamera_Pellam* camera) : m_camera(camera) {
    if (m_camera->capture())
        m_camera->capture()->set(CaptureProp::Pan, -1);
}

UVCCamera_Pellam::Exchange::~Exchange() {
    if (m_camera->capture())
        m_camera->capture()->set(CaptureProp::Pan, 1);
}

UVCCamera_Pellam::UVCCamera_Pellam(QObject* parent)
    : UVCRegisterCamera({QSize(3840, 2160), true, QSize()}, parent) {
    setRanges({{0, 5541}, {20, 200}, {0, 80}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 254}, {0, 254}, {0, 30}, {0, 254}});
    setSwitches({1, 1, 1, 0, 0});
    setRecordSettings(mjpgRecording(15, 2));
}

bool UVCCamera_Pellam::open(int index) { return open(index, PixFmtMJPG); }

bool UVCCamera_Pellam::open(int index, int pixelFormat) {
    Q_UNUSED(pixelFormat)
    if (!UVCRegisterCamera::open(index, PixFmtMJPG))
        return false;
    capture()->set(CaptureProp::FourCC, fourccForPixelFormat(PixFmtMJPG));
    return true;
}

bool UVCCamera_Pellam::probe() {
    const int ident = m_channel.read(UvcReg::Ident);
    SleepClock::sleepMs(1000);
    readAutoExposure();
    SleepClock::sleepMs(1000);
    m_firmware = m_channel.readFirmware();
    m_newFirmware = m_firmware >= 12;
    if (m_newFirmware) {
        addSwitch(CtlCameraMode);
        addSwitch(CtlExposureType);
        addSwitch(CtlPurple);
    }
    return ident == 100;
}

void UVCCamera_Pellam::syncModeKeys(int type) {
    if (type >= 0)
        setControlValue(CtlExposureType, type != 0 ? 1 : 0);
    if (!m_newFirmware)
        return;
    const int mode = m_channel.read(UvcReg::CameraMode);
    if (mode >= 0)
        setControlValue(CtlCameraMode, mode == 2 ? 2 : 0);
    setControlValue(CtlPurple, m_channel.read(UvcReg::Purple));
}

// The hub signals go out after the exchange is closed: the panels they wake
// may start exchanges of their own.
void UVCCamera_Pellam::syncParams() {
    {
        Exchange exchange(this);
        syncCore();
    }
    MessagePassing::instance()->initImgEffect();
}

void UVCCamera_Pellam::refreshParams() {
    {
        Exchange exchange(this);
        int type = 0;
        setControlValue(CtlExposure, readExposureValue(type));
    }
    MessagePassing::instance()->syncExposure();
}

void UVCCamera_Pellam::readRGBGain() {
    {
        Exchange exchange(this);
        readColourGains();
    }
    MessagePassing::instance()->syncRGBGain();
}

QString UVCCamera_Pellam::exposureText(int sliderValue, bool longExposure, bool apply) {
    if (!apply)
        return UVCRegisterCamera::exposureText(sliderValue, longExposure, false);
    Exchange exchange(this);
    return UVCRegisterCamera::exposureText(sliderValue, longExposure, true);
}

bool UVCCamera_Pellam::resetParams() {
    if (m_newFirmware)
        return UVCRegisterCamera::resetParams();
    // Old firmware has no reset command: the defaults are shown instead.
    const QList<QPair<int, int>> defaults{{0, 16630}, {1, 63}, {2, 0},   {6, 100}, {7, 100}, {8, 16},
                                          {9, 150},   {3, 583}, {4, 256}, {5, 462}};
    for (const auto& [key, value] : defaults)
        setControlValue(key, value);
    for (int key = CtlMirror; key <= CtlExposureType; ++key)
        setControlValue(key, 0);
    return true;
}
