// The render step never waits on the camera: with a stalled camera each pass
// of the interface loop returns after at most the read's short wait, and the
// video goes on by itself when frames come again.
#include "FakeUsbWorkers.h"
#include "tests/support/TestEnv.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"

#include <QSettings>
#include <QtTest>

class TstRenderStepStalledCamera : public QObject {
    Q_OBJECT
private slots:
    void passesGoOnWhileTheCameraIsStalled_data();
    void passesGoOnWhileTheCameraIsStalled();
};

void TstRenderStepStalledCamera::passesGoOnWhileTheCameraIsStalled_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << int(PixFmtNV12);
    QTest::newRow("MJPG") << int(PixFmtMJPG);
}

void TstRenderStepStalledCamera::passesGoOnWhileTheCameraIsStalled() {
    QFETCH(int, format);
    TestEnv env;
    FakeUsbWorkers workers;
    SleepClock::FakeTime clock;
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
    // A camera whose reads would each wait 500 ms for a frame that never comes.
    SimUsbBus::instance()->configure("14:fps=30:timeout=500");
    auto sim = SimUsbBus::instance()->cameras().value(0);
    SDLBackground window;
    videoWindow = &window;
    window.setCanvasSize(QSize(640, 360));
    window.show();
    {
        UVCCamera cam;
        QVERIFY(cam.open(0, format));
        cam.startLive();
        cam.fitToWindow();
        // Each pass, then the rest in which the decoder finishes what the
        // pass handed over (it says when it is done: no time guessed).
        const auto pass = [&] {
            window.renderFrame();
            window.waitDecoded(30000);
            clock.advance(15);
        };
        for (int i = 0; i < 10 && window.uploadCount() == 0; ++i)
            pass();
        QVERIFY(window.uploadCount() > 0);
        sim->setStalled(true);
        pass(); // shows the picture of the last frame that came
        const int shown = window.uploadCount();
        const uint64_t t0 = clock.now();
        for (int i = 0; i < 200; ++i)
            window.renderFrame();
        // 200 passes cost the fake clock at most the short wait each, where
        // blocking reads would have taken 200 x 500 ms.
        QVERIFY2(clock.now() - t0 <= 200 * UVCCamera::RenderReadWaitMs, qPrintable(QString::number(clock.now() - t0)));
        QCOMPARE(window.uploadCount(), shown);
        sim->setStalled(false);
        for (int i = 0; i < 10 && window.uploadCount() == shown; ++i)
            pass();
        QVERIFY(window.uploadCount() > shown);
    }
    videoWindow = nullptr;
    SimUsbBus::instance()->configure(QString());
}

QTEST_MAIN(TstRenderStepStalledCamera)
#include "tst_render_step_stalled_camera.moc"
