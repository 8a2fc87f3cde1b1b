#include "MediaProbe.h"
#include "NetCameraTestKit.h"
#include "camera/NetRecorderAdapter.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

#include <memory>

using namespace NetCameraTestKit;

// A simulated network camera records through the real recorder: the file is
// H.264 at the camera's frame size and a reader sees every frame written.
class TestNetRecording : public QObject {
    Q_OBJECT
private slots:
    void recordsAPlayableFile();
};

void TestNetRecording::recordsAPlayableFile() {
    TestEnv env;
    NetCameraLinks links;
    links.newRecorder = [] { return new NetRecorderAdapter(); };
    NetCamera::setLinks(links);
    NetSdkSim* sim = nullptr;
    std::unique_ptr<NetCamera> camera(openCamera("0@10.0.0.5:fps=30", 0, &sim));
    QVERIFY(camera);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    const QString path = env.file("net.mp4");
    QVERIFY(camera->startRecord(path));
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 20, 20000));
    camera->stopRecord();
    camera.reset(); // deleting the camera finishes the file
    const ProbeResult probe = probeVideo(path);
    QVERIFY2(probe.ok, qPrintable(probe.errors));
    QCOMPARE(probe.codec, QString("h264"));
    QCOMPARE(probe.width, 1920);
    QVERIFY(probe.frames >= 10);
    NetCamera::setLinks(NetCameraLinks());
}

QTEST_MAIN(TestNetRecording)
#include "tst_net_recording.moc"
