#include "camera/UVCCamera_Sorrin.h"

#include "platform/UvcRegisters.h"

UVCCamera_Sorrin::UVCCamera_Sorrin(QObject* parent)
    : UVCRegisterCamera({QSize(3840, 2160), true, QSize()}, parent) {
    setRanges({{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 20}, {0, 254}});
    setSwitches({1, 1, 0, 0, 1});
}

bool UVCCamera_Sorrin::probe() {
    const int ident = probeCommon();
    m_longExposure = m_firmware >= 4;
    if (m_firmware >= 5)
        addSwitch(CtlCameraMode);
    if (m_firmware >= 9)
        addSwitch(CtlPurple);
    if (m_firmware >= 10)
        widenSharpness();
    return ident == 100 || ident == 101;
}

void UVCCamera_Sorrin::syncModeKeys(int type) {
    if (type >= 0)
        setControlValue(CtlExposureType, type != 0 ? 1 : 0);
    if (m_firmware >= 5) {
        const int mode = m_channel.read(UvcReg::CameraMode);
        if (mode >= 0)
            setControlValue(CtlCameraMode, m_firmware >= 11 ? mode : (mode != 0 ? 2 : 0));
    }
    if (m_firmware >= 9)
        setControlValue(CtlPurple, m_channel.read(UvcReg::Purple));
}

bool UVCCamera_Sorrin::resetParams() {
    if (m_firmware >= 5)
        return UVCRegisterCamera::resetParams();
    // Old firmware has no reset command: the defaults are shown instead, by
    // the camera mode the camera is in.
    const bool modeSet = m_channel.read(UvcReg::CameraMode) != 0;
    const int values[10] = {16630, 64, 0, 610, 256, 358, 90, modeSet ? 114 : 125, modeSet ? 20 : 14,
                            modeSet ? 190 : 200};
    for (int key = 0; key < 10; ++key)
        setControlValue(key, values[key]);
    for (int key = CtlMirror; key <= CtlExposureType; ++key)
        setControlValue(key, 0);
    return true;
}

bool UVCCamera_Sorrin::prepareRecordSettings() { return fillRecordSettings(3, 3, 2, 20, QSize(1920, 1080)); }
