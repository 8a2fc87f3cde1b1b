#include "measure/shapes/CCLL2CFar.h"

CCLL2CFar::CCLL2CFar() {
    kind = KindL2CFar;
    name = QStringLiteral("L");
}
