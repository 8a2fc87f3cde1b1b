// The simulated stage that pans by itself while stitching takes frames
// (SEVRIN_SIM_STAGE=pan): its path, and that it moves only meanwhile.
#include "platform/SimUsbCamera.h"

#include <QCoreApplication>
#include <QtTest>

class TstSimStagePan : public QObject {
    Q_OBJECT
private slots:
    void pathRunsAlongRowsDownAndBackUp_data() {
        QTest::addColumn<double>("travelled");
        QTest::addColumn<QPointF>("offset");
        // Legs of 1200 along a row plus 400 to the next: 1600 units each.
        QTest::newRow("start") << 0.0 << QPointF(0, 0);
        QTest::newRow("along the first row") << 500.0 << QPointF(500, 0);
        QTest::newRow("end of the first row") << 1200.0 << QPointF(1200, 0);
        QTest::newRow("stepping down") << 1300.0 << QPointF(1200, 100);
        QTest::newRow("second row, leftwards") << 1600.0 + 200.0 << QPointF(1000, 400);
        QTest::newRow("fourth row's end") << 3 * 1600.0 + 1200.0 << QPointF(0, 1200);
        QTest::newRow("stepping back up") << 3 * 1600.0 + 1300.0 << QPointF(0, 1100);
        QTest::newRow("third row again, rightwards") << 4 * 1600.0 + 300.0 << QPointF(300, 800);
        QTest::newRow("last leg back to the top") << 5 * 1600.0 + 1600.0 - 1.0 << QPointF(0, 1.0);
        QTest::newRow("next round") << 6 * 1600.0 + 500.0 << QPointF(500, 0);
    }
    void pathRunsAlongRowsDownAndBackUp() {
        QFETCH(double, travelled);
        QFETCH(QPointF, offset);
        const QPointF at = SimUsbCamera::panPosition(travelled);
        QVERIFY2(qAbs(at.x() - offset.x()) < 1e-6 && qAbs(at.y() - offset.y()) < 1e-6,
                 qPrintable(QString("%1, %2").arg(at.x()).arg(at.y())));
    }

    void stageMovesOnlyWhileStitchingTakesFrames() {
        SimUsbBus* bus = SimUsbBus::instance();
        bus->configure("14:fps=0");
        auto cam = bus->cameras().value(0);
        QVERIFY(cam);
        QCOMPARE(cam->shownStageOffset(), QPointF(0, 0)); // no stitching yet
        // Stitching frames keep coming: after its stop the stage is at the
        // next one, 400 units to the right, and stays there a while.
        QTRY_VERIFY([&] {
            bus->noteStitchingFrame();
            return cam->shownStageOffset().x() >= 400;
        }());
        QCOMPARE(cam->shownStageOffset(), QPointF(400, 0));
        // Then on to the next stop.
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            bus->noteStitchingFrame();
            return cam->shownStageOffset().x() > 400;
        }(), 10000);
        QCOMPARE(cam->shownStageOffset(), QPointF(800, 0)); // no place in between
        // The frames stop: half a second later the stage stands still.
        QTRY_VERIFY(bus->sinceStitchingFrame() > 550);
        const QPointF stopped = cam->shownStageOffset();
        QTRY_VERIFY(bus->sinceStitchingFrame() > 700);
        QCOMPARE(cam->shownStageOffset(), stopped);
        bus->configure(QString());
    }
};

int main(int argc, char** argv) {
    // Read once, at the first frame: set before anything asks.
    qputenv("SEVRIN_SIM_STAGE", "pan=0.5"); // half a second at each stop
    QCoreApplication app(argc, argv);
    TstSimStagePan test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sim_stage_pan.moc"
