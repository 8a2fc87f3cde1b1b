// Calibrated values to the last decimal: labels and table cells against
// lengths worked out by hand, exact inch / mil factors, refused degenerate
// calibrations, table edits at a real scale, and the rounding of the scale
// bar, the datum spacing and the image-to-view mapping.

#include "tests/support/MouseInput.h"

#include "app/MessagePassing.h"
#include "app/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLP2P.h"
#include "tests/support/TestEnv.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

class MeasurePrecisionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> host;
    ItemLayer* layer = nullptr;
    MessagePassing* hub = nullptr;
    QStringList errors;
    int dialogs = 0;

    OzaMeasureSys* sys() { return layer->measureSystem(); }

    // Two clicks `pixels` apart (view = image) called `length` in `unit`.
    void calibrate(int pixels, const QString& unit, double length, int bits) {
        layer->setScaleDialogHook([=] {
            ++dialogs;
            return ItemLayer::ScaleEntry{true, "cal", unit, bits, length};
        });
        hub->startAddScale();
        clickAt(layer, {100, 500});
        clickAt(layer, {100 + pixels, 500});
        QCOMPARE(sys()->scaleContainer()->currentName(), QString("cal"));
    }

    // A finished line from (x0, 200) to (x0 + pixels, 200), registered.
    CCLBaseObject* addLine(double pixels, double x0 = 50.0) {
        CLP2P line;
        line.AddPoint(QPointF(x0, 200));
        line.AddPoint(QPointF(x0 + pixels, 200));
        sys()->shapeContainer()->AddObject(&line);
        return sys()->shapeContainer()->shapes().last();
    }

    QStringList rowValues() {
        int first = 0, last = 0;
        QList<QString> names, values;
        sys()->GetAllMeasureData(nullptr, first, last, names, values);
        return values;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(1);
        host = std::make_unique<QWidget>();
        layer = new ItemLayer(host.get());
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 1920, 1080), QSize(1920, 1080));
        errors.clear();
        dialogs = 0;
        layer->setErrorHook([this](const QString& text) { errors << text; });
    }
    void cleanup() {
        host.reset();
        layer = nullptr;
        ShapeRegistry::clear();
        env.reset();
        hub->setLanguage(0);
        labelStyle = 0;
    }

    // 0.7 mm typed over 250 px: 0.0028 mm per px. The pixel length of each
    // line is worked out from the unit's definition (1 mil = 0.0254 mm), so
    // the label must read the length exactly at 4 decimals.
    void calibratedLineReadsToTheLastDecimal_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("mmPerUnit"); // exact decimal text
        QTest::addColumn<QString>("length");
        const struct {
            const char* unit;
            const char* mm;
        } units[] = {{"um", "0.001"}, {"mm", "1"}, {"mil", "0.0254"}};
        for (const auto& u : units)
            for (const char* length : {"1.0000", "1234.5678", "98765.4321"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(length, u.unit)))
                    << QString(u.unit) << QString(u.mm) << QString(length);
    }
    void calibratedLineReadsToTheLastDecimal() {
        QFETCH(QString, unit);
        QFETCH(QString, mmPerUnit);
        QFETCH(QString, length);
        calibrate(250, "mm", 0.7, 4);
        hub->scaleUnitChanged(unit);
        const long double mm =
            std::strtold(qPrintable(length), nullptr) * std::strtold(qPrintable(mmPerUnit), nullptr);
        const long double pixels = mm / (0.7L / 250.0L);
        CCLBaseObject* line = addLine(double(pixels));
        labelStyle = 3; // the bare value and unit
        QCOMPARE(line->GetShowText(line->results[0] * line->GetUnitRate()), length + unit + "\n");
        QCOMPARE(rowValues().value(0), length);
    }

    void inchAndMilFactorsAreExact() {
        QVERIFY(qAbs(unitFactorOf("inch") * 25.4 - 1.0) < 1e-12);
        QVERIFY(qAbs(unitFactorOf("mil") * 0.0254 - 1.0) < 1e-12);
        calibrate(254, "inch", 1.0, 4); // 1 inch = 25.4 mm over 254 px
        QVERIFY(qAbs(sys()->disrate() - 0.1) < 1e-12);
        CCLBaseObject* line = addLine(254.0);
        QCOMPARE(rowValues().value(0), QString("1.0000"));
        hub->scaleUnitChanged("mm");
        QVERIFY(qAbs(line->results[0] * line->GetUnitRate() - 25.4) < 1e-12);
        hub->scaleUnitChanged("mil");
        QCOMPARE(rowValues().value(0), QString("1000.0000"));
    }

    // A figure on one line has no length: refused, the scale in use kept.
    void degenerateCalibrationIsRefused_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPointF>("a");
        QTest::addColumn<QPointF>("b");
        QTest::addColumn<QPointF>("p");
        QTest::newRow("circle collinear") << 2 << QPointF(100, 100) << QPointF(300, 100) << QPointF(200, 100);
        QTest::newRow("circle 1e-6 px off") << 2 << QPointF(0, 0) << QPointF(1000, 0) << QPointF(500, 1e-6);
        QTest::newRow("point on the line")
            << 1 << QPointF(100, 100) << QPointF(300, 100) << QPointF(500, 100);
        QTest::newRow("point 1e-6 px off")
            << 1 << QPointF(100, 100) << QPointF(300, 400) << QPointF(200, 250 + 1e-6);
    }
    void degenerateCalibrationIsRefused() {
        QFETCH(int, kind);
        QFETCH(QPointF, a);
        QFETCH(QPointF, b);
        QFETCH(QPointF, p);
        calibrate(250, "mm", 0.7, 4);
        CScaleContainer* scales = sys()->scaleContainer();
        sys()->StartCalibration();
        sys()->SetScaleKind(kind);
        for (const QPointF& pt : {a, b, p})
            scales->AddCalibrationPoint(pt);
        QVERIFY(scales->IsFigureDegenerate());
        QVERIFY(!sys()->AddScale("flat", "mm", 2, 1.0, 100));
        QCOMPARE(sys()->ScaleNames(), QStringList({"default", "cal"}));
        QVERIFY(qAbs(sys()->disrate() - 0.0028) < 1e-15);
    }

    void degenerateCalibrationByMouseShowsAnError() {
        calibrate(250, "mm", 0.7, 4);
        dialogs = 0;
        hub->startAddCircleScale();
        for (QPoint p : {QPoint(100, 100), QPoint(200, 200), QPoint(300, 300)})
            clickAt(layer, p);
        QCOMPARE(errors, QStringList({"Invalid calibration: the points lie on one line."}));
        QCOMPARE(dialogs, 0);
        QCOMPARE(sys()->mode(), int(OzaMeasureSys::ModeShapes));
        QVERIFY(!sys()->scaleContainer()->IsCalibrating());
        QCOMPARE(sys()->scaleContainer()->currentName(), QString("cal"));
    }

    // 0.25 mm per px shown in um: a typed 12345.6789 um is 49.3827156 px.
    void tableEditConvertsWithTheScale() {
        calibrate(100, "mm", 25.0, 4);
        hub->scaleUnitChanged("um");
        CCLBaseObject* line = addLine(200.0);
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->setMeasureItemData(0, 1, 12345.6789, true);
        QVERIFY(qAbs(line->points[1].x() - line->points[0].x() - 49.3827156) < 1e-9);
        QCOMPARE(table.count(), 1);
        QCOMPARE(table.last()[3].value<QList<QString>>().value(0), QString("12345.6789"));
        // The area cell of a line takes nothing: its row comes back unchanged.
        hub->setMeasureItemData(0, 3, 5.0, true);
        QCOMPARE(table.count(), 2);
        QCOMPARE(table.last()[3].value<QList<QString>>().value(0), QString("12345.6789"));
        QCOMPARE(table.last()[3].value<QList<QString>>().value(2), QString("0.0000"));
    }

    // Bars: 1, 2 or 5 units rounded to whole pixels; the inch and mil bars
    // step down to mil and um, the bar spanning exactly the value shown.
    void scaleBarRoundsAndStepsDown_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<double>("unitsPerPixel");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.2 mm over 153.8 px") << "mm" << 0.0013 << 154 << "200 um";
        QTest::newRow("0.01 inch") << "inch" << 0.001 / 25.4 << 254 << "10 mil";
        QTest::newRow("0.1 mil") << "mil" << 0.01 / 25.4 << 200 << "2 um";
        QTest::newRow("pix") << "pix" << 1.0 << 200 << "200 pix";
    }
    void scaleBarRoundsAndStepsDown() {
        QFETCH(QString, unit);
        QFETCH(double, unitsPerPixel);
        QFETCH(int, bar);
        QFETCH(QString, text);
        CPlottingContainer plotting;
        plotting.SetScale("s", unit, unitsPerPixel);
        QCOMPARE(plotting.BarLength(), bar);
        QCOMPARE(plotting.BarText(), text);
    }

    void datumSpacingAndViewMappingRound() {
        calibrate(250, "mm", 0.325, 4); // 0.0013 mm per px
        sys()->SetCrossLineCount(3, true);
        QVERIFY(sys()->SetCrossLineInfo(0, true, 100.9f, 0, Qt::red, true, false));
        QVERIFY(sys()->SetCrossLineDatum(0, 0.2, true)); // 153.85 px
        QCOMPARE(sys()->crossLines()->FindLine(1, true)->position, 254.0f);
        QCOMPARE(sys()->crossLines()->FindLine(2, true)->position, 408.0f);
        sys()->SetImageSize(3840, 2160);
        QCOMPARE(ImageToView(QPointF(201, 2160 - 201)), QPoint(101, 101)); // 100.5 rounds up
    }
};

QTEST_MAIN(MeasurePrecisionTest)
#include "tst_measure_precision.moc"
