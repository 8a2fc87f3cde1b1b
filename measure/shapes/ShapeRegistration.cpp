#include "measure/shapes/ShapeRegistration.h"

#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLP2P.h"

void RegisterMeasureShapes() {
    ShapeRegistry::registerKind(KindP2P, ShapeRegistry::factoryOf<CLP2P>());
}
