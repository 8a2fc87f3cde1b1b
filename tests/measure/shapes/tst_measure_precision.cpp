// Calibrated values to the last decimal: labels and table cells against
// lengths worked out by hand, exact inch / mil factors, refused degenerate
// calibrations, table edits at a real scale, and the rounding of the scale
// bar, the datum spacing and the image-to-view mapping.

#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/MouseInput.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLP2P.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <cstdio>
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
        RegisterMeasureShapes();
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

    // Lines clicked through the overlay at zooms that make every click a
    // fraction of an image pixel: the cell must be the exact length of the
    // clicked pixels, worked out here in long double from the view
    // coordinates and the two sizes, rounded to 4 decimals by printf.
    void clickedLineReadsTheClickedPixels_data() {
        QTest::addColumn<QSize>("view");
        QTest::addColumn<QPoint>("a");
        QTest::addColumn<QPoint>("b");
        QTest::addColumn<QString>("unit");
        const QSize z33(634, 356), z66(1267, 713), full(1920, 1080);
        QTest::newRow("33% diagonal") << z33 << QPoint(37, 211) << QPoint(413, 58) << "um";
        QTest::newRow("33% short") << z33 << QPoint(101, 103) << QPoint(107, 97) << "um";
        QTest::newRow("33% mil") << z33 << QPoint(5, 349) << QPoint(629, 3) << "mil";
        QTest::newRow("66% diagonal") << z66 << QPoint(13, 701) << QPoint(1259, 17) << "um";
        QTest::newRow("66% steep") << z66 << QPoint(641, 11) << QPoint(643, 707) << "um";
        QTest::newRow("66% inch") << z66 << QPoint(333, 333) << QPoint(999, 111) << "inch";
        QTest::newRow("1:1 odd pixels") << full << QPoint(7, 1073) << QPoint(1913, 3) << "um";
        QTest::newRow("1:1 500 px") << full << QPoint(3, 7) << QPoint(503, 7) << "um";
    }
    void clickedLineReadsTheClickedPixels() {
        QFETCH(QSize, view);
        QFETCH(QPoint, a);
        QFETCH(QPoint, b);
        QFETCH(QString, unit);
        calibrate(250, "mm", 0.7, 4); // 0.0028 mm per image px, set at 1:1
        hub->scaleUnitChanged(unit);
        layer->syncToVideoRect(QRect(QPoint(0, 0), view), QSize(1920, 1080));
        hub->useMeasureTool(0);
        clickAt(layer, a);
        clickAt(layer, b);
        QCOMPARE(sys()->shapeContainer()->shapes().size(), 1);

        const long double dx = (long double)(b.x() - a.x()) * 1920 / view.width();
        const long double dy = (long double)(b.y() - a.y()) * 1080 / view.height();
        const long double mm = std::sqrt(dx * dx + dy * dy) * 7 / 2500;
        const long double perMm = unit == "um" ? 1000.0L : unit == "mil" ? 1.0L / 0.0254L : 1.0L / 25.4L;
        const long double shown = mm * perMm;
        // Not a case that sits on a rounding boundary.
        const long double scaled = shown * 10000.0L;
        QVERIFY(std::fabs(scaled - std::floor(scaled) - 0.5L) > 1e-6L);
        char text[64];
        std::snprintf(text, sizeof text, "%.4Lf", shown);
        QCOMPARE(rowValues().value(0), QString(text));
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

    // A stored scale reads back to the same millimetres per pixel: after a
    // restart the labels show the same last digits as before it.
    void storedScaleReadsBackExactly() {
        calibrate(333, "mm", 0.7, 4);
        CScaleContainer reread;
        reread.ReadWriteIni(true);
        QVERIFY(reread.FindScale("cal"));
        QCOMPARE(reread.FindScale("cal")->disrate, sys()->disrate());
        QCOMPARE(reread.FindScale("cal")->value, 0.7);
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
        // Off the line, but by less than half a pixel: a scale 100 times
        // too large (or a million times too small) would be stored.
        QTest::newRow("circle 0.01 px off") << 2 << QPointF(0, 0) << QPointF(1000, 0) << QPointF(500, 0.01);
        QTest::newRow("circle 0.4 px off") << 2 << QPointF(0, 0) << QPointF(1000, 0) << QPointF(500, -0.4);
        QTest::newRow("flat arc, middle clicked last")
            << 2 << QPointF(10, 20) << QPointF(1810, 1020) << QPointF(910, 520.45);
        QTest::newRow("flat arc, middle clicked first")
            << 2 << QPointF(910, 520.3) << QPointF(10, 20) << QPointF(1810, 1020);
        QTest::newRow("point 0.01 px off")
            << 1 << QPointF(100, 100) << QPointF(900, 100) << QPointF(500, 100.01);
        QTest::newRow("point 0.4 px off")
            << 1 << QPointF(100, 100) << QPointF(100, 900) << QPointF(99.6, 1500);
        // A distance below a pixel.
        QTest::newRow("point 0.9 px off")
            << 1 << QPointF(100, 100) << QPointF(900, 100) << QPointF(500, 100.9);
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
        QCOMPARE(errors,
                 QStringList({"Invalid calibration: the three points lie (almost) on one line; the middle "
                              "point is less than 0.5 px from the line through the other two."}));
        QCOMPARE(dialogs, 0);
        QCOMPARE(sys()->mode(), int(OzaMeasureSys::ModeShapes));
        QVERIFY(!sys()->scaleContainer()->IsCalibrating());
        QCOMPARE(sys()->scaleContainer()->currentName(), QString("cal"));
    }

    // Far enough off: accepted, at the scale of the figure worked out here
    // (circle: the sagitta h over the half chord c gives the diameter
    // (h^2 + c^2) / h; point: the offset itself).
    void nearlyFlatFigureIsAcceptedAtItsExactScale_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPointF>("p");
        QTest::addColumn<double>("pixels");
        QTest::newRow("arc 0.6 px high") << 2 << QPointF(500, 0.6) << (0.36 + 250000.0) / 0.6;
        QTest::newRow("point 1.2 px off") << 1 << QPointF(300, -1.2) << 1.2;
    }
    void nearlyFlatFigureIsAcceptedAtItsExactScale() {
        QFETCH(int, kind);
        QFETCH(QPointF, p);
        QFETCH(double, pixels);
        CScaleContainer* scales = sys()->scaleContainer();
        sys()->StartCalibration();
        sys()->SetScaleKind(kind);
        for (const QPointF& pt : {QPointF(0, 0), QPointF(1000, 0), p})
            scales->AddCalibrationPoint(pt);
        QVERIFY(!scales->IsFigureDegenerate());
        QVERIFY(sys()->AddScale("flat", "mm", 4, 1.0, 100));
        QVERIFY(qAbs(sys()->disrate() * pixels - 1.0) < 1e-9);
    }

    // Each refused figure says why in the Error box.
    void refusedFigureSaysWhy_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPoint>("third");
        QTest::addColumn<QString>("text");
        QTest::newRow("flat circle")
            << 2 << QPoint(300, 500)
            << "Invalid calibration: the three points lie (almost) on one line; the middle "
               "point is less than 0.5 px from the line through the other two.";
        QTest::newRow("point on the line")
            << 1 << QPoint(900, 500) << "Invalid calibration: the point is less than 0.5 px from the line.";
    }
    void refusedFigureSaysWhy() {
        QFETCH(int, kind);
        QFETCH(QPoint, third);
        QFETCH(QString, text);
        calibrate(250, "mm", 0.7, 4);
        dialogs = 0;
        if (kind == 2)
            hub->startAddCircleScale();
        else
            hub->startParallelScale();
        for (QPoint p : {QPoint(100, 500), QPoint(600, 500), third})
            clickAt(layer, p);
        QCOMPARE(errors, QStringList({text}));
        QCOMPARE(dialogs, 0);
        QCOMPARE(sys()->scaleContainer()->currentName(), QString("cal"));
        QVERIFY(qAbs(sys()->disrate() - 0.0028) < 1e-15);
    }

    // A figure clicked at (100, 500), (300, 500) and a third point that
    // slipped back near the first: taken, the slip alone would set the
    // length. For a circle, with the third point at (100 + dx, 500 + dy) the
    // centre lies on x = 200, and equal distances to the first and third
    // points put it u = ((100 - dx)^2 + dy^2 - 100^2) / (2 dy) above or below
    // the clicks: the diameter would be 2 sqrt(100^2 + u^2). For a point to
    // the line y = 500 it would be |dy|, a figure of a pixel or few.
    void slippedThirdClickIsRefused_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPoint>("slip");
        QTest::addColumn<double>("wouldBe"); // px, worked out by hand from the formulas above
        QTest::newRow("circle, 1 px down") << 2 << QPoint(0, 1) << 200.0025;
        QTest::newRow("circle, 1 px down, 1 right") << 2 << QPoint(1, 1) << 281.43205;
        QTest::newRow("circle, 1 px down, 3 right") << 2 << QPoint(3, 1) << 622.97673;
        QTest::newRow("circle, 1 px up, 5 right") << 2 << QPoint(5, -1) << 994.32188;
        QTest::newRow("circle, 5 px down, 5 left") << 2 << QPoint(-5, 5) << 290.0;
        QTest::newRow("point to line, 1 px down, 3 right") << 1 << QPoint(3, 1) << 1.0;
        QTest::newRow("point to line, 2 px up") << 1 << QPoint(0, -2) << 2.0;
        QTest::newRow("point to line, 1 px up, 2 left") << 1 << QPoint(-2, -1) << 1.0;
        QTest::newRow("point to line, 3 px down, 4 left") << 1 << QPoint(-4, 3) << 3.0;
        QTest::newRow("point to line, 4 px down, 1 right") << 1 << QPoint(1, 4) << 4.0;
    }
    void slippedThirdClickIsRefused() {
        QFETCH(int, kind);
        QFETCH(QPoint, slip);
        QFETCH(double, wouldBe);
        calibrate(250, "mm", 0.7, 4);
        dialogs = 0;
        if (kind == CScaleContainer::Circle)
            hub->startAddCircleScale();
        else
            hub->startParallelScale();
        for (QPoint p : {QPoint(100, 500), QPoint(300, 500), QPoint(100, 500) + slip})
            clickAt(layer, p);
        QCOMPARE(errors, QStringList({"Invalid calibration: the third point is on the first one (less than 5 px "
                                      "apart). Click three separate points."}));
        QCOMPARE(dialogs, 0);
        QVERIFY(!sys()->scaleContainer()->IsCalibrating());
        QCOMPARE(sys()->ScaleNames(), QStringList({"default", "cal"}));
        QCOMPARE(sys()->scaleContainer()->currentName(), QString("cal"));
        QVERIFY(qAbs(sys()->disrate() - 0.0028) < 1e-15);
        // The stored scale is the one calibrated before: 250 px.
        QSettings stored(CScaleContainer::filePath(), QSettings::IniFormat);
        QCOMPARE(stored.value("Camera_0_scl_0/Distance").toDouble(), 250.0);
        // What the figure would have set: the slip's figure, not the click's.
        CScaleContainer* scales = sys()->scaleContainer();
        sys()->StartCalibration();
        sys()->SetScaleKind(static_cast<CScaleContainer::Kind>(kind));
        for (const QPointF& p : {QPointF(100, 500), QPointF(300, 500), QPointF(QPoint(100, 500) + slip)})
            scales->AddCalibrationPoint(p);
        QVERIFY(qAbs(scales->CalibrationLength() - wouldBe) < 1e-4);
        QVERIFY(!sys()->AddScale("slip", "mm", 4, 1.0, 100));
        QVERIFY(qAbs(sys()->disrate() - 0.0028) < 1e-15);
    }

    // Beyond the same spot but still crowded: the two close points leave the
    // curve to the direction between them.
    void crowdedCircleIsRefused_data() {
        QTest::addColumn<QPoint>("third");
        QTest::newRow("6 px below the first") << QPoint(100, 506);
        QTest::newRow("8 px right, 8 below") << QPoint(108, 508);
        QTest::newRow("20 px below the second") << QPoint(900, 520);
    }
    void crowdedCircleIsRefused() {
        QFETCH(QPoint, third);
        calibrate(250, "mm", 0.7, 4);
        dialogs = 0;
        hub->startAddCircleScale();
        for (QPoint p : {QPoint(100, 500), QPoint(900, 500), third})
            clickAt(layer, p);
        QCOMPARE(errors, QStringList({"Invalid calibration: two of the points are too close together to define "
                                      "the circle. Spread the three points around it."}));
        QCOMPARE(dialogs, 0);
        QVERIFY(qAbs(sys()->disrate() - 0.0028) < 1e-15);
    }

    // Small circles clicked at spread points are still taken, at the
    // diameter of the circle the points were placed on.
    void smallSoundCircleIsAccepted_data() {
        QTest::addColumn<QPointF>("a");
        QTest::addColumn<QPointF>("b");
        QTest::addColumn<QPointF>("c");
        QTest::addColumn<double>("diameter");
        const double h = std::sqrt(3.0) / 2.0;
        // Radius 5 round (100, 100), points 120 degrees apart.
        QTest::newRow("10 px, equilateral")
            << QPointF(105, 100) << QPointF(97.5, 100 + 5 * h) << QPointF(97.5, 100 - 5 * h) << 10.0;
        // Radius 8: a half circle, its ends and its top.
        QTest::newRow("16 px, half circle") << QPointF(92, 50) << QPointF(108, 50) << QPointF(100, 58) << 16.0;
        // A right angle at (0, 0): the hypotenuse is the diameter.
        QTest::newRow("right angle, 6 px sides")
            << QPointF(0, 0) << QPointF(6, 0) << QPointF(0, 6) << std::sqrt(72.0);
        // 7 px legs: the corner on the circle, 90 degrees.
        QTest::newRow("right angle, 7 and 40 px")
            << QPointF(300, 300) << QPointF(340, 300) << QPointF(300, 307) << std::sqrt(1649.0);
    }
    void smallSoundCircleIsAccepted() {
        QFETCH(QPointF, a);
        QFETCH(QPointF, b);
        QFETCH(QPointF, c);
        QFETCH(double, diameter);
        CScaleContainer* scales = sys()->scaleContainer();
        sys()->StartCalibration();
        sys()->SetScaleKind(CScaleContainer::Circle);
        for (const QPointF& pt : {a, b, c})
            scales->AddCalibrationPoint(pt);
        QCOMPARE(scales->state(), int(CScaleContainer::Complete));
        QCOMPARE(int(scales->FigureFaultOf()), int(CScaleContainer::FigureSound));
        QVERIFY(sys()->AddScale("small", "mm", 4, 1.0, 100));
        QVERIFY(qAbs(sys()->disrate() * diameter - 1.0) < 1e-9);
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

    // A circle (radius 200 px about view (500, 500)) and an arc (radius
    // 100 px about view (1000, 500), its upper half), both clicked.
    void clickCircleAndArc() {
        hub->useMeasureTool(11);
        for (QPoint p : {QPoint(500, 300), QPoint(700, 500), QPoint(500, 700)})
            clickAt(layer, p);
        hub->useMeasureTool(4);
        for (QPoint p : {QPoint(900, 500), QPoint(1000, 400), QPoint(1100, 500)})
            clickAt(layer, p);
    }

    // A radius typed so small that the three points would fall on one line,
    // or so large that a value overflows: refused, the shape unchanged and
    // still hit, and the row sent back with the old values.
    void typedRadiusThatWouldDestroyTheShapeIsRefused_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<double>("typed"); // um, at 2.8 um per px
        QTest::newRow("circle 0.0005 um") << 0 << 0.0005;
        QTest::newRow("circle 0.05 um") << 0 << 0.05;
        QTest::newRow("circle 1e300 um") << 0 << 1e300;
        QTest::newRow("circle 1e160 um") << 0 << 1e160;
        QTest::newRow("arc 0.0005 um") << 1 << 0.0005;
        QTest::newRow("arc 0.05 um") << 1 << 0.05;
        QTest::newRow("arc 1e300 um") << 1 << 1e300;
        QTest::newRow("arc 1e160 um") << 1 << 1e160;
    }
    void typedRadiusThatWouldDestroyTheShapeIsRefused() {
        QFETCH(int, row);
        QFETCH(double, typed);
        calibrate(250, "mm", 0.7, 4);
        hub->scaleUnitChanged("um");
        clickCircleAndArc();
        QCOMPARE(sys()->shapeContainer()->shapes().size(), 2);
        CCLBaseObject* shape = sys()->shapeContainer()->shapes()[row];
        const QVector<QPointF> points = shape->points;
        const QStringList before = rowValues();
        // 200 px and 100 px at 2.8 um per px
        QCOMPARE(before.value(9 * row + ColRadius), row == 0 ? QString("560.0000") : QString("280.0000"));
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->setMeasureItemData(row, ColRadius + 1, typed, true);
        QCOMPARE(table.count(), 1);
        QCOMPARE(table.last()[3].value<QList<QString>>(), before.mid(9 * row, 9));
        QCOMPARE(rowValues(), before);
        for (int i = 0; i < points.size(); ++i)
            QVERIFY(shape->points[i].x() == points[i].x() && shape->points[i].y() == points[i].y());
        // Still on screen where it was: its outline is hit.
        const QPoint onOutline = row == 0 ? QPoint(359, 359) : QPoint(1071, 429);
        QCOMPARE(sys()->HitTest(onOutline).shape, shape);
    }

    // A typed length whose result overflows (1e300 um is 3.6e299 px, whose
    // square is not a number any more) is refused: no empty cell, the
    // old length echoed.
    void typedLengthWithoutFiniteResultIsRefused() {
        calibrate(250, "mm", 0.7, 4);
        hub->scaleUnitChanged("um");
        CCLBaseObject* line = addLine(250.0); // 700 um
        const QVector<QPointF> points = line->points;
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->setMeasureItemData(0, ColLength + 1, 1e300, true);
        QCOMPARE(table.count(), 1);
        QCOMPARE(table.last()[3].value<QList<QString>>().value(ColLength), QString("700.0000"));
        QVERIFY(line->points[1].x() == points[1].x() && line->points[1].y() == points[1].y());
    }

    // A sound radius is taken: the cell shows what was typed.
    void typedRadiusWithinReachIsTaken_data() {
        QTest::addColumn<int>("row");
        QTest::newRow("circle") << 0;
        QTest::newRow("arc") << 1;
    }
    void typedRadiusWithinReachIsTaken() {
        QFETCH(int, row);
        calibrate(250, "mm", 0.7, 4);
        hub->scaleUnitChanged("um");
        clickCircleAndArc();
        hub->setMeasureItemData(row, ColRadius + 1, 1234.5678, true);
        QCOMPARE(rowValues().value(9 * row + ColRadius), QString("1234.5678"));
        QCOMPARE(rowValues().value(9 * row + ColDiameter), QString("2469.1356"));
    }

    // The arc answers on its own body only: a point of its half of the
    // circle is hit, the same distance away on the other half is not.
    void arcIsHitOnItsBodyOnly_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("hit");
        QTest::newRow("45 degrees up") << QPoint(1071, 429) << true;
        QTest::newRow("30 degrees up, 2 px outside") << QPoint(1088, 449) << true;
        QTest::newRow("60 degrees up, 3 px inside") << QPoint(1048, 416) << true;
        QTest::newRow("45 degrees down") << QPoint(1071, 571) << false;
        QTest::newRow("bottom") << QPoint(1000, 600) << false;
        QTest::newRow("centre") << QPoint(1000, 500) << false;
        QTest::newRow("top, 12 px outside") << QPoint(1000, 388) << false;
    }
    void arcIsHitOnItsBodyOnly() {
        QFETCH(QPoint, at);
        QFETCH(bool, hit);
        hub->useMeasureTool(4);
        for (QPoint p : {QPoint(900, 500), QPoint(1000, 400), QPoint(1100, 500)})
            clickAt(layer, p);
        CCLBaseObject* arc = sys()->shapeContainer()->shapes().value(0);
        QVERIFY(arc);
        const MeasureHit h = sys()->HitTest(at);
        QCOMPARE(h.shape == arc, hit);
        if (hit)
            QCOMPARE(h.part, 3);
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
