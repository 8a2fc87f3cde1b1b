#include "camera/UVCCamera_Lutrava.h"

UVCCamera_Lutrava::UVCCamera_Lutrava(QObject* parent)
    : UVCLargeFrameCamera({QSize(2480, 2048), QSize(2100, 1800), 6531, 19600, QSize(1240, 1024), 15, 20, 3, 3},
                          parent) {
    setSwitches({1, 1, 1, 0, 0, 1, 1});
}

float UVCCamera_Lutrava::frameRate() {
    const float measured = UVCCamera::frameRate();
    if (measured <= 45.0f)
        return measured;
    setFrameRateValue(45.0f);
    return 45.0f;
}
