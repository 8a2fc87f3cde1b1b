#include "app/GlobalApplication.h"
#include "app/MessagePassing.h"
#include "tests/support/TestEnv.h"

#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

// Global keys and barcode-scanner input as the application object sees them.
class TestGlobalKeys : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void scannerTurnsAFastBurstIntoOneCode();
    void shortScanEmitsNothingButPauses();
    void scannerModeSwallowsKeys();
    void snapshotKeysWithoutScanner();
    void wheelOverTheCentralWindow();
};

static void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
    QKeyEvent e(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &e);
}

void TestGlobalKeys::cleanup() {
    MessagePassing::instance()->setGunMode(0);
    QTest::qWait(1100); // let pending scanner timers run out between cases
}

void TestGlobalKeys::scannerTurnsAFastBurstIntoOneCode() {
    MessagePassing* hub = MessagePassing::instance();
    QWidget w;
    hub->setGunMode(1);
    QSignalSpy snap(hub, &MessagePassing::GunReturnSIGNAL);
    QSignalSpy video(hub, &MessagePassing::GunReturnVideoSIGNAL);
    for (int key : {int(Qt::Key_A), int(Qt::Key_B), int(Qt::Key_Minus), int(Qt::Key_1), int(Qt::Key_2)})
        press(&w, key);
    press(&w, Qt::Key_Return);
    QCOMPARE(snap.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(snap.count(), 1, 2000);
    QCOMPARE(snap.first().first().toString(), QString("AB-12"));
    QCOMPARE(video.count(), 0);
    // Paused for 500 ms after a finished code: a key now is dropped.
    QVERIFY(!hub->isGunCapture());
    press(&w, Qt::Key_C);
    QVERIFY(hub->getGunBuffer().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(hub->isGunCapture(), 2000);
    // Mode 2 names videos.
    hub->setGunMode(2);
    for (int key : {int(Qt::Key_X), int(Qt::Key_Space), int(Qt::Key_Y), int(Qt::Key_9)})
        press(&w, key);
    QTRY_COMPARE_WITH_TIMEOUT(video.count(), 1, 2000);
    QCOMPARE(video.first().first().toString(), QString("XY9")); // space not stored; three is enough
}

void TestGlobalKeys::shortScanEmitsNothingButPauses() {
    MessagePassing* hub = MessagePassing::instance();
    QWidget w;
    hub->setGunMode(1);
    QSignalSpy snap(hub, &MessagePassing::GunReturnSIGNAL);
    press(&w, Qt::Key_A);
    press(&w, Qt::Key_B);
    QTRY_VERIFY_WITH_TIMEOUT(!hub->isGunCapture(), 2000);
    QCOMPARE(snap.count(), 0);
    QVERIFY(hub->getGunBuffer().isEmpty());
}

void TestGlobalKeys::scannerModeSwallowsKeys() {
    MessagePassing* hub = MessagePassing::instance();
    QWidget w;
    hub->setGunMode(1);
    QSignalSpy snap(hub, &MessagePassing::snapCtrlQSIGNAL);
    QSignalSpy quitFull(hub, &MessagePassing::quitFullScreenSIGNAL);
    press(&w, Qt::Key_F1); // its code ends in 0x30: the digit 0
    press(&w, Qt::Key_Control); // ends in 0x21: "!"
    QCOMPARE(snap.count(), 0);
    QCOMPARE(hub->getGunBuffer(), QString("0!"));
    press(&w, Qt::Key_Escape);
    QCOMPARE(quitFull.count(), 1);
}

void TestGlobalKeys::snapshotKeysWithoutScanner() {
    MessagePassing* hub = MessagePassing::instance();
    QWidget w;
    QSignalSpy snap(hub, &MessagePassing::snapCtrlQSIGNAL);
    press(&w, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(snap.count(), 1);
    press(&w, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier); // passes through
    QCOMPARE(snap.count(), 1);
    press(&w, Qt::Key_F1, Qt::ShiftModifier);
    QCOMPARE(snap.count(), 2);
    press(&w, Qt::Key_Q);
    QCOMPARE(snap.count(), 2);
}

void TestGlobalKeys::wheelOverTheCentralWindow() {
    MessagePassing* hub = MessagePassing::instance();
    QSignalSpy add(hub, &MessagePassing::wheelEventAddSIGNAL);
    QSignalSpy sub(hub, &MessagePassing::wheelEventSubSIGNAL);
    QWidget w;
    w.setObjectName("MianWidgetWindow");
    auto wheel = [&](int delta) {
        QWheelEvent e(QPointF(30, 40), QPointF(30, 40), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(&w, &e);
    };
    wheel(120);
    wheel(-120);
    wheel(0);
    QCOMPARE(add.count(), 1);
    QCOMPARE(sub.count(), 2);
    QCOMPARE(add.first().first().toPoint(), QPoint(30, 40));
    QWidget other;
    QWheelEvent e(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(&other, &e);
    QCOMPARE(add.count(), 1);
}

int main(int argc, char** argv) {
    GlobalApplication app(argc, argv);
    TestEnv env;
    TestGlobalKeys t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_global_keys.moc"
