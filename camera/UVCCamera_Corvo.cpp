#include "camera/UVCCamera_Corvo.h"

UVCCamera_Corvo::UVCCamera_Corvo(QObject* parent) : UVCCamera_Sorrin(parent) {
    controls[CtlBlackWhite] = {1, 0}; // Corvo has black and white, Sorrin not
}
