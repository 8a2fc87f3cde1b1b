#include "MediaProbe.h"
#include "NetCameraTestKit.h"
#include "app/hub/MessagePassing.h"
#include "camera/NetRecorderAdapter.h"
#include "tests/support/TestEnv.h"

#include <QFileInfo>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace NetCameraTestKit;

namespace {
// The real recorder, with the moments the camera handed each frame to it:
// the recorder stamps a frame between `before` and `after` of its push.
struct PushTimes {
    QMutex lock;
    QList<QPair<qint64, qint64>> pushes; // (before, after), monotonic ms
};
class TimedRecorder : public NetCameraRecorder {
public:
    explicit TimedRecorder(PushTimes* times) : m_times(times) {}
    bool startRecord(const QString& path, const NetRecordSettings& settings) override {
        return m_real.startRecord(path, settings);
    }
    int state() const override { return m_real.state(); }
    void pushFrame(const uint8_t* data, int bytes) override {
        const qint64 before = ThreadVideo::monotonicMs();
        m_real.pushFrame(data, bytes);
        const qint64 after = ThreadVideo::monotonicMs();
        QMutexLocker l(&m_times->lock);
        m_times->pushes << qMakePair(before, after);
    }
    void stopRecord() override { m_real.stopRecord(); }

private:
    NetRecorderAdapter m_real;
    PushTimes* m_times;
};
} // namespace

// A simulated network camera records through the real recorder: the file is
// H.264 at the camera's frame size, a reader sees every frame written, and
// it plays as long as the recording lasted whatever rate the camera sends.
class TestNetRecording : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void recordsAPlayableFile();
    void lastsAsLongAsTheRecording_data();
    void lastsAsLongAsTheRecording();
    void fullDiskReturnsTheCaptureBarToIdle();

private:
    std::unique_ptr<TestEnv> m_env;
};

void TestNetRecording::init() {
    m_env = std::make_unique<TestEnv>();
    NetCameraLinks links;
    links.newRecorder = [] { return new NetRecorderAdapter(); };
    NetCamera::setLinks(links);
}

void TestNetRecording::cleanup() {
    NetCamera::setLinks(NetCameraLinks());
    m_env.reset();
}

void TestNetRecording::recordsAPlayableFile() {
    NetSdkSim* sim = nullptr;
    std::unique_ptr<NetCamera> camera(openCamera("0@10.0.0.5:fps=30", 0, &sim));
    QVERIFY(camera);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    const QString path = m_env->file("net.mp4");
    LogCatcher log; // the recorder's closing line says what became of every frame
    QVERIFY(camera->startRecord(path));
    // Over a second and a third of a 30 fps camera: the recorder accounts
    // for at least ten of its frames (the file's ten per second), and the
    // file holds the ones it says it recorded. A machine too busy to encode
    // them all drops some and says so.
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 40, 20000));
    camera->stopRecord();
    camera.reset(); // deleting the camera finishes the file
    const ProbeResult probe = probeVideo(path);
    QVERIFY2(probe.ok, qPrintable(probe.errors));
    QCOMPARE(probe.codec, QString("h264"));
    QCOMPARE(probe.width, 1920);
    const RecordingEnd end = recordingEnd(log.lines().filter(path));
    QVERIFY2(end.ok, "the recorder says what became of every frame");
    QCOMPARE(probe.frames, end.ticks);
    QVERIFY(probe.frames >= 1);
    QVERIFY2(end.sent() >= 10, qPrintable(QString("%1 frames accounted for").arg(end.sent())));
}

void TestNetRecording::lastsAsLongAsTheRecording_data() {
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("resolution");
    QTest::addColumn<int>("fileFps");
    QTest::addColumn<int>("cameraFps"); // what the camera sends, as its SDK states it
    // Cameras sending 30 frames a second into files of 10 and 20 per second:
    // the modes "4KP10FPS" and "1080P20FPS" of the 4K model and the 20 fps
    // mode of a full-HD model, whose files keep 10 per second.
    QTest::newRow("4K model, 10 fps mode") << "8@10.0.0.5:fps=30" << 0 << 10 << 30;
    QTest::newRow("4K model, 1080P20FPS") << "8@10.0.0.5:fps=30" << 1 << 20 << 30;
    QTest::newRow("full-HD model, 1080P20FPS") << "0@10.0.0.5:fps=30" << 1 << 10 << 30;
    // A camera slower than its file's rate.
    QTest::newRow("full-HD model at 5 fps") << "0@10.0.0.5:fps=5" << 0 << 10 << 5;
    // The models whose panel offers "1080P20FPS", at their own rate.
    QTest::newRow("full-HD model 0, own rate, 1080P20FPS") << "0@10.0.0.5" << 1 << 10 << 20;
    QTest::newRow("full-HD model 7, own rate, 1080P20FPS") << "7@10.0.0.5" << 1 << 10 << 20;
}

