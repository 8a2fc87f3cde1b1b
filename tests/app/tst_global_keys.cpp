#include "app/GlobalApplication.h"
#include "app/hub/MessagePassing.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
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
    void escapeReachesWhatIsOpen_data();
    void escapeReachesWhatIsOpen();
};

static void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
    QKeyEvent e(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &e);
}

void TestGlobalKeys::cleanup() {
    MessagePassing* hub = MessagePassing::instance();
    hub->setGunMode(0);
    // Pending scanner timers run out between cases.
    QTRY_VERIFY_WITH_TIMEOUT(hub->pendingGunActions() == 0 && hub->isGunCapture(), 5000);
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

// Escape cancels whatever is open (a modal dialog, a dialog that is not
// modal, a popup menu, an open combo list), also in scanner mode; with
// nothing open it leaves full screen.
void TestGlobalKeys::escapeReachesWhatIsOpen_data() {
    QTest::addColumn<QString>("open");
    QTest::addColumn<int>("gunMode");
    for (int mode : {0, 1}) {
        for (const char* what : {"dialog", "modeless dialog", "menu", "combo list", "nothing"})
            QTest::newRow(qPrintable(QString("%1, scanner mode %2").arg(what).arg(mode))) << QString(what) << mode;
    }
}

void TestGlobalKeys::escapeReachesWhatIsOpen() {
    QFETCH(QString, open);
    QFETCH(int, gunMode);
    MessagePassing* hub = MessagePassing::instance();
    QSignalSpy quitFull(hub, &MessagePassing::quitFullScreenSIGNAL);
    QWidget window;
    auto* combo = new QComboBox(&window);
    combo->addItems({"one", "two", "three"});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    hub->setGunMode(gunMode);
    QWidget* target = nullptr;
    bool stillOpen = true;
    int dialogResult = -1;
    if (open == "dialog") {
        QDialog dialog(&window);
        QTimer::singleShot(0, &dialog, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() == &dialog);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            stillOpen = dialog.isVisible();
            if (stillOpen)
                dialog.accept();
        });
        dialogResult = dialog.exec();
        QCOMPARE(dialogResult, int(QDialog::Rejected));
    } else if (open == "modeless dialog") {
        // A top-level window of its own, as the Word template editor is.
        QDialog dialog;
        auto* field = new QLineEdit(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        // As the keyboard's key comes: to its window first.
        field->setFocus();
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
        QCOMPARE(rejected.count(), 1);
        stillOpen = dialog.isVisible();
    } else if (open == "menu") {
        QMenu menu(&window);
        menu.addAction("item");
        menu.popup(window.mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(QApplication::activePopupWidget() == &menu);
        QTest::keyClick(&menu, Qt::Key_Escape);
        stillOpen = menu.isVisible();
    } else if (open == "combo list") {
        combo->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        target = QApplication::activePopupWidget();
        QTest::keyClick(target, Qt::Key_Escape);
        QTRY_VERIFY(!target->isVisible());
        stillOpen = false;
    } else {
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(quitFull.count(), 1);
        return;
    }
    QVERIFY2(!stillOpen, "Escape closes it");
    QCOMPARE(quitFull.count(), 0);
    QCOMPARE(hub->getGunBuffer(), QString());
}

int main(int argc, char** argv) {
    GlobalApplication app(argc, argv);
    TestEnv env;
    TestGlobalKeys t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_global_keys.moc"
