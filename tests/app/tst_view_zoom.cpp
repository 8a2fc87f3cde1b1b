#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "camera/UvcModels.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QtTest>

#include <memory>

// The view area with a live simulated camera: wheel zoom keeps the picture
// point under the mouse in place, and the scroll bars pan the picture.
class TestViewZoom : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void wheelZoomKeepsThePointUnderTheMouse();
    void scrollBarsPanThePicture();
    void wheelOutsideThePictureDoesNothing();

private:
    QPointF imagePointAt(const QPoint& viewPoint) const {
        const QSize frame = cam->frameSize(false);
        const QPoint rel = viewPoint - videoWindow->pos();
        return QPointF(rel.x() * double(frame.width()) / videoWindow->size().width(),
                       rel.y() * double(frame.height()) / videoWindow->size().height());
    }
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<SleepClock::FakeTime> clock;
    std::unique_ptr<SDLBackground> window;
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<UVCCamera> cam;
    MainWidget* mw = nullptr;
};

void TestViewZoom::initTestCase() {
    sevrinInitResources();
    env = std::make_unique<TestEnv>();
    clock = std::make_unique<SleepClock::FakeTime>();
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
    SimUsbBus::instance()->configure("14:fw=31:fps=0");
    window = std::make_unique<SDLBackground>();
    videoWindow = window.get();
    main = std::make_unique<MainWindow>();
    mw = main->centralWidgetWindow();
    main->resize(1600, 900);
    mw->resize(1600, 900);
    mw->show();
    QTest::qWait(100);
    cam.reset(UvcModels::openModel(14, 0, "NV12"));
    QVERIFY(cam);
    MessagePassing::instance()->setCurCamera(cam.get());
    cam->startLive();
    cam->initScaleList();
    QMetaObject::invokeMethod(mw, "btnSacleOKClick");
    QVERIFY(!videoWindow->size().isEmpty());
}

void TestViewZoom::cleanupTestCase() {
    MessagePassing::instance()->setCurCamera(nullptr);
    cam.reset();
    main.reset();
    videoWindow = nullptr;
    window.reset();
    SimUsbBus::instance()->configure(QString());
}

void TestViewZoom::wheelZoomKeepsThePointUnderTheMouse() {
    auto* slider = mw->findChild<QSlider*>("slider");
    const int before = slider->value();
    const QSize sizeBefore = videoWindow->size();
    const QPoint p = videoWindow->pos() + QPoint(sizeBefore.width() / 3, sizeBefore.height() / 4);
    const QPointF imageBefore = imagePointAt(p);
    MessagePassing::instance()->wheelEventAdd(p);
    QCOMPARE(slider->value(), before + 1);
    QVERIFY(videoWindow->size().width() > sizeBefore.width());
    const QPointF imageAfter = imagePointAt(p);
    QVERIFY2(std::abs(imageAfter.x() - imageBefore.x()) <= 3.0 && std::abs(imageAfter.y() - imageBefore.y()) <= 3.0,
             qPrintable(QString("(%1,%2) -> (%3,%4)")
                            .arg(imageBefore.x()).arg(imageBefore.y()).arg(imageAfter.x()).arg(imageAfter.y())));
}

void TestViewZoom::scrollBarsPanThePicture() {
    auto* h = mw->findChild<QScrollBar*>("scrollBarH");
    auto* v = mw->findChild<QScrollBar*>("scrollBarV");
    // Zoomed to 1.0: the picture is larger than the view, so the bars can pan.
    auto* slider = mw->findChild<QSlider*>("slider");
    slider->setValue(slider->maximum());
    QMetaObject::invokeMethod(mw, "sliderValueChangedDelay2");
    QVERIFY(h->maximum() > 0);
    QCOMPARE(h->maximum(), std::max(0, videoWindow->size().width() - mw->viewArea()->width()));
    h->setValue(120);
    QCOMPARE(videoWindow->pos().x(), -120);
    v->setValue(40);
    QCOMPARE(videoWindow->pos().y(), -40);
    // The bars show the picture's position back as absolute values.
    MessagePassing::instance()->renewScrollBar();
    QCOMPARE(h->value(), 120);
    QCOMPARE(v->value(), 40);
}

void TestViewZoom::wheelOutsideThePictureDoesNothing() {
    auto* slider = mw->findChild<QSlider*>("slider");
    const int before = slider->value();
    const QPoint outside = videoWindow->pos() + QPoint(videoWindow->size().width() + 10, 10);
    MessagePassing::instance()->wheelEventSub(outside);
    QCOMPARE(slider->value(), before);
}

QTEST_MAIN(TestViewZoom)
#include "tst_view_zoom.moc"
