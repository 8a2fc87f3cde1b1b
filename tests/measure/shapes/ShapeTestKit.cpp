#include "ShapeTestKit.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/ShapePaintCoverage.h"

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
    textInputCallback = nullptr;
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

CCLBaseObject* BuildShape(OzaMeasureSys& sys, int kind, const QVector<QPointF>& clicks) {
    CCLObjectContainer* c = sys.shapeContainer();
    c->SetCurType(kind);
    const int before = c->shapes().size();
    for (const QPointF& p : clicks)
        c->OnMousePress(p);
    return c->shapes().size() > before ? c->shapes().last() : nullptr;
}

QString CoverageFailure(CCLBaseObject& shape, bool creating) {
    const PaintCoverage cov = CheckPaintCoverage(shape, creating);
    if (cov.painted == 0)
        return QStringLiteral("nothing painted");
    if (cov.outside.isEmpty())
        return QString();
    return QString("%1 of %2 painted pixels outside the update rectangles, first at %3,%4")
        .arg(cov.outside.size())
        .arg(cov.painted)
        .arg(cov.outside.first().x())
        .arg(cov.outside.first().y());
}