void TestNetRecording::lastsAsLongAsTheRecording() {
    QFETCH(QString, config);
    QFETCH(int, resolution);
    QFETCH(int, fileFps);
    QFETCH(int, cameraFps);
    PushTimes times;
    NetCameraLinks links;
    links.newRecorder = [&times] { return new TimedRecorder(&times); };
    NetCamera::setLinks(links);
    NetSdkSim* sim = nullptr;
    std::unique_ptr<NetCamera> camera(openCamera(config, 0, &sim));
    QVERIFY(camera);
    camera->setResolution(resolution);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    QCOMPARE(camera->frameRate(), float(cameraFps));
    const QString path = m_env->file("speed.mp4");

    LogCatcher log; // the recorder's closing line says what became of every frame
    QVERIFY(camera->startRecord(path));
    // About six seconds of the camera's frames, however fast it really runs.
    const uint32_t first = sim->framesDelivered(0);
    QVERIFY(sim->waitFrames(0, first + 6 * cameraFps, 60000));
    camera->stopRecord();
    camera.reset(); // the file is finished when this returns

    const ProbeResult probe = probeVideo(path);
    QVERIFY2(probe.ok, qPrintable(probe.errors));
    const RecordingEnd end = recordingEnd(log.lines().filter(path));
    QVERIFY2(end.ok, "the recorder says what became of every frame");
    const int pushed = times.pushes.size();
    QVERIFY(pushed > 2);
    // The file holds one picture each tick of the camera's stated rate (at
    // most the file's) from the first frame handed over to the last, and
    // states that rate: a plain conversion keeps every frame, a plain decode
    // reads it without a word, whenever the machine let the frames come.
    const double rate = qMin(fileFps, cameraFps);
    const double shortest = (times.pushes.last().first - times.pushes.first().second) / 1000.0;
    const double longest = (times.pushes.last().second - times.pushes.first().first) / 1000.0;
    const QString what = QString("file %1 s; frames handed over for %2 to %3 s: %4 (%5 pictures, %6 dropped)")
                             .arg(probe.duration)
                             .arg(shortest)
                             .arg(longest)
                             .arg(pushed)
                             .arg(end.pictures)
                             .arg(end.dropped);
    QVERIFY2(probe.duration >= shortest - 0.5 / rate && probe.duration <= longest + 1.5 / rate, qPrintable(what));
    QVERIFY2(end.sent() == pushed, qPrintable(what));
    // A busy moment delays the encoder; the frames wait for it.
    QVERIFY2(end.dropped == 0, qPrintable(what));
    const QStringList faults = constantRateFaults(path, rate, end);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    // The recorder heard the rate the SDK states.
    QVERIFY2(!log.lines().filter(QString("the camera is said to send %1 frames a second").arg(cameraFps)).isEmpty(),
             qPrintable(log.lines().join("\n")));
}

void TestNetRecording::fullDiskReturnsTheCaptureBarToIdle() {
    MessagePassing* hub = MessagePassing::instance();
    QSignalSpy stopAsked(hub, SIGNAL(stopVideoSIGNAL()));
    NetSdkSim* sim = nullptr;
    auto fullHdCamera = [&] {
        std::unique_ptr<NetCamera> camera(openCamera("8@10.0.0.5:fps=30", 0, &sim));
        if (camera) {
            camera->setResolution(1);
            sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000);
        }
        return camera;
    };
    hub->setVideoState(true);

    // Stopped by the user: the bar is already on its way back.
    std::unique_ptr<NetCamera> camera = fullHdCamera();
    QVERIFY(camera);
    QVERIFY(camera->startRecord(m_env->file("stopped.mp4")));
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 10, 20000));
    camera->stopRecord();
    camera.reset(); // the file is finished when this returns
    QCoreApplication::processEvents();
    QCOMPARE(stopAsked.count(), 0);

    camera = fullHdCamera();
    QVERIFY(camera);
    // The file may grow by a megabyte and a half only: writing then fails as
    // on a full disk, and the recording ends by itself.
    const QString path = m_env->file("full.mp4");
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = {rlim_t(1536 * 1024), old.rlim_max};
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    const bool started = camera->startRecord(path);
    if (started)
        QTRY_COMPARE_WITH_TIMEOUT(stopAsked.count(), 1, 60000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(started);
    camera->stopRecord(); // what the bar's stop does: harmless on an ended recorder
    camera.reset();
    hub->setVideoState(false);
    QCOMPARE(stopAsked.count(), 1);
    const ProbeResult probe = probeVideo(path);
    QVERIFY2(probe.ok, qPrintable(probe.errors));
    QVERIFY(probe.frames > 0);
    QVERIFY(QFileInfo(path).size() <= 1536 * 1024);
}

QTEST_MAIN(TestNetRecording)
#include "tst_net_recording.moc"
