#include "measure/shapes/ShapeRegistration.h"

#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CCLCircle.h"
#include "measure/shapes/CCLCircle_M.h"
#include "measure/shapes/CLArc.h"
#include "measure/shapes/CLP2P.h"
#include "measure/shapes/CLR2R.h"

void RegisterMeasureShapes() {
    ShapeRegistry::registerKind(KindP2P, ShapeRegistry::factoryOf<CLP2P>());
    ShapeRegistry::registerKind(KindCircle, ShapeRegistry::factoryOf<CCLCircle>());
    ShapeRegistry::registerKind(KindCircleM, ShapeRegistry::factoryOf<CCLCircle_M>());
    ShapeRegistry::registerKind(KindR2R, ShapeRegistry::factoryOf<CLR2R>());
    ShapeFactory arc = ShapeRegistry::factoryOf<CLArc>();
    arc.collectLabelRect = [](CCLBaseObject* shape, QList<QRect>& rects) {
        static_cast<CLArc*>(shape)->CollectLabelRect(rects);
    };
    ShapeRegistry::registerKind(KindArc, arc);
}
