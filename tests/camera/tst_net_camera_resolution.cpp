// Resolution changes while the SDK's thread keeps delivering frames as fast
// as it can: the ring is replaced under its lock, frames of the old size are
// dropped, and the render step never sees a torn or mis-sized picture.
// Also one to run under ThreadSanitizer (README, "Sanitizer builds").
#include "NetCameraTestKit.h"

#include "platform/NetSdkSimFrames.h"
#include "tests/support/TestEnv.h"

#include <QTest>

#include <memory>

using namespace NetCameraTestKit;

class NetCameraResolutionTest : public QObject {
    Q_OBJECT
private slots:
    void resolutionChangesUnderRunningFramesShowNoTornFrame();
};

void NetCameraResolutionTest::resolutionChangesUnderRunningFramesShowNoTornFrame() {
    TestEnv env;
    NetVideoFeed* feed = nullptr;
    CountingRecorder* recorder = nullptr;
    NetCameraLinks links;
    links.attachVideo = [&](NetVideoFeed* f, int, int) { feed = f; };
    links.newRecorder = [&] { return recorder = new CountingRecorder; };
    NetCamera::setLinks(links);

    NetSdkSim* sim = nullptr;
    std::unique_ptr<NetCamera> camera(openCamera("2@10.0.0.2:fps=1000", 0, &sim));
    QVERIFY(camera);
    QVERIFY(feed);
    QVERIFY(camera->startRecord(env.file("run.mp4")));

    int shown = 0, torn = 0, missized = 0;
    auto renderStep = [&](QSize ring) {
        feed->withNewestFrame([&](const uint8_t* bgr, int w, int h, int stride) {
            ++shown;
            NetSdkSimFrames::Stamp stamp;
            if (!NetSdkSimFrames::readStamp(bgr, w, h, stride, &stamp) || stamp.width != w || stamp.height != h)
                ++torn;
            if (QSize(w, h) != ring)
                ++missized;
        });
    };

    const int switches = 16;
    for (int i = 0; i < switches; ++i) {
        const int index = i % 2 == 0 ? 2 : (i % 4 == 1 ? 0 : 1);
        const QSize size = index == 2 ? QSize(3840, 2160) : QSize(1920, 1080);
        camera->setResolution(index);
        QCOMPARE(camera->frameSize(), size);
        // The frame in flight may still be of the old size; the one after it is not.
        const uint32_t target = sim->framesDelivered(0) + 2;
        while (sim->framesDelivered(0) < target) {
            renderStep(size);
            QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 1, 20000));
        }
        renderStep(size);
        bool newSize = false;
        feed->withNewestFrame([&](const uint8_t*, int w, int h, int) { newSize = QSize(w, h) == size; });
        QVERIFY2(newSize, qPrintable(QString("switch %1").arg(i)));
    }
    QCOMPARE(torn, 0);
    QCOMPARE(missized, 0);
    QVERIFY(shown >= switches);
    // Only frames of the size the recording began with were recorded.
    QVERIFY(recorder->frames > 0);
    QVERIFY(!recorder->wrongSize);

    // And the camera goes away while frames still pour in.
    camera.reset();
    QVERIFY(!sim->isLive(0));
    NetCamera::setLinks(NetCameraLinks());
    installSim(QString());
}

QTEST_MAIN(NetCameraResolutionTest)
#include "tst_net_camera_resolution.moc"
