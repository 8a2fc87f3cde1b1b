#include "measure/shapes/CCLP2CFar.h"

CCLP2CFar::CCLP2CFar() {
    kind = KindP2CFar;
    name = QStringLiteral("L");
}
