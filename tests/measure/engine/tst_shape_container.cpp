// The shape container with stand-in shapes: creation and numbering, hit
// tests, selection and removal, drawing, style and scale setters, data rows.

#include "TestShapes.h"

#include "app/hub/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "tests/support/TestEnv.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class ShapeContainerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> fx;

    CCLObjectContainer& box() { return *fx->sys->shapeContainer(); }

    // Clicks `count` points starting at `from`, 100 px apart in x.
    void click(CCLObjectContainer& c, QPointF from, int count) {
        for (int i = 0; i < count; ++i)
            c.OnMousePress(from + QPointF(100.0 * i, 7.0 * i));
    }

private slots:
    void init() {
        fx = std::make_unique<EngineFixture>();
        TestShape::drawnColors.clear();
        TestShape::drawnCount = 0;
    }
    void cleanup() { fx.reset(); }

    void circlesAndLineAreNumberedPerFamily() {
        CCLObjectContainer& c = box();
        QSignalSpy added(&c, SIGNAL(SingalAddNewObj(const CCLBaseObject*)));
        c.SetCurType(KindCircle);
        click(c, {100, 100}, 3);
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateAdded));
        c.SetCurType(KindP2P);
        click(c, {100, 300}, 2);
        c.SetCurType(KindCircle);
        click(c, {100, 500}, 3);
        QCOMPARE(c.shapes().size(), 3);
        QCOMPARE(c.shapes()[0]->labelNumber, 1);
        QCOMPARE(c.shapes()[1]->labelNumber, 1);
        QCOMPARE(c.shapes()[2]->labelNumber, 2);
        QCOMPARE(c.shapes()[2]->kind, int(KindCircle));
        QCOMPARE(added.count(), 3);
        // The prototype is reset and ready for the next shape.
        QVERIFY(c.creating()->points.isEmpty());
        QCOMPARE(c.creating()->labelNumber, -1);
        // Concentric circles count with the circles; a multi-circle is a line.
        QCOMPARE(c.GetFamilyCount(KindConCircle), 3);
        QCOMPARE(c.GetFamilyCount(KindCircleM), 2);
    }

    void lineCounterWrapsAfter9999() {
        CCLObjectContainer& c = box();
        TestShape src(KindP2P);
        src.points = {QPointF(0, 0), QPointF(10, 0), QPointF(10, 0)};
        for (int i = 0; i < 9998; ++i) {
            TestShape s = src;
            c.AddObject(&s);
        }
        QCOMPARE(c.GetFamilyCount(KindP2P), 9999);
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 2);
        QCOMPARE(c.shapes().last()->labelNumber, 9999);
        QCOMPARE(c.GetFamilyCount(KindP2P), 1);
        click(c, {10, 10}, 2);
        QCOMPARE(c.shapes().last()->labelNumber, 1);
    }

    void marksAreNumberedAcrossTheirKinds() {
        CCLObjectContainer& c = box();
        for (int kind : {KindSign1, KindSign3, KindSign2}) {
            c.SetCurType(kind);
            click(c, {50, 50}, 1);
        }
        QCOMPARE(c.shapes().size(), 3);
        QCOMPARE(static_cast<TestShape*>(c.shapes()[0])->markNumber, 1);
        QCOMPARE(static_cast<TestShape*>(c.shapes()[1])->markNumber, 2);
        QCOMPARE(static_cast<TestShape*>(c.shapes()[2])->markNumber, 3);
    }

    void textNoteTakesNoNumberAndCancelsWithoutText() {
        CCLObjectContainer& c = box();
        const int lines = c.GetFamilyCount(KindP2P);
        c.SetCurType(KindText);
        click(c, {50, 50}, 1);
        QCOMPARE(c.creating()->labelNumber, 0);
        click(c, {80, 80}, 1); // two points, no text: the note cancels itself
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateIdle));
        QVERIFY(c.shapes().isEmpty());
        QVERIFY(c.creating()->points.isEmpty());
        static_cast<TestShape*>(c.creating())->text = "note";
        click(c, {50, 50}, 3);
        QCOMPARE(c.shapes().size(), 1);
        QCOMPARE(c.shapes()[0]->labelNumber, 0);
        QCOMPARE(c.GetFamilyCount(KindP2P), lines);
    }

    void lassoIsNumberedByItsIndex() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindLasso);
        for (int i = 0; i < 3; ++i) {
            click(c, {100, 100}, 4);
            c.FinishCreating();
        }
        QCOMPARE(c.shapes().size(), 3);
        QCOMPARE(c.shapes()[2]->labelNumber, 3);
        QCOMPARE(c.GetFamilyCount(KindP2P), 4); // the lasso still advances the lines counter
    }

    void refusedPressChangesNothing() {
        CCLObjectContainer& c = box();
        c.OnMousePress({10, 10});
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateRejected));
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 1);
        static_cast<TestShape*>(c.creating())->refuseAdd = true;
        c.OnMousePress({200, 10});
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateRejected));
        QCOMPARE(c.creating()->points.size(), 1); // the shape under creation is kept
        QVERIFY(c.shapes().isEmpty());
        static_cast<TestShape*>(c.creating())->refuseAdd = false;
        c.OnMousePress({200, 10});
        QCOMPARE(c.shapes().size(), 1);
        QCOMPARE(c.shapes()[0]->labelNumber, 1);
    }

    void toolChangeFinishesOrDropsTheShape() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindPolygon);
        click(c, {10, 10}, 3);
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateCollecting));
        QVERIFY(c.IsCreating());
        c.SetCurType(KindP2P); // a polygon of three points accepts to finish
        QCOMPARE(c.shapes().size(), 1);
        QCOMPARE(c.shapes()[0]->kind, int(KindPolygon));
        QCOMPARE(c.shapes()[0]->labelNumber, 1);

        c.SetCurType(KindPolygon);
        click(c, {10, 10}, 2);
        c.SetCurType(KindCircle); // two points are too few: dropped
        QCOMPARE(c.shapes().size(), 1);
        QVERIFY(c.prototype(KindPolygon)->points.isEmpty());
        QCOMPARE(c.createState(), int(CCLObjectContainer::StateIdle));
        QCOMPARE(c.GetFamilyCount(KindPolygon), 2);
    }

    void groupIdIsPassedThrough() {
        CCLObjectContainer& c = box();
        TestShape src(KindP2P);
        src.points = {QPointF(0, 0), QPointF(10, 0), QPointF(10, 0)};
        src.groupId = 5;
        c.AddObject(&src);
        QCOMPARE(c.shapes().last()->groupId, 5);
        src.points = {QPointF(0, 0), QPointF(10, 0), QPointF(10, 0)};
        src.groupId = -1;
        c.AddObject(&src);
        QCOMPARE(c.shapes().last()->groupId, c.groupId());
        // Copying never changes the target's group.
        TestShape a(KindP2P), b(KindP2P);
        a.groupId = 3;
        b.groupId = 9;
        a = b;
        QCOMPARE(a.groupId, 3);
    }

    void unregisteredKindCreatesNothing() {
        ShapeRegistry::unregisterKind(KindArc);
        CCLObjectContainer fresh;
        fresh.SetCurType(KindArc);
        QCOMPARE(fresh.toolKind(), int(KindArc));
        QVERIFY(!fresh.creating());
        fresh.OnMousePress({10, 10});
        QCOMPARE(fresh.createState(), int(CCLObjectContainer::StateRejected));
        QVERIFY(fresh.shapes().isEmpty());
        // Registered later: the tool works from then on.
        registerTestShapes();
        fresh.SetCurType(KindArc);
        QVERIFY(fresh.creating());
    }

    void hitTestsAtTheirRadii() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindP2P);
        c.OnMousePress({100, 980}); // view (100, 100)
        c.OnMousePress({400, 980}); // view (400, 100)
        CCLBaseObject* line = c.shapes().first();
        int index = -2;
        QCOMPARE(line->HitTestVertex(QPoint(105, 100), index), 1);
        QCOMPARE(index, 0);
        QCOMPARE(line->HitTestVertex(QPoint(106, 100), index), 0);
        QCOMPARE(index, -1);
        QCOMPARE(line->HitTestVertex(QPoint(403, 104), index), 1); // 3-4-5: exactly 5.0
        QCOMPARE(index, 1);
        // The label anchor (last point, here on p1) is never a vertex hit.
        line->points[2] = QPointF(800, 800);
        QCOMPARE(line->HitTestVertex(QPoint(800, 280), index), 0);
        // Segment: under 10 px.
        QCOMPARE(c.HitTest(QPoint(250, 109)).part, 3);
        QCOMPARE(c.HitTest(QPoint(250, 110)).part, 0);
        // Ring within +-10 of the radius (both bounds exclusive).
        QVERIFY(HitTestRing(QPoint(159, 100), QPoint(100, 100), 50));
        QVERIFY(HitTestRing(QPoint(141, 100), QPoint(100, 100), 50));
        QVERIFY(!HitTestRing(QPoint(160, 100), QPoint(100, 100), 50));
        QVERIFY(!HitTestRing(QPoint(140, 100), QPoint(100, 100), 50));
    }

    void olderShapeWinsAndSelectionFollowsRemoval() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindP2P);
        click(c, {100, 500}, 2);
        click(c, {100, 500}, 2);
        CCLBaseObject* older = c.shapes()[0];
        CCLBaseObject* newer = c.shapes()[1];
        const CCLObjectContainer::Hit hit = c.HitTest(QPoint(150, 1080 - 503));
        QCOMPARE(hit.shape, older);
        c.SetSelected(newer);
        QCOMPARE(c.selected(), newer);
        TestShape stranger(KindP2P);
        c.RemoveObject(&stranger); // not registered: nothing
        QCOMPARE(c.shapes().size(), 2);
        c.RemoveObject(newer);
        QVERIFY(!c.selected());
        QCOMPARE(c.shapes().size(), 1);
        QCOMPARE(c.shapesOfKind(KindP2P).size(), 1);
    }

    void clearAllRestartsNumberingAndKeepsStyle() {
        CCLObjectContainer& c = box();
        c.SetColor(Qt::blue);
        c.SetPenWidth(4);
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 2);
        click(c, {10, 10}, 2);
        c.SetSelected(c.shapes().last());
        c.ClearAll();
        QVERIFY(c.shapes().isEmpty());
        QVERIFY(!c.selected());
        QVERIFY(c.shapesOfKind(KindP2P).isEmpty());
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 2);
        QCOMPARE(c.shapes().last()->labelNumber, 1);
        QCOMPARE(c.shapes().last()->color, QColor(Qt::blue));
        QCOMPARE(c.shapes().last()->penWidth, 4);
    }

    void drawingSelectedYellowTextNotesApartAndGroups() {
        CCLObjectContainer& c = box();
        c.SetColor(Qt::green);
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 2);
        click(c, {10, 10}, 2);
        click(c, {10, 10}, 2);
        c.shapes()[2]->groupId = 7; // another group: not painted but still hit
        static_cast<TestShape*>(c.prototype(KindText))->text = "t";
        c.SetCurType(KindText);
        click(c, {10, 10}, 2);
        c.SetSelected(c.shapes()[1]);
        QImage img(64, 64, QImage::Format_ARGB32);
        QPainter p(&img);
        c.DrawAll(&p, true);
        QCOMPARE(TestShape::drawnCount, 2);
        QCOMPARE(TestShape::drawnColors[0], QColor(Qt::green));
        QCOMPARE(TestShape::drawnColors[1], QColor(Qt::yellow));
        c.DrawTextNotes(&p);
        QCOMPARE(TestShape::drawnCount, 3);
        QVERIFY(c.HitTest(QPoint(60, 1080 - 13)).shape);
    }

    void scaleSettersAcceptOnlyValidValues() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindP2P);
        click(c, {10, 10}, 2);
        CCLBaseObject* s = c.shapes().first();
        c.SetNumbits(5);
        c.SetNumbits(-1);
        QCOMPARE(s->numbits, 2);
        c.SetNumbits(4);
        QCOMPARE(s->numbits, 4);
        QCOMPARE(c.prototype(KindCircle)->numbits, 4);
        c.SetDisrate(-1.0);
        QCOMPARE(s->disrate, 1.0);
        c.SetDisrate(0.5);
        QCOMPARE(s->disrate, 0.5);
        c.SetUnit("furlong");
        QCOMPARE(s->unit, QString("mm"));
        // The unit table in order, with its factors.
        const QStringList names = {"m", "cm", "mm", "um", "mil", "inch", "pix"};
        // An inch is 25.4 mm exactly.
        const QList<double> factors = {0.001, 0.1, 1.0, 1000.0, 1000.0 / 25.4, 1.0 / 25.4, 1.0};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(unitNames[i], names[i]);
            QCOMPARE(unitFactors[i], factors[i]);
            c.SetUnit(names[i]);
            QCOMPARE(s->unit, names[i]);
            QCOMPARE(s->unitFactor, factors[i]);
            QCOMPARE(c.prototype(KindRect)->unit, names[i]);
        }
        // "pix": shown values equal image units whatever the scale.
        QCOMPARE(s->GetUnitRate(), 1.0);
        c.SetUnit("um");
        c.SetDisrate(0.005);
        QCOMPARE(s->GetUnitRate(), 5.0);
    }

    void baseDefaultsResetAndMoves() {
        TestShape s(KindP2P);
        QCOMPARE(s.unit, QString("mm"));
        QCOMPARE(s.disrate, 1.0);
        QCOMPARE(s.unitFactor, 1.0);
        QCOMPARE(s.numbits, 2);
        QCOMPARE(s.penWidth, 1);
        QCOMPARE(s.fontSize, 11);
        QCOMPARE(s.color, QColor(Qt::red));
        QCOMPARE(s.color2, QColor(Qt::red));
        QCOMPARE(s.labelNumber, -1);
        QCOMPARE(s.groupId, -1);
        s.points = {QPointF(0, 0)};
        QVERIFY(!s.MoveBy({0, 0}, {5, 5})); // refused until finished
        s.points = {QPointF(0, 0), QPointF(10, 0), QPointF(10, 0)};
        QVERIFY(s.MoveBy({0, 0}, {5, 5}));
        QCOMPARE(s.points[0], QPointF(5, 5));
        s.labelNumber = 4;
        s.groupId = 2;
        s.Reset();
        QCOMPARE(s.labelNumber, -1);
        QCOMPARE(s.name, QString("L"));
        QCOMPARE(s.groupId, 2);

        TestShape h(KindParallelH);
        h.points = {QPointF(0, 100), QPointF(200, 100), QPointF(200, 100)};
        QVERIFY(h.MovePoint(QPointF(300, 150), 1));
        QCOMPARE(h.points[1], QPointF(300, 100));
        QVERIFY(h.MovePoint(QPointF(10, 40), 0));
        QCOMPARE(h.points[0], QPointF(10, 40));
        QCOMPARE(h.points[1], QPointF(300, 40));
    }

    void circleRowsInMillimetresAndPixels() {
        CCLObjectContainer& c = box();
        c.SetDisrate(0.01);
        c.SetUnit("mm");
        c.SetCurType(KindCircle);
        c.OnMousePress({500, 500});
        c.OnMousePress({510, 500});
        c.OnMousePress({500, 510});
        QList<QString> names;
        QList<double> rows;
        int first = -1, last = -1;
        c.CollectRows(0, nullptr, first, last, names, rows);
        QCOMPARE(first, 0);
        QCOMPARE(last, 0);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(names, QList<QString>({"R1"}));
        QVERIFY(qAbs(rows[ColRadius] - 0.1) < 1e-6f);
        QVERIFY(qAbs(rows[ColGirth] - 0.6283) < 1e-4f);
        QVERIFY(qAbs(rows[ColArea] - 0.0314) < 1e-4f);
        QVERIFY(qAbs(rows[ColDiameter] - 0.2) < 1e-6f);
        QCOMPARE(rows[ColLength], 0.0);

        c.SetUnit("pix");
        rows.clear();
        names.clear();
        c.CollectRows(0, nullptr, first, last, names, rows);
        QVERIFY(qAbs(rows[ColRadius] - 10.0) < 1e-4f);
        QVERIFY(qAbs(rows[ColDiameter] - 20.0) < 1e-4f);
    }

    void rectangleAreaTakesTheFactorSquaredAndAnglesNone() {
        CCLObjectContainer& c = box();
        c.SetDisrate(0.5);
        c.SetCurType(KindRect);
        c.OnMousePress({100, 100});
        c.OnMousePress({130, 140});
        c.SetCurType(KindAngle);
        click(c, {0, 0}, 2);
        QList<QString> names;
        QList<double> rows;
        int first, last;
        c.CollectRows(0, nullptr, first, last, names, rows);
        QCOMPARE(rows.size(), 18);
        QCOMPARE(rows[ColGirth], 70.0);
        QCOMPARE(rows[ColArea], 300.0);
        QCOMPARE(rows[ColWidth], 15.0);
        QCOMPARE(rows[ColHeight], 20.0);
        QCOMPARE(rows[9 + ColAngle], 90.0);
    }

    void typedValuesMoveTheRightPoints() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindRect);
        c.OnMousePress({100, 100});
        c.OnMousePress({130, 140});
        c.SetCurType(KindP2P);
        c.OnMousePress({0, 0});
        c.OnMousePress({30, 40});
        CCLBaseObject* rect = c.shapes()[0];
        CCLBaseObject* line = c.shapes()[1];
        QCOMPARE(c.GetObjectByRow(0, 1), line);
        QVERIFY(!c.GetObjectByRow(0, 2));
        QVERIFY(!c.SetObjValue(0, 0, ColArea, 5.0)); // "Area" is not editable
        QCOMPARE(rect->points[1], QPointF(130, 140));
        QCOMPARE(c.SetObjValue(0, 0, ColWidth, 50.0), rect);
        QCOMPARE(rect->points[1], QPointF(150, 140));
        QCOMPARE(c.SetObjValue(0, 1, ColLength, 100.0), line);
        QCOMPARE(line->points[1], QPointF(60, 80));
        QCOMPARE(line->results[0], 100.0);
        // The same row found through the listing by kind: lines come first.
        QCOMPARE(c.GetObjectByRow(1, 0), line);
        QCOMPARE(c.GetObjectByRow(1, 1), rect);
    }

    void rowsOfOneShapeAndTextNotesOwnNone() {
        CCLObjectContainer& c = box();
        c.SetCurType(KindP2P);
        click(c, {0, 0}, 2);
        static_cast<TestShape*>(c.prototype(KindText))->text = "x";
        c.SetCurType(KindText);
        click(c, {0, 0}, 2);
        c.SetCurType(KindCircle);
        click(c, {0, 0}, 3);
        QCOMPARE(c.shapes().size(), 3);
        QCOMPARE(c.GetObjectByRow(0, 1), c.shapes()[2]); // the row after the note is the circle's
        QList<QString> names;
        QList<double> rows;
        int first, last;
        c.CollectRows(0, c.shapes()[2], first, last, names, rows);
        QCOMPARE(first, 1);
        QCOMPARE(last, 1);
        QCOMPARE(names, QList<QString>({"R1"}));
        QCOMPARE(rows.size(), 9);
    }
};

QTEST_MAIN(ShapeContainerTest)
#include "tst_shape_container.moc"
