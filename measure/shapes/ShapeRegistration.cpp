#include "measure/shapes/ShapeRegistration.h"

#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CCLCircle.h"
#include "measure/shapes/CCLCircle_M.h"
#include "measure/shapes/CCLL2C.h"
#include "measure/shapes/CCLL2CFar.h"
#include "measure/shapes/CCLL2CNear.h"
#include "measure/shapes/CCLP2C.h"
#include "measure/shapes/CCLP2CFar.h"
#include "measure/shapes/CCLP2CNear.h"
#include "measure/shapes/CLArc.h"
#include "measure/shapes/CLC2C.h"
#include "measure/shapes/CLC2CFar.h"
#include "measure/shapes/CLC2CNear.h"
#include "measure/shapes/CLP2P.h"
#include "measure/shapes/CLR2R.h"

void RegisterMeasureShapes() {
    ShapeRegistry::registerKind(KindP2P, ShapeRegistry::factoryOf<CLP2P>());
    ShapeRegistry::registerKind(KindCircle, ShapeRegistry::factoryOf<CCLCircle>());
    ShapeRegistry::registerKind(KindCircleM, ShapeRegistry::factoryOf<CCLCircle_M>());
    ShapeRegistry::registerKind(KindR2R, ShapeRegistry::factoryOf<CLR2R>());
    ShapeRegistry::registerKind(KindP2C, ShapeRegistry::factoryOf<CCLP2C>());
    ShapeRegistry::registerKind(KindP2CNear, ShapeRegistry::factoryOf<CCLP2CNear>());
    ShapeRegistry::registerKind(KindP2CFar, ShapeRegistry::factoryOf<CCLP2CFar>());
    ShapeRegistry::registerKind(KindL2C, ShapeRegistry::factoryOf<CCLL2C>());
    ShapeRegistry::registerKind(KindL2CNear, ShapeRegistry::factoryOf<CCLL2CNear>());
    ShapeRegistry::registerKind(KindL2CFar, ShapeRegistry::factoryOf<CCLL2CFar>());
    ShapeRegistry::registerKind(KindC2C, ShapeRegistry::factoryOf<CLC2C>());
    ShapeRegistry::registerKind(KindC2CNear, ShapeRegistry::factoryOf<CLC2CNear>());
    ShapeRegistry::registerKind(KindC2CFar, ShapeRegistry::factoryOf<CLC2CFar>());
    ShapeFactory arc = ShapeRegistry::factoryOf<CLArc>();
    arc.collectLabelRect = [](CCLBaseObject* shape, QList<QRect>& rects) {
        static_cast<CLArc*>(shape)->CollectLabelRect(rects);
    };
    ShapeRegistry::registerKind(KindArc, arc);
}
