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
        // Legs of 1200 along a row plus 250 to the next: 1450 units each.
        QTest::newRow("start") << 0.0 << QPointF(0, 0);
        QTest::newRow("along the first row") << 500.0 << QPointF(500, 0);
        QTest::newRow("end of the first row") << 1200.0 << QPointF(1200, 0);
        QTest::newRow("stepping down") << 1300.0 << QPointF(1200, 100);
        QTest::newRow("second row, leftwards") << 1450.0 + 200.0 << QPointF(1000, 250);
        QTest::newRow("fourth row's end") << 3 * 1450.0 + 1200.0 << QPointF(0, 750);
        QTest::newRow("stepping back up") << 3 * 1450.0 + 1300.0 << QPointF(0, 650);
        QTest::newRow("third row again, rightwards") << 4 * 1450.0 + 300.0 << QPointF(300, 500);
        QTest::newRow("last leg back to the top") << 5 * 1450.0 + 1450.0 - 1.0 << QPointF(0, 1.0);
        QTest::newRow("next round") << 6 * 1450.0 + 500.0 << QPointF(500, 0);
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
        // Stitching frames keep coming: the stage pans to the right.
        QTRY_VERIFY([&] {
            bus->noteStitchingFrame();
            return cam->shownStageOffset().x() > 50;
        }());
        QCOMPARE(cam->shownStageOffset().y(), 0.0);
        // They stop: half a second later the stage stands still.
        QTRY_VERIFY(bus->sinceStitchingFrame() > 550);
        const QPointF stopped = cam->shownStageOffset();
        QTRY_VERIFY(bus->sinceStitchingFrame() > 700);
        QCOMPARE(cam->shownStageOffset(), stopped);
        bus->configure(QString());
    }
};

int main(int argc, char** argv) {
    // Read once, at the first frame: set before anything asks.
    qputenv("SEVRIN_SIM_STAGE", "pan=400");
    QCoreApplication app(argc, argv);
    TstSimStagePan test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sim_stage_pan.moc"
