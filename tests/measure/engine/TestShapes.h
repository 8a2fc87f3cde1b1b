#pragma once

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/MeasureView.h"
#include "measure/engine/OzaMeasureSys.h"
#include "tests/support/TestEnv.h"

#include <QColor>
#include <QList>
#include <QRect>

#include <memory>

// Stand-ins for the shape classes: enough geometry for the container's
// creation, numbering, hit tests, drawing and data rows.
//   - fixed-count kinds take `needed` points, then append the label anchor;
//   - the circle (11) takes the centre, a point on the ring and a third point;
//     its radius is |p1 - p0|;
//   - the rectangle (10) spans p0-p1;
//   - the polygon (17) is variable: FinishMulti accepts three points or more;
//   - the text note (31) cancels itself at two points when it has no text.
class TestShape : public CCLBaseObject {
public:
    explicit TestShape(int kind = KindP2P);
    TestShape(const TestShape& other) : CCLBaseObject(other) { *this = other; }
    TestShape& operator=(const TestShape& other);

    int needed = 2;
    bool variable = false;
    bool finishedFlag = false;
    QString text;       // text note only
    int markNumber = 0; // marks only
    bool refuseAdd = false;

    // What DrawObj saw: colour of the pen, per call (shared by all instances).
    static QList<QColor> drawnColors;
    static int drawnCount;

    bool IsCreateCanceled() override;
    bool FinishMulti() override;
    int Reset() override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    bool IsAddPointValid(const QPointF& point, int reserved) override;
    void CalcResult() override;
    QString GetShowText(double value, bool force) override;
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override;
    int GetResultColumn(int j) override;
    int GetEditPart(int column, int rowInShape) override;
    bool IsPointsEnough() override;
    void SetLanguage(int lang) override;
};

// Registers TestShape for every kind 1..31 (marks with their number).
void registerTestShapes();

// Repaint requests, counted.
class RecordingView : public MeasureView {
public:
    void updateViewRect(const QRect& rect) override { rects.append(rect); }
    void updateView() override { ++whole; }
    QList<QRect> rects;
    int whole = 0;
};

// Surroundings of an engine test: a temporary working and application
// folder, a 1920x1080 image shown 1:1, the stand-in shapes registered, and
// an active measurement system repainting a recording view.
struct EngineFixture {
    explicit EngineFixture(bool withTestShapes = true);
    ~EngineFixture();
    TestEnv env;
    RecordingView view;
    std::unique_ptr<OzaMeasureSys> sys;
};
