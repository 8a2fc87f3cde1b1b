#include "measure/shapes/CCLL2CNear.h"

CCLL2CNear::CCLL2CNear() {
    kind = KindL2CNear;
    name = QStringLiteral("L");
}
