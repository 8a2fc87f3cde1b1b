#include "app/InfoDialog.h"
#include "camera/UvcModels.h"
#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"

#include <memory>
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

class TestWindowModes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void edgeZones();
    void edgeResizeKeepsSixteenByNine();
    void resizeSnapsToMinimum_data();
    void resizeSnapsToMinimum();
    void smallModeIsCentred();
    void fullScreenAndBack();
    void percentText();
    void aboutDialog();
};

void TestWindowModes::edgeZones() {
    MainWidget w;
    w.setMinimumSize(0, 0);
    w.resize(1600, 900);
    QCOMPARE(w.getResizeZone(QPoint(3, 3)), 5);
    QCOMPARE(w.getResizeZone(QPoint(1596, 2)), 6);
    QCOMPARE(w.getResizeZone(QPoint(0, 899)), 7);
    QCOMPARE(w.getResizeZone(QPoint(1593, 893)), 8);
    QCOMPARE(w.getResizeZone(QPoint(7, 400)), 1);
    QCOMPARE(w.getResizeZone(QPoint(1593, 400)), 2);
    QCOMPARE(w.getResizeZone(QPoint(800, 7)), 3);
    QCOMPARE(w.getResizeZone(QPoint(800, 893)), 4);
    QCOMPARE(w.getResizeZone(QPoint(8, 8)), 0);
}

void TestWindowModes::edgeResizeKeepsSixteenByNine() {
    const QRect r(0, 0, 1600, 900);
    QCOMPARE(MainWidget::resizedRect(r, 2, 160, 0).size(), QSize(1760, 990));
    QCOMPARE(MainWidget::resizedRect(r, 8, 160, 37).size(), QSize(1760, 990));
    // Left edge: the right and bottom edges stay.
    const QRect left = MainWidget::resizedRect(QRect(100, 100, 1600, 900), 1, -160, 0);
    QCOMPARE(left.right(), 1699);
    QCOMPARE(left.bottom(), 999);
    QCOMPARE(left.size(), QSize(1760, 990));
    // Bottom edge: width follows height.
    QCOMPARE(MainWidget::resizedRect(r, 4, 0, 90).size(), QSize(int(990 * (16.0f / 9.0f)), 990));
    // Top-left corner dragged inwards: bottom-right stays put.
    const QRect tl = MainWidget::resizedRect(QRect(0, 0, 1600, 900), 5, 160, 0);
    QCOMPARE(tl.bottomRight(), QPoint(1599, 899));
    QCOMPARE(tl.size(), QSize(1440, 810));
}

void TestWindowModes::resizeSnapsToMinimum_data() {
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("expected");
    // The right edge dragged to 502 x 282: the width stops at the minimum and
    // the height follows at 16:9; when that height is still too small, the
    // height stops at its minimum and the width follows.
    QTest::newRow("width") << QSize(800, 300) << QSize(800, 450);
    QTest::newRow("height") << QSize(800, 600) << QSize(1066, 600);
}

