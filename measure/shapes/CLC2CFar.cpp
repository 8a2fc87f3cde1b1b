#include "measure/shapes/CLC2CFar.h"

CLC2CFar::CLC2CFar() {
    kind = KindC2CFar;
    name = QStringLiteral("L");
}
