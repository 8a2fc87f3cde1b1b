#include "camera/UVCCamera_Tirsa.h"

UVCCamera_Tirsa::UVCCamera_Tirsa(QObject* parent)
    : UVCRegisterCamera({QSize(3840, 2160), true, QSize()}, parent) {
    setRanges({{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 254}, {0, 254}});
    setSwitches({1, 1, 1, 0, 0, 0, 0});
    setRecordSettings(mjpgRecording(20, 3));
}
