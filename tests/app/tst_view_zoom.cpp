#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/hub/MessagePassing.h"
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
    // The program's own start ends with the camera scan that builds the
    // views; a case run before it would find none.
    QTRY_VERIFY_WITH_TIMEOUT(main->isVisible() && mw->splittersRestored() && main->camerasReady(), 20000);
    QCoreApplication::processEvents(); // the layouts these posted
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
    QMetaObject::invokeMethod(mw, "btnSacleOKClick");
    const int fit = slider->value();
    // The wheel position is in the interface window; the view area lies
    // inside it, away from its origin.
    const QPoint viewOrigin = mw->viewArea()->mapTo(mw, QPoint(0, 0));
    QVERIFY(viewOrigin.x() > 0);
    const QPoint inView = videoWindow->pos() + QPoint(videoWindow->size().width() / 3, videoWindow->size().height() / 4);
    const QPointF image = imagePointAt(inView);
    const QSize frame = cam->frameSize(false);
    for (const int step : {+1, +1, +1, +1, +1, -1, -1, -1, -1}) {
        const int before = slider->value();
        if (step > 0)
            MessagePassing::instance()->wheelEventAdd(viewOrigin + inView);
        else
            MessagePassing::instance()->wheelEventSub(viewOrigin + inView);
        QCOMPARE(slider->value(), before + step);
        // Where the image point is shown now, against where the cursor is.
        const QPointF shown = QPointF(videoWindow->pos()) +
                              QPointF(image.x() * videoWindow->size().width() / frame.width(),
                                      image.y() * videoWindow->size().height() / frame.height());
        QVERIFY2(std::abs(shown.x() - inView.x()) <= 2.0 && std::abs(shown.y() - inView.y()) <= 2.0,
                 qPrintable(QString("step to %1: shown at (%2,%3), cursor (%4,%5)")
                                .arg(slider->value()).arg(shown.x()).arg(shown.y()).arg(inView.x()).arg(inView.y())));
    }
    QVERIFY(slider->value() > fit);
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
    const QPoint outside = mw->viewArea()->mapTo(mw, QPoint(0, 0)) + videoWindow->pos() +
                           QPoint(videoWindow->size().width() + 10, 10);
    MessagePassing::instance()->wheelEventSub(outside);
    QCOMPARE(slider->value(), before);
}

QTEST_MAIN(TestViewZoom)
#include "tst_view_zoom.moc"
