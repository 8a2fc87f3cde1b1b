#pragma once

#include "measure/engine/OzaMeasureSys.h"
#include "tests/support/TestEnv.h"

#include <QPolygonF>
#include <QString>

#include <memory>

class CCLBaseObject;

// Surroundings of a shape test: a temporary working folder, a 1920 x 1080
// image shown 1:1, label style 0, the shape classes registered and an
// active measurement system (label fonts, family counters).
struct ShapeTestKit {
    ShapeTestKit();
    ~ShapeTestKit();
    TestEnv env;
    std::unique_ptr<OzaMeasureSys> sys;
};

// Places the points as clicks (AddPoint), ends a variable shape
// (FinishMulti), completes it (IsFinished) and computes its results.
void FinishShape(CCLBaseObject& shape, const QPolygonF& points);
// A boolean label switch of ./INI/MeasureData.ini.
void SetLabelSwitch(const QString& key, bool on);
// Chooses the kind and presses the points through the container: the shape
// they registered, or null.
CCLBaseObject* BuildShape(OzaMeasureSys& sys, int kind, const QVector<QPointF>& clicks);
// Empty when the shape paints something and all of it inside its update
// rectangles (CheckPaintCoverage); else what went wrong.
QString CoverageFailure(CCLBaseObject& shape, bool creating);
