// The measurement system: modes, forwarding, scale parameters, sizes with
// fast mode, setter ranges, and the data rows as texts with their
// statistics rows.

#include "TestShapes.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QtTest>

#include <memory>

class OzaMeasureSysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> fx;
    OzaMeasureSys* sys = nullptr;

private slots:
    void init() {
        fx = std::make_unique<EngineFixture>();
        sys = fx->sys.get();
    }
    void cleanup() { fx.reset(); }

    void registersItselfAndStartsIdle() {
        QCOMPARE(measureSys, sys);
        QCOMPARE(sys->mode(), int(OzaMeasureSys::ModeIdle));
        QVERIFY(sys->IsIdle());
        QCOMPARE(sys->unit(), QString("mm"));
        QCOMPARE(sys->GetRate(), 1.0);
        fx->sys.reset();
        QVERIFY(!measureSys);
    }

    void rowsAsTextsWithStatistics() {
        CCLObjectContainer* c = sys->shapeContainer();
        QList<const CCLBaseObject*> addedOver;
        connect(c, &CCLObjectContainer::SingalObjAddedOver, this,
                [&](const CCLBaseObject* shape) { addedOver << shape; });
        sys->SetMode(OzaMeasureSys::ModeShapes);
        c->SetCurType(KindP2P);
        sys->OnMousePress({0, 0});
        sys->OnMousePress({3, 4});
        // Every registered shape is announced again once the system has it.
        QCOMPARE(addedOver, QList<const CCLBaseObject*>({c->shapes().last()}));
        c->SetCurType(KindParallel);
        sys->OnMousePress({0, 0});
        sys->OnMousePress({6, 8});
        c->SetCurType(KindConCircle);
        sys->OnMousePress({0, 0});
        sys->OnMousePress({0, 2});
        QCOMPARE(c->shapes().size(), 3);
        int first = -1, last = -1;
        QList<QString> names, values;
        sys->GetAllMeasureData(nullptr, first, last, names, values);
        QCOMPARE(first, 0);
        QCOMPARE(last, 10);
        QCOMPARE(names.size(), 11);
        QCOMPARE(values.size(), 99);
        QCOMPARE(names[0], QString("L1"));
        QCOMPARE(names[1], QString("L2"));
        QCOMPARE(names[2], QString());
        QCOMPARE(values[0], QString("5.00"));
        QCOMPARE(values[ColArea], QString("0.00")); // unfilled columns carry 0
        const QStringList lengths = {"10.00", "20.00", "10.00Min", "20.00Max", "15.00Avg"};
        for (int r = 0; r < 5; ++r)
            QCOMPARE(values[(1 + r) * 9 + ColLength], lengths[r]);
        QCOMPARE(values[8 * 9 + ColRadius], QString("2.00Min"));
        QCOMPARE(values[10 * 9 + ColRadius], QString("3.00Avg"));
        QCOMPARE(values[10 * 9 + ColLength], QString("0.00"));

        // One shape: its own rows and their place in the table.
        names.clear();
        values.clear();
        sys->GetAllMeasureData(c->shapes()[1], first, last, names, values);
        QCOMPARE(first, 1);
        QCOMPARE(last, 5);
        QCOMPARE(values[4 * 9 + ColLength], QString("15.00Avg"));

        sys->SetNumBits(0);
        names.clear();
        values.clear();
        sys->GetAllMeasureData(nullptr, first, last, names, values);
        QCOMPARE(values[0], QString("5"));
    }

    void scaleParametersReachTheShapes() {
        CCLObjectContainer* c = sys->shapeContainer();
        sys->SetMode(OzaMeasureSys::ModeShapes);
        c->SetCurType(KindP2P);
        sys->OnMousePress({0, 0});
        sys->OnMousePress({3, 4});
        sys->setScalePara_slot("um", 0.02, 3);
        CCLBaseObject* line = c->shapes()[0];
        QCOMPARE(line->unit, QString("um"));
        QCOMPARE(line->disrate, 0.02);
        QCOMPARE(line->numbits, 3);
        QCOMPARE(sys->GetRate(), 20.0);
        sys->setScalePara_slot("pix", -1.0, 7);
        QCOMPARE(sys->disrate(), 0.02);
        QCOMPARE(sys->numbits(), 3);
        QCOMPARE(sys->unit(), QString("pix"));
        QCOMPARE(sys->GetRate(), 1.0);
        sys->SetUnit("parsec");
        QCOMPARE(sys->unit(), QString("pix"));
        QVERIFY(!sys->DeleteScale("default"));
        QVERIFY(!sys->DeleteScale(""));
        // A scale's record with the calibration kind in force.
        sys->StartCalibration();
        sys->SetScaleKind(CScaleContainer::Circle);
        int kind = -1, bits = -1;
        QString unit;
        double length = 0, pixels = 0;
        QVERIFY(sys->GetScaleInfo("default", kind, unit, bits, length, pixels));
        QCOMPARE(kind, int(CScaleContainer::Circle));
        QCOMPARE(unit, QString("mm"));
        QCOMPARE(bits, 2);
        QCOMPARE(length, 100.0);
        QCOMPARE(pixels, 100.0);
        QVERIFY(!sys->GetScaleInfo("none", kind, unit, bits, length, pixels));
        QCOMPARE(sys->ScaleNames(), QStringList({"default"}));
    }

    void fastModeForcesTheImageSize() {
        {
            QSettings s("./OtherSet.ini", QSettings::IniFormat);
            s.setValue("FastMode", true);
        }
        sys->SetImageSize(1280, 720);
        QCOMPARE(imageWidth, 3840.0f);
        QCOMPARE(imageHeight, 2160.0f);
        {
            QSettings s("./OtherSet.ini", QSettings::IniFormat);
            s.setValue("FastMode", false);
        }
        sys->SetImageSize(1920, 1080);
        sys->SetImageSize(1.0f, 500);
        QCOMPARE(imageWidth, 1920.0f);
        QCOMPARE(imageHeight, 500.0f);
        sys->SetViewSize(0.5f, 700);
        QCOMPARE(viewWidth, 1920.0f);
        QCOMPARE(viewHeight, 700.0f);
    }

    void settersIgnoreOutOfRange() {
        sys->SetShapeFontSize(10);
        sys->SetShapeFontSize(129);
        QCOMPARE(sys->shapeFontSize(), 22);
        sys->SetShapeFontSize(30);
        QCOMPARE(sys->shapeFontSize(), 30);
        QVERIFY(labelBoxWidth > 0 && labelBoxHeight > 0);
        sys->SetPenWidth(0);
        sys->SetPenWidth(21);
        QCOMPARE(sys->penWidth(), 1);
        sys->SetPenWidth(20);
        QCOMPARE(sys->shapeContainer()->prototype(KindCircle)->penWidth, 20);
        sys->SetShapeColour(QColor(1, 2, 3)); // not in the colour list
        QCOMPARE(sys->shapeColour(), QColor(Qt::red));
        sys->SetShapeColour(Qt::blue);
        QCOMPARE(sys->shapeContainer()->prototype(KindP2P)->color, QColor(Qt::blue));
        QCOMPARE(sys->shapeContainer()->prototype(KindText)->color, QColor(Qt::red));
        sys->SetLabelColour2(Qt::green);
        QCOMPARE(sys->shapeContainer()->prototype(KindText)->color, QColor(Qt::green));
        sys->SetNumBits(5);
        QCOMPARE(sys->numbits(), 2);
    }

    void textBoxSizes() {
        const QSize one = sys->GetTextSize("L=12.50mm", 22);
        const QSize two = sys->GetTextSize("L=12.50mm\nHalf=6.25mm", 22);
        QFont font(measureFontFamily);
        font.setPixelSize(22);
        const QFontMetrics fm(font);
        QCOMPARE(one, QSize(fm.horizontalAdvance("L=12.50mm") + 35, fm.height() + 3));
        QCOMPARE(two, QSize(fm.horizontalAdvance("Half=6.25mm") + 50, 3 * fm.height()));
        QCOMPARE(sys->GetTextSize("x", 5), sys->GetTextSize("x", 22)); // out of range: the shape font
    }

    void modesCancelWhatWasUnderCreation() {
        CCLObjectContainer* c = sys->shapeContainer();
        sys->SetMode(OzaMeasureSys::ModeShapes);
        c->SetCurType(KindCircle);
        sys->OnMousePress({0, 0});
        QVERIFY(sys->IsCreating());
        QVERIFY(!sys->IsIdle());
        sys->StartCalibration();
        QCOMPARE(sys->mode(), int(OzaMeasureSys::ModeCalibration));
        QVERIFY(c->creating()->points.isEmpty());
        QCOMPARE(sys->scaleContainer()->state(), int(CScaleContainer::Armed));
        QVERIFY(sys->IsCreating());
        sys->SetMode(OzaMeasureSys::ModeIdle);
        QVERIFY(!sys->scaleContainer()->IsCalibrating());
        sys->SetMode(OzaMeasureSys::ModeShapes);
        sys->OnMousePress({0, 0});
        sys->OnMousePress({0, 10});
        sys->OnMousePress({10, 0});
        QVERIFY(sys->IsJustFinished());
        // A press clears the selection before it is passed on.
        c->SetSelected(c->shapes()[0]);
        sys->OnMousePress({50, 50});
        QVERIFY(!c->selected());
    }

    void hitRecordsMoveTheRightPart() {
        CCLObjectContainer* c = sys->shapeContainer();
        sys->SetMode(OzaMeasureSys::ModeShapes);
        c->SetCurType(KindP2P);
        sys->OnMousePress({100, 980});
        sys->OnMousePress({400, 980});
        c->SetCurType(0);
        MeasureHit hit = sys->HitTest(QPoint(400, 100));
        QCOMPARE(hit.part, 1);
        QCOMPARE(hit.index, 1);
        sys->MoveHitPart(hit, {400, 980}, {420, 960});
        QCOMPARE(c->shapes()[0]->points[1], QPointF(420, 960));
        hit = sys->HitTest(QPoint(200, 100));
        QCOMPARE(hit.part, 3);
        sys->MoveHitPart(hit, {0, 0}, {10, 10});
        QCOMPARE(c->shapes()[0]->points[0], QPointF(110, 990));
        sys->SelectHit(hit);
        QCOMPARE(c->selected(), c->shapes()[0]);
        QVERIFY(sys->HitTest(QPoint(900, 900)).isEmpty());
        sys->showShapes = false;
        QVERIFY(sys->HitTest(QPoint(200, 90)).isEmpty());
    }
};

QTEST_MAIN(OzaMeasureSysTest)
#include "tst_oza_measure_sys.moc"
