#include "ShapeTestKit.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/ShapeRegistration.h"

#include <QDir>
#include <QSettings>

ShapeTestKit::ShapeTestKit() {
    imageWidth = viewWidth = 1920;
    imageHeight = viewHeight = 1080;
    labelStyle = 0;
    RegisterMeasureShapes();
    sys = std::make_unique<OzaMeasureSys>();
    sys->setActive(true);
}

ShapeTestKit::~ShapeTestKit() {
    sys.reset();
    ShapeRegistry::clear();
    labelStyle = 0;
}

void FinishShape(CCLBaseObject& shape, const QPolygonF& points) {
    for (const QPointF& p : points)
        shape.AddPoint(p);
    shape.FinishMulti();
    shape.IsFinished();
    shape.CalcResult();
}

void SetLabelSwitch(const QString& key, bool on) {
    QDir().mkpath("INI");
    QSettings s("./INI/MeasureData.ini", QSettings::IniFormat);
    s.setValue(key, on);
    s.sync();
}
