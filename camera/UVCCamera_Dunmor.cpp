#include "camera/UVCCamera_Dunmor.h"

UVCCamera_Dunmor::UVCCamera_Dunmor(QObject* parent)
    : UVCLargeFrameCamera({QSize(4096, 3072), QSize(3000, 2500), 16531, 49600, QSize(2048, 1536), 10, 10, 2, 3},
                          parent) {
    setSwitches({1, 1, 1, 0, 1, 1, 1});
}
