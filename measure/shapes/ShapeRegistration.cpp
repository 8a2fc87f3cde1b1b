#include "measure/shapes/ShapeRegistration.h"

#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CCLCircle.h"
#include "measure/shapes/CCLCircle_M.h"
#include "measure/shapes/CCLL2C.h"
#include "measure/shapes/CCLL2CFar.h"
#include "measure/shapes/CCLL2CNear.h"
#include "measure/shapes/CCLMulP2L.h"
#include "measure/shapes/CCLP2C.h"
#include "measure/shapes/CCLP2CFar.h"
#include "measure/shapes/CCLP2CNear.h"
#include "measure/shapes/CLAngle.h"
#include "measure/shapes/CLArc.h"
#include "measure/shapes/CLC2C.h"
#include "measure/shapes/CLC2CFar.h"
#include "measure/shapes/CLC2CNear.h"
#include "measure/shapes/CLCL2CL.h"
#include "measure/shapes/CLConCircle.h"
#include "measure/shapes/CLL2L.h"
#include "measure/shapes/CLP2L.h"
#include "measure/shapes/CLP2P.h"
#include "measure/shapes/CLParallelLine.h"
#include "measure/shapes/CLParallelLine_H.h"
#include "measure/shapes/CLParallelLine_V.h"
#include "measure/shapes/CLPolyLine.h"
#include "measure/shapes/CLPolygon.h"
#include "measure/shapes/CLPolygon2.h"
#include "measure/shapes/CLR2R.h"
#include "measure/shapes/CLRect.h"
#include "measure/shapes/CLSIGN_1.h"
#include "measure/shapes/CLSIGN_2.h"
#include "measure/shapes/CLSIGN_3.h"
#include "measure/shapes/CLText.h"

namespace {
template <class T> void registerSign(int kind) {
    ShapeFactory f = ShapeRegistry::factoryOf<T>();
    f.setMarkNumber = [](CCLBaseObject* s, int number) { static_cast<CLSIGN_1*>(s)->signNumber = number; };
    ShapeRegistry::registerKind(kind, f);
}
} // namespace

void RegisterMeasureShapes() {
    ShapeRegistry::registerKind(KindP2P, ShapeRegistry::factoryOf<CLP2P>());
    ShapeRegistry::registerKind(KindP2L, ShapeRegistry::factoryOf<CLP2L>());
    ShapeRegistry::registerKind(KindL2L, ShapeRegistry::factoryOf<CLL2L>());
    ShapeRegistry::registerKind(KindAngle, ShapeRegistry::factoryOf<CLAngle>());
    ShapeRegistry::registerKind(KindRect, ShapeRegistry::factoryOf<CLRect>());
    ShapeRegistry::registerKind(KindCL2CL, ShapeRegistry::factoryOf<CLCL2CL>());
    ShapeRegistry::registerKind(KindConCircle, ShapeRegistry::factoryOf<CLConCircle>());
    ShapeRegistry::registerKind(KindParallel, ShapeRegistry::factoryOf<CLParallelLine>());
    ShapeRegistry::registerKind(KindParallelH, ShapeRegistry::factoryOf<CLParallelLine_H>());
    ShapeRegistry::registerKind(KindParallelV, ShapeRegistry::factoryOf<CLParallelLine_V>());
    ShapeRegistry::registerKind(KindMulP2L, ShapeRegistry::factoryOf<CCLMulP2L>());
    ShapeRegistry::registerKind(KindPolygon, ShapeRegistry::factoryOf<CLPolygon>());
    ShapeFactory lasso = ShapeRegistry::factoryOf<CLPolygon2>();
    lasso.closeLasso = [](CCLBaseObject* s) { return static_cast<CLPolygon2*>(s)->CloseLasso(); };
    ShapeRegistry::registerKind(KindLasso, lasso);
    ShapeRegistry::registerKind(KindPolyLine, ShapeRegistry::factoryOf<CLPolyLine>());
    registerSign<CLSIGN_1>(KindSign1);
    registerSign<CLSIGN_2>(KindSign2);
    registerSign<CLSIGN_3>(KindSign3);
    ShapeRegistry::registerKind(KindText, ShapeRegistry::factoryOf<CLText>());
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
