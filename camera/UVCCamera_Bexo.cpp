#include "camera/UVCCamera_Bexo.h"

UVCCamera_Bexo::UVCCamera_Bexo(QObject* parent)
    : UVCLargeFrameCamera({QSize(4000, 3000), QSize(3000, 2500), 16531, 49600, QSize(2000, 1500), 10, 10, 2, 3},
                          parent) {
    setSwitches({1, 1, 1, 0, 1, 1, 1});
}
