// Calibration scales: the three calibration figures, naming rules, deletion,
// and SCALE_INFO.ini round trips with several cameras.

#include "measure/engine/CScaleContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "tests/support/TestEnv.h"

#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class ScaleContainerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static void calibrate(CScaleContainer& c, int kind, std::initializer_list<QPointF> points) {
        c.setState(CScaleContainer::Armed);
        c.setKind(kind);
        for (const QPointF& p : points)
            c.AddCalibrationPoint(p);
    }
    static QString file() { return "SCALE_INFO.ini"; }
    // Record k of camera 0, in mm with 2 decimals and a 100 px bar.
    static void putRecord(QSettings& s, int k, const QString& name, const QString& value, const QString& distance) {
        const QString g = QString("Camera_0_scl_%1/").arg(k);
        s.setValue(g + "Name", name);
        s.setValue(g + "Value", value);
        s.setValue(g + "Distance", distance);
        s.setValue(g + "Unit", "mm");
        s.setValue(g + "Bits", 2);
        s.setValue(g + "ScaleLength", 100);
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        CScaleContainer::setFilePath(env->file("SCALE_INFO.ini"));
    }
    void cleanup() { env.reset(); }

    void freshFileHoldsOnlyTheDefault() {
        CScaleContainer c;
        c.ReadWriteIni(true);
        QCOMPARE(c.scales().size(), 1);
        const ScaleInfo* d = c.scales()[0];
        QCOMPARE(d->name, QString("default"));
        QCOMPARE(d->disrate, 1.0);
        QCOMPARE(d->bits, 2);
        QCOMPARE(d->unit, QString("mm"));
        QCOMPARE(c.ReadLastScaleName(), QString("default"));
    }

    void twoPointsAndUnits() {
        CScaleContainer c;
        QSignalSpy announced(&c, SIGNAL(setScalePara_signal(QString, double, int)));
        calibrate(c, CScaleContainer::TwoPoints, {{100, 100}, {102, 103}, {350, 100}});
        QCOMPARE(c.state(), int(CScaleContainer::Complete)); // the click within 5 px was ignored
        QCOMPARE(c.CalibrationLength(), 250.0);
        QVERIFY(c.AddScale("s1", "mm", 3, 5.0, 100));
        const ScaleInfo* s = c.FindScale("s1");
        QVERIFY(s);
        QVERIFY(qAbs(s->disrate - 0.02) < 1e-7f);
        QCOMPARE(s->value, 5.0);
        QCOMPARE(s->scaleLength, 100);
        QCOMPARE(c.currentName(), QString("s1"));
        QCOMPARE(c.state(), int(CScaleContainer::Idle));
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced[0][0].toString(), QString("mm"));
        QCOMPARE(announced[0][2].toInt(), 3);
        QCOMPARE(c.ReadLastScaleName(), QString("s1"));

        // Entered as 0.5 cm through the measurement system: stored as 5 mm.
        OzaMeasureSys sys;
        sys.StartCalibration();
        sys.OnMousePress({0, 0});
        sys.OnMousePress({0, 250});
        QVERIFY(sys.IsJustFinished());
        QVERIFY(sys.AddScale("s2", "cm", 2, 0.5, 100));
        const ScaleInfo* s2 = sys.scaleContainer()->FindScale("s2");
        QCOMPARE(s2->value, 5.0);
        QCOMPARE(s2->unit, QString("cm"));
        QCOMPARE(sys.unit(), QString("cm"));
        QVERIFY(qAbs(sys.GetRate() - 0.002) < 1e-8f); // 0.02 mm per px in cm
    }

    void circleAndPointToLine() {
        CScaleContainer c;
        calibrate(c, CScaleContainer::Circle, {{150, 100}, {100, 150}, {50, 100}});
        QCOMPARE(c.state(), int(CScaleContainer::Complete));
        QVERIFY(qAbs(c.CalibrationLength() - 100.0) < 1e-4f);
        QVERIFY(c.AddScale("ring", "mm", 2, 1.0, 100));
        QVERIFY(qAbs(c.FindScale("ring")->disrate - 0.01) < 1e-8f);

        // The perpendicular distance from the point to the line, not the clicks.
        calibrate(c, CScaleContainer::PointToLine, {{0, 0}, {100, 0}, {30, 40}});
        QCOMPARE(c.CalibrationLength(), 40.0);
        QVERIFY(c.AddScale("gap", "mm", 2, 4.0, 100));
        QVERIFY(qAbs(c.FindScale("gap")->disrate - 0.1) < 1e-7f);
        // A second point on the first is ignored.
        calibrate(c, CScaleContainer::PointToLine, {{0, 0}, {3, 3}});
        QCOMPARE(c.secondPoint(), QPointF(-1, -1));
        c.CancelCalibration();
        QCOMPARE(c.firstPoint(), QPointF(-1, -1));
        QVERIFY(!c.IsCalibrating());
    }

    void refusalsAndReplacement() {
        CScaleContainer c;
        QVERIFY(!c.AddScale("x", "mm", 5, 1.0, 100));
        QVERIFY(!c.AddScale("x", "mm", -1, 1.0, 100));
        QVERIFY(!c.AddScale("x", "mm", 2, 0.00005, 100));
        QVERIFY(!c.AddScale("x", "mm", 2, 1.0, 1001));
        QVERIFY(!c.AddScale("x", "yard", 2, 1.0, 100));
        QVERIFY(!c.AddScale("default", "mm", 2, 1.0, 100)); // the built-in record keeps its place
        QCOMPARE(c.scales().size(), 1);
        QCOMPARE(c.scales()[0]->disrate, 1.0);
        calibrate(c, 0, {{0, 0}, {100, 0}});
        QVERIFY(c.AddScale("x", "mm", 2, 1.0, 100));
        calibrate(c, 0, {{0, 0}, {200, 0}});
        QVERIFY(c.AddScale("x", "mm", 2, 1.0, 100));
        QCOMPARE(c.scales().size(), 2);
        QCOMPARE(c.FindScale("x")->disrate, 0.005);
    }

    void deletingTheCurrentScaleFallsBackToDefault() {
        CScaleContainer c;
        calibrate(c, 0, {{0, 0}, {100, 0}});
        QVERIFY(c.AddScale("x", "um", 1, 2.0, 100));
        QSignalSpy announced(&c, SIGNAL(setScalePara_signal(QString, double, int)));
        QVERIFY(!c.DeleteScale("default"));
        QVERIFY(!c.DeleteScale("nothing"));
        QVERIFY(c.DeleteScale("x"));
        QCOMPARE(c.currentName(), QString("default"));
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced[0][0].toString(), QString("mm"));
        QCOMPARE(announced[0][1].toDouble(), 1.0);
        QCOMPARE(c.ReadLastScaleName(), QString("default"));
        QSettings s(CScaleContainer::filePath(), QSettings::IniFormat);
        QVERIFY(!s.childGroups().contains("Camera_0_scl_0"));
    }

    void camerasOneAndTenStayApart() {
        {
            CScaleContainer one;
            one.setCameraIndex(1);
            calibrate(one, 0, {{0, 0}, {100, 0}});
            QVERIFY(one.AddScale("a", "mm", 2, 1.0, 100));
            calibrate(one, 0, {{0, 0}, {50, 0}});
            QVERIFY(one.AddScale("b", "mm", 3, 1.0, 100));
            CScaleContainer ten;
            ten.setCameraIndex(10);
            calibrate(ten, 0, {{0, 0}, {400, 0}});
            QVERIFY(ten.AddScale("c", "um", 1, 2.0, 100));
            // Saving camera 1 again must not touch camera 10's groups.
            QVERIFY(one.DeleteScale("a"));
        }
        CScaleContainer one;
        one.setCameraIndex(1);
        one.ReadWriteIni(true);
        QStringList names;
        one.GetScaleNames(names);
        QCOMPARE(names, QStringList({"default", "b"}));
        QCOMPARE(one.FindScale("b")->bits, 3);
        QCOMPARE(one.FindScale("b")->disrate, 0.02);
        QCOMPARE(one.ReadLastScaleName(), QString("b"));
        CScaleContainer ten;
        ten.setCameraIndex(10);
        ten.ReadWriteIni(true);
        names.clear();
        ten.GetScaleNames(names);
        QCOMPARE(names, QStringList({"default", "c"}));
        QCOMPARE(ten.FindScale("c")->unit, QString("um"));
        QCOMPARE(ten.FindScale("c")->value, 2.0);
        QCOMPARE(ten.FindScale("c")->distance, 400.0);
        QCOMPARE(ten.ReadLastScaleName(), QString("c"));
        // Only the default left: every group of that camera goes.
        ten.DeleteScale("c");
        QSettings s(CScaleContainer::filePath(), QSettings::IniFormat);
        QVERIFY(!s.childGroups().contains("Camera_10_scl_0"));
        QVERIFY(s.childGroups().contains("Camera_1_scl_0"));
    }

    void damagedRecordsAreLeftOut() {
        {
            QSettings s(CScaleContainer::filePath(), QSettings::IniFormat);
            auto put = [&](int k, const QString& name, const QString& value, const QString& distance) {
                putRecord(s, k, name, value, distance);
            };
            put(0, "nan", "nan", "10");
            put(1, "neg", "-3", "10");
            put(2, "inf", "5", "inf");
            put(3, "zero", "5", "0");
            put(4, "good", "5", "250");
            s.setValue("Camera_0_scl_5/Name", "ugly");
            s.setValue("Camera_0_scl_5/Unit", "furlong");
        }
        CScaleContainer c;
        c.ReadWriteIni(true);
        QStringList names;
        c.GetScaleNames(names);
        QCOMPARE(names, QStringList({"default", "good"}));
        QVERIFY(qAbs(c.FindScale("good")->disrate - 0.02) < 1e-7f);
    }

    // Two records of one name (a file edited by hand, or merged): the first
    // is the scale, the second is left out rather than listed twice.
    void aSecondRecordOfOneNameIsLeftOut() {
        {
            QSettings s(CScaleContainer::filePath(), QSettings::IniFormat);
            putRecord(s, 0, "x10", "5", "250");
            putRecord(s, 1, "x20", "5", "500");
            putRecord(s, 2, "x10", "5", "100");
        }
        CScaleContainer c;
        c.ReadWriteIni(true);
        QStringList names;
        c.GetScaleNames(names);
        QCOMPARE(names, QStringList({"default", "x10", "x20"}));
        QCOMPARE(c.scales().size(), 3);
        QVERIFY(qAbs(c.FindScale("x10")->disrate - 0.02) < 1e-7f); // 5 mm over 250 px
    }

    void aDefaultGroupStopsTheLoading() {
        {
            QSettings s(CScaleContainer::filePath(), QSettings::IniFormat);
            s.setValue("Camera_0_scl_0/Name", "default");
            s.setValue("Camera_0_scl_1/Name", "later");
            s.setValue("Camera_0_scl_1/Value", 1);
            s.setValue("Camera_0_scl_1/Distance", 1);
        }
        CScaleContainer c;
        c.ReadWriteIni(true);
        QCOMPARE(c.scales().size(), 1);
    }

    void calibrationFigureIsPaintedAndRepainted() {
        OzaMeasureSys sys;
        sys.setActive(true);
        imageWidth = viewWidth = 400;
        imageHeight = viewHeight = 200;
        CScaleContainer& c = *sys.scaleContainer();
        calibrate(c, 0, {{50, 100}});
        c.MoveCalibrationPoint({300, 100});
        QList<QRect> rects;
        c.CollectCalibrationRects(rects);
        QVERIFY(!rects.isEmpty());
        QImage img(400, 200, QImage::Format_ARGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            p.setPen(QPen(Qt::black, 1));
            c.DrawCalibration(p);
        }
        QCOMPARE(img.pixelColor(200, 100), QColor(Qt::black)); // the dimension line
        QCOMPARE(img.pixelColor(50, 94), QColor(Qt::black));   // its end bar
        imageWidth = viewWidth = 1920;
        imageHeight = viewHeight = 1080;
    }
};

QTEST_MAIN(ScaleContainerTest)
#include "tst_scale_container.moc"
