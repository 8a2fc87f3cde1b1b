#include "camera/UVCCamera_Quillet.h"

#include "platform/UvcRegisters.h"

UVCCamera_Quillet::UVCCamera_Quillet(QObject* parent)
    : UVCRegisterCamera({QSize(3840, 2160), true, QSize()}, parent) {
    setRanges({{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 20}, {0, 254}});
    setSwitches({1, 1, 1, 0, 1, 1});
}

bool UVCCamera_Quillet::probe() {
    const int ident = probeCommon();
    if (m_firmware >= 4)
        addSwitch(CtlPurple);
    if (m_firmware >= 6)
        widenSharpness();
    return ident == 100;
}

void UVCCamera_Quillet::syncModeKeys(int type) {
    Q_UNUSED(type)
    setControlValue(CtlExposureType, m_channel.read(UvcReg::ExposureType));
    const int mode = m_channel.read(UvcReg::CameraMode);
    if (mode >= 0)
        setControlValue(CtlCameraMode, m_firmware >= 5 ? mode : (mode != 0 ? 2 : 0));
    if (m_firmware >= 4)
        setControlValue(CtlPurple, m_channel.read(UvcReg::Purple));
}

bool UVCCamera_Quillet::prepareRecordSettings() { return fillRecordSettings(3, 3, 2, 20, QSize(1920, 1080)); }
