#include "tests/support/ShapeTestSystem.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/TestEnv.h"

ShapeTestSystem::ShapeTestSystem() : m_env(std::make_unique<TestEnv>()) {
    imageWidth = viewWidth = 1920;
    imageHeight = viewHeight = 1080;
    labelStyle = 0;
    textInputCallback = nullptr;
    RegisterMeasureShapes();
    m_sys = std::make_unique<OzaMeasureSys>();
    m_sys->setActive(true);
}

ShapeTestSystem::~ShapeTestSystem() {
    m_sys.reset();
    ShapeRegistry::clear();
    textInputCallback = nullptr;
    m_env.reset();
}

CCLObjectContainer* ShapeTestSystem::shapes() const {
    return m_sys->shapeContainer();
}

CCLBaseObject* ShapeTestSystem::build(int kind, const QVector<QPointF>& clicks) {
    CCLObjectContainer* c = shapes();
    c->SetCurType(kind);
    const int before = c->shapes().size();
    for (const QPointF& p : clicks)
        c->OnMousePress(p);
    return c->shapes().size() > before ? c->shapes().last() : nullptr;
}

void ShapeTestSystem::dropSystem() {
    m_sys.reset();
}
