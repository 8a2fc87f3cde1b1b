#include "measure/shapes/CCLP2CNear.h"

CCLP2CNear::CCLP2CNear() {
    kind = KindP2CNear;
    name = QStringLiteral("L");
}
