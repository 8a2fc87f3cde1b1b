#include "measure/shapes/CLC2CNear.h"

CLC2CNear::CLC2CNear() {
    kind = KindC2CNear;
    name = QStringLiteral("L");
}