void TestWindowModes::resizeSnapsToMinimum() {
    QFETCH(QSize, minimum);
    QFETCH(QSize, expected);
    TestEnv env;
    MainWindow main;
    MainWidget* w = main.centralWidgetWindow();
    w->setGeometry(0, 0, 1600, 900);
    w->show();
    QMetaObject::invokeMethod(w, "slo_btnNoBorder");
    QVERIFY(w->isNoBorderMode());
    w->setMinimumSize(minimum);
    w->setGeometry(0, 0, 1600, 900);
    const QPoint g0 = w->mapToGlobal(QPoint(1598, 450));
    QMouseEvent press(QEvent::MouseButtonPress, QPoint(1598, 450), g0, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent move(QEvent::MouseMove, QPoint(500, 450), g0 - QPoint(1098, 0), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QCOMPARE(w->size(), expected);
    QMouseEvent release(QEvent::MouseButtonRelease, QPoint(500, 450), g0, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
    // Let go: the main window below has the final size, not the step before.
    QCOMPARE(main.size(), w->size());
}

void TestWindowModes::smallModeIsCentred() {
    TestEnv env;
    const int saved = uiSizeFactor;
    uiSizeFactor = 10;
    MainWindow main;
    MainWidget* w = main.centralWidgetWindow();
    w->show();
    auto* small = w->findChild<QToolButton*>("btnSmall");
    auto* big = w->findChild<QToolButton*>("btnBig");
    small->click();
    QCOMPARE(w->size(), QSize(1024, 768));
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(w->pos(), QPoint((avail.width() - 1024) / 2, (avail.height() - 768) / 2));
    QVERIFY(big->isVisibleTo(w));
    QVERIFY(!small->isVisibleTo(w));
    big->click();
    QVERIFY(small->isVisibleTo(w));
    QCOMPARE(w->pos(), QPoint(0, 0));
    uiSizeFactor = saved;
}

void TestWindowModes::fullScreenAndBack() {
    TestEnv env;
    MainWindow main;
    MainWidget* w = main.centralWidgetWindow();
    w->show();
    QWidget* top = w->findChild<QWidget*>("widget_top");
    w->findChild<QToolButton*>("btnFullScreen")->click();
    QVERIFY(w->isFullScreenMode());
    QVERIFY(!top->isVisibleTo(w));
    MessagePassing::instance()->quitFullScreen(); // Esc
    QVERIFY(!w->isFullScreenMode());
    QVERIFY(top->isVisibleTo(w));
    MessagePassing::instance()->quitFullScreen(); // nothing more to undo
    QVERIFY(top->isVisibleTo(w));
}

void TestWindowModes::percentText() {
    QCOMPARE(MainWidget::percentText(0.5f), QString("50%"));
    QCOMPARE(MainWidget::percentText(1.234f), QString("123%"));
}

void TestWindowModes::aboutDialog() {
    TestEnv env;
    MessagePassing::instance()->setLanguage(2);
    uiSizeFactor = 10;
    QSize size10;
    QRect logo10;
    {
        InfoDialog d;
        size10 = d.size();
        logo10 = d.findChild<QLabel*>("labLogo")->geometry();
        QVERIFY(!d.findChild<QLabel*>("labYing")->isVisibleTo(&d)); // no camera: no hardware label
        QCOMPARE(d.findChild<QLabel*>("lab_04")->text(), QString("兼容：Windows 7/8/10/11"));
        QCOMPARE(d.findChild<QLabel*>("lab_03")->text(), QString("軟件版本：V4.1.0.4"));
    }
    uiSizeFactor = 20;
    {
        InfoDialog d;
        QCOMPARE(d.size(), size10 * 2);
        QCOMPARE(d.findChild<QLabel*>("labLogo")->geometry(),
                 QRect(logo10.topLeft() * 2, logo10.size() * 2));
    }
    uiSizeFactor = 10;
    MessagePassing::instance()->setLanguage(1);
    {
        // English with a Dunmor open: the hardware line and its version text.
        SleepClock::FakeTime clock;
        SimUsbBus::instance()->configure("8:fw=31");
        std::unique_ptr<UVCCamera> cam(UvcModels::openModel(8, 0, "NV12"));
        QVERIFY(cam);
        MessagePassing::instance()->setCurCamera(cam.get());
        // The simulator's registers FD, FC, FB, FA hold 3, 31, 2, 1.
        const QString version = "V3.31.2.1";
        InfoDialog d;
        auto* hard = d.findChild<QLabel*>("labYing");
        QVERIFY(hard->isVisibleTo(&d));
        QCOMPARE(hard->text(), QString("Hard Version：") + version);
        MessagePassing::instance()->setCurCamera(nullptr);
        cam.reset();
        SimUsbBus::instance()->configure(QString());
    }
    QVERIFY(InfoDialog::helpPath(1).endsWith("/help/help_en.pdf"));
    QVERIFY(InfoDialog::helpPath(0).endsWith("/help/help.pdf"));
    MessagePassing::instance()->setLanguage(0);
}

QTEST_MAIN(TestWindowModes)
#include "tst_window_modes.moc"
