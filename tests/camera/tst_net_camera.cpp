// The network camera driver and its nine models on simulated cameras:
// discovery, the failure boxes, live frames through the video feed,
// snapshots, received files, recording hand-over, model tables and exposure
// scales, zoom and auto-edge.
#include "NetCameraTestKit.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "camera/NetCamera.h"
#include "camera/VideoZoom.h"
#include "platform/NetSdkSimFrames.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace NetCameraTestKit;

namespace {

struct Deleter {
    void operator()(NetCamera* c) const { delete c; }
};
using CameraPtr = std::unique_ptr<NetCamera, Deleter>;

// The newest frame as the render step sees it.
struct Shown {
    bool ok = false;
    int width = 0, height = 0;
    NetSdkSimFrames::Stamp stamp;
    QColor markColour;
};

Shown renderStep(NetVideoFeed* feed) {
    Shown s;
    s.ok = feed->withNewestFrame([&](const uint8_t* bgr, int w, int h, int stride) {
        s.width = w;
        s.height = h;
        if (!NetSdkSimFrames::readStamp(bgr, w, h, stride, &s.stamp))
            return;
        const QPoint m = NetSdkSimFrames::markPosition(w, h, {}, s.stamp.serial) + QPoint(24, 24);
        const uint8_t* p = bgr + size_t(m.y()) * stride + size_t(m.x()) * 3;
        s.markColour = QColor(p[2], p[1], p[0]);
    });
    return s;
}

} // namespace

class NetCameraTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void broadcastListsNamesInOrderAndSkipsUnknownTypes();
    void broadcastOfUnknownTypesOnlyLeavesTheSdkAlone();
    void failedSdkInitialisationShowsMemoryRequestFailed_data();
    void failedSdkInitialisationShowsMemoryRequestFailed();
    void refusedCameraShowsCameraInitializationFailed();
    void createCameraMakesTheModelOfEachType();
    void framesArriveOnTheSdkThreadAndShowThroughTheRenderStep();
    void framesAtThreePerSecondOrLessAreNotShown();
    void pauseStopsFramesAndPlayResumesThem();
    void resolutionOutsideTheTableChangesNothing();
    void snapshotsProduceTheirFilesByMode();
    void snapshotIntoAnUnwritableFolderShowsTheReason_data();
    void snapshotIntoAnUnwritableFolderShowsTheReason();
    void receivedFilesLandInTheChosenFolder();
    void shootCameraFreesTheSnapButtonEachTime();
    void recordingRunsAtTheCurrentFrameSize();
    void corvoRecordsAtItsOwnSettings();
    void recordingWithoutARecorderIsRefused();
    void deletingALiveRecordingCameraStopsFramesFirst();
    void modelRangesSwitchesAndBlackWhiteCalls_data();
    void modelRangesSwitchesAndBlackWhiteCalls();
    void exposureScalesOfTheModels();
    void syncParamsReadsTheCameraInBothLayouts();
    void corvoResolutionAndFrameSize();
    void zoomListFitAndAnchors();
    void autoEdgeMovesThePointOntoTheEdge();

private:
    std::unique_ptr<TestEnv> m_env;
    std::vector<std::pair<NetVideoFeed*, QSize>> m_attached;
    std::vector<NetVideoFeed*> m_detached;
    std::vector<std::tuple<QString, int, bool>> m_saves;
    std::vector<QRect> m_placed;
    QRect m_videoRect{0, 0, 1920, 1080};
    CountingRecorder* m_lastRecorder = nullptr; // valid while the camera holds it
    QImage m_readBackPicture;
    std::vector<QRect> m_readBackAreas;
};

void NetCameraTest::init() {
    m_env = std::make_unique<TestEnv>();
    m_attached.clear();
    m_detached.clear();
    m_saves.clear();
    m_placed.clear();
    m_readBackAreas.clear();
    m_videoRect = QRect(0, 0, 1920, 1080);
    MessagePassing::instance()->setLanguage(1);
    NetCameraLinks links;
    links.attachVideo = [this](NetVideoFeed* f, int w, int h) { m_attached.push_back({f, QSize(w, h)}); };
    links.detachVideo = [this](NetVideoFeed* f) { m_detached.push_back(f); };
    links.videoRect = [this] { return m_videoRect; };
    links.placeVideo = [this](const QRect& r) { m_placed.push_back(r); };
    links.readBack = [this](QImage& target, const QRect& area) {
        m_readBackAreas.push_back(area);
        if (m_readBackPicture.isNull())
            return false;
        target = m_readBackPicture.copy(area).convertToFormat(QImage::Format_ARGB32);
        return true;
    };
    links.newRecorder = [this] { return m_lastRecorder = new CountingRecorder; };
    links.startSaveThread = [this](const QString& p, int m, bool d) { m_saves.emplace_back(p, m, d); };
    NetCamera::setLinks(links);
}

void NetCameraTest::cleanup() {
    installSim(QString());
    NetCamera::setLinks(NetCameraLinks());
    videoHostWidget = nullptr;
    m_env.reset();
}

void NetCameraTest::broadcastListsNamesInOrderAndSkipsUnknownTypes() {
    NetSdkSim* sim = installSim("8@192.168.1.20,9@192.168.1.21,0@192.168.1.22,6@10.0.0.7,-1@10.0.0.8");
    QVERIFY(NetCamera::broadcastCameras());
    QCOMPARE(netCameraNames, (QList<QString>{"Corvo:192.168.1.20", "Halder:192.168.1.22", "Vosker:10.0.0.7"}));
    // The address list stays parallel to the names, so that position i of
    // the panel's list opens camera i.
    QCOMPARE(netCameraAddrs, (QList<QString>{"192.168.1.20", "192.168.1.22", "10.0.0.7"}));
    QCOMPARE(calls(sim, "WF_InitRes"), QStringList{"WF_InitRes(1,3)"});

    sim->clearCallLog();
    CameraPtr camera(NetCamera::createCamera(1, nullptr));
    QVERIFY(camera);
    QCOMPARE(camera->className(), QString("NetCamera_Halder"));
    QCOMPARE(camera->address(), QString("192.168.1.22"));
    QCOMPARE(calls(sim, "WF_InitCameraSingle"), QStringList{"WF_InitCameraSingle(0,2,192.168.1.22,8554)"});

    // A second search replaces the lists.
    installSim("2@10.1.1.1");
    QVERIFY(NetCamera::broadcastCameras());
    QCOMPARE(netCameraNames, QList<QString>{"Moravel:10.1.1.1"});
}

void NetCameraTest::broadcastOfUnknownTypesOnlyLeavesTheSdkAlone() {
    NetSdkSim* sim = installSim("9@1.2.3.4,12@1.2.3.5");
    QVERIFY(NetCamera::broadcastCameras());
    QVERIFY(netCameraNames.isEmpty());
    QVERIFY(netCameraAddrs.isEmpty());
    QVERIFY(calls(sim, "WF_InitRes").isEmpty());
    QVERIFY(!sim->initialised());

    installSim(QString());
    QVERIFY(NetCamera::broadcastCameras());
    QVERIFY(netCameraNames.isEmpty());
}

void NetCameraTest::failedSdkInitialisationShowsMemoryRequestFailed_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("simplified") << 0 << QString::fromUtf8("内存申请失败！");
    QTest::newRow("english") << 1 << QString("Memory request failed!");
    QTest::newRow("traditional") << 2 << QString::fromUtf8("記憶體申請失敗！");
}

void NetCameraTest::failedSdkInitialisationShowsMemoryRequestFailed() {
    QFETCH(int, language);
    QFETCH(QString, text);
    MessagePassing::instance()->setLanguage(language);
    NetSdkSim* sim = installSim("5@10.0.0.1");
    sim->setFailInitRes(true);
    MessageBoxCatcher boxes;
    QVERIFY(!NetCamera::broadcastCameras());
    QCOMPARE(boxes.titles, QStringList{"Error"});
    QCOMPARE(boxes.texts, QStringList{text});
    QCOMPARE(netCameraNames, QList<QString>{"Krell:10.0.0.1"}); // the lists stay filled
}

void NetCameraTest::refusedCameraShowsCameraInitializationFailed() {
    NetSdkSim* sim = installSim("5@10.0.0.1");
    QVERIFY(NetCamera::broadcastCameras());
    sim->setFailInitCamera(true);
    MessageBoxCatcher boxes;
    QVERIFY(!NetCamera::createCamera(0, nullptr));
    QVERIFY(!NetCamera::createCamera(7, nullptr)); // no such entry
    QCOMPARE(boxes.titles, (QStringList{"Error", "Error"}));
    QCOMPARE(boxes.texts, (QStringList{"Camera initialization failed!", "Camera initialization failed!"}));
    QVERIFY(!sim->isLive(0));

    MessagePassing::instance()->setLanguage(0);
    QVERIFY(!NetCamera::createCamera(0, nullptr));
    QCOMPARE(boxes.texts.last(), QString::fromUtf8("相机初始化失败！"));
}

void NetCameraTest::createCameraMakesTheModelOfEachType() {
    const char* const classes[] = {"NetCamera_Halder", "NetCamera_Zamble", "NetCamera_Moravel",
                                   "NetCamera_Gormet", "NetCamera_Saffen", "NetCamera_Krell",
                                   "NetCamera_Vosker", "NetCamera_Pellam", "NetCamera_Corvo"};
    for (int type = 0; type <= 8; ++type) {
        NetSdkSim* sim = nullptr;
        CameraPtr camera(openCamera(QString("%1@10.0.%1.1").arg(type), 0, &sim));
        QVERIFY(camera);
        QCOMPARE(camera->className(), QString(classes[type]));
        QVERIFY(camera->isNetCamera());
        QCOMPARE(camera->resolutionIndex(), 0);
        QCOMPARE(camera->frameSize(), type == 8 ? QSize(3840, 2160) : QSize(1920, 1080));
        QCOMPARE(camera->recordSettings().fps, 10);
        QVERIFY(camera->isPlaying());
        QVERIFY(sim->isLive(0));
        QCOMPARE(calls(sim, "WF_SetResolution"), QStringList{"WF_SetResolution(0,0)"});
        QCOMPARE(m_attached.back().first, static_cast<NetVideoFeed*>(camera.get()));
        QCOMPARE(m_attached.back().second, camera->frameSize());
        QCOMPARE(NetCamera::namePrefix(type) + camera->address(), netCameraNames[0]);
    }
    QVERIFY(!NetCamera::newModel(9, nullptr));
    QVERIFY(NetCamera::namePrefix(-1).isEmpty());
}

void NetCameraTest::framesArriveOnTheSdkThreadAndShowThroughTheRenderStep() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("3@10.0.0.3:fps=100", 0, &sim));
    QVERIFY(camera);
    NetVideoFeed* feed = m_attached.back().first;
    QVERIFY(feed->feedPlaying());
    QVERIFY(sim->waitFrames(0, 3, 20000));
    const int first = feed->newestFrameIndex();
    QVERIFY(first >= 0);
    Shown shown = renderStep(feed);
    QVERIFY(shown.ok);
    QCOMPARE(QSize(shown.width, shown.height), QSize(1920, 1080));
    QCOMPARE(QSize(shown.stamp.width, shown.stamp.height), QSize(1920, 1080));
    QCOMPARE(shown.markColour, QColor(255, 0, 0));
    // A later frame is a new index and a later picture.
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    QVERIFY(feed->newestFrameIndex() != first);
    const Shown later = renderStep(feed);
    QVERIFY(later.stamp.serial > shown.stamp.serial);
}

void NetCameraTest::framesAtThreePerSecondOrLessAreNotShown() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("3@10.0.0.3:fps=3", 0, &sim));
    QVERIFY(camera);
    QCOMPARE(camera->frameRate(), 3.0f);
    QVERIFY(sim->waitFrames(0, 1, 20000));
    QCOMPARE(m_attached.back().first->newestFrameIndex(), -1);
    QVERIFY(!m_attached.back().first->withNewestFrame([](const uint8_t*, int, int, int) {}));
}

void NetCameraTest::pauseStopsFramesAndPlayResumesThem() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("4@10.0.0.4:fps=200", 0, &sim));
    QVERIFY(sim->waitFrames(0, 1, 20000));
    camera->pause();
    QVERIFY(!camera->isPlaying());
    QVERIFY(!sim->isLive(0));
    QCOMPARE(camera->frameRate(), 0.0f);
    const int frozen = m_attached.back().first->newestFrameIndex();
    QVERIFY(renderStep(m_attached.back().first).ok); // the last picture stays
    camera->play();
    QVERIFY(camera->isPlaying());
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    QVERIFY(m_attached.back().first->newestFrameIndex() != frozen);
}

void NetCameraTest::resolutionOutsideTheTableChangesNothing() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("1@10.0.0.1", 0, &sim));
    sim->clearCallLog();
    const size_t attaches = m_attached.size();
    camera->setResolution(3);
    camera->setResolution(-1);
    QCOMPARE(camera->frameSize(), QSize(1920, 1080));
    QCOMPARE(camera->resolutionIndex(), 0);
    QVERIFY(calls(sim, "WF_SetResolution").isEmpty());
    QCOMPARE(m_attached.size(), attaches);
    camera->setResolution(2);
    QCOMPARE(camera->frameSize(), QSize(3840, 2160));
    QCOMPARE(calls(sim, "WF_SetResolution"), QStringList{"WF_SetResolution(0,2)"});
    QCOMPARE(m_attached.back().second, QSize(3840, 2160));
}

void NetCameraTest::snapshotsProduceTheirFilesByMode() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("0@10.0.0.1", 0, &sim));
    QVERIFY(camera);
    QList<std::tuple<int, QString, QSize>> handed;
    QObject receiver;
    QObject::connect(MessagePassing::instance(), &MessagePassing::saveItemSIGNAL, &receiver,
                     [&](QImage* image, int mode, QString target) {
                         handed.append({mode, target, image->size()});
                         delete image;
                     });

    // Mode 0: the SDK writes the picture, the save thread finishes it.
    const QString p0 = m_env->file("snap0");
    camera->snapImage(p0, 0, true, false, Qt::red, 0, 0);
    QImage picture;
    QVERIFY(picture.load(p0, "JPG"));
    QCOMPARE(picture.size(), QSize(1920, 1080));
    QCOMPARE(m_saves.size(), size_t(1));
    QCOMPARE(m_saves[0], std::make_tuple(p0, 0, true));

    // Mode 10: the same road, saved directly by the hub later.
    const QString p10 = m_env->file("series_3");
    camera->snapImage(p10, 10, false, false, Qt::red, 0, 0);
    QVERIFY(QFile::exists(p10));
    QCOMPARE(m_saves.size(), size_t(2));
    QCOMPARE(m_saves[1], std::make_tuple(p10, 10, false));

    // Mode 1: the camera keeps the picture; nothing local, nothing handed on.
    const QString p1 = m_env->file("kept");
    camera->snapImage(p1, 1, true, false, Qt::red, 0, 0);
    QVERIFY(!QFile::exists(p1));
    QCOMPARE(sim->cardFiles(0), QStringList{"kept.jpg"});
    QCOMPARE(m_saves.size(), size_t(2));
    QVERIFY(handed.isEmpty());

    // Mode 2 goes straight to the hub, which takes the file over.
    const QString p2 = m_env->file("report");
    camera->snapImage(p2, 2, false, false, Qt::red, 0, 0);
    QCOMPARE(handed.size(), 1);
    QCOMPARE(std::get<0>(handed[0]), 2);
    QCOMPARE(std::get<1>(handed[0]), p2 + ".jpg");
    QCOMPARE(std::get<2>(handed[0]), QSize(1920, 1080));
    QVERIFY(!QFile::exists(p2));
    QCOMPARE(m_saves.size(), size_t(2));

    // A picture the SDK cannot write is not handed on.
    camera->snapImage(m_env->file("no/such/dir/x"), 0, true, false, Qt::red, 0, 0);
    QCOMPARE(m_saves.size(), size_t(2));
}

void NetCameraTest::snapshotIntoAnUnwritableFolderShowsTheReason_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("iconsCleared");
    QTest::newRow("snap") << 0 << 1;
    QTest::newRow("palette screenshot") << 8 << 1;
    QTest::newRow("palette save") << 9 << 1;
    QTest::newRow("series") << 10 << 0;
}

void NetCameraTest::snapshotIntoAnUnwritableFolderShowsTheReason() {
    QFETCH(int, mode);
    QFETCH(int, iconsCleared);
    // A folder of the kernel's own file system takes no files, even for the
    // superuser; the reason the system gives must not reach the box.
    const QString folder = "/sys/kernel";
    const QByteArray probe = (folder + "/sevrin-probe").toLocal8Bit();
    const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
        QSKIP("this system lets the kernel's folder take files");
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    MessagePassing::instance()->setLanguage(1);
    CameraPtr camera(openCamera("0@10.0.0.1", 0));
    QVERIFY(camera);
    MessageBoxCatcher boxes;
    QSignalSpy icon(MessagePassing::instance(), SIGNAL(removeIconCameraSIGNAL()));
    camera->snapImage(folder + "/snap", mode, true, false, Qt::red, 0, 0);
    QTRY_COMPARE(boxes.titles, QStringList{"Error"});
    QVERIFY2(boxes.texts.first().contains(folder + "/snap"), qPrintable(boxes.texts.first()));
    // The reason in the program's own words, not the system's: a folder an
    // ordinary user may not write, or for the superuser a name it refuses.
    const QString said = ::access(QFile::encodeName(folder).constData(), W_OK) == 0
                             ? "Writing the file is not allowed: " + folder + "/snap"
                             : "The folder is read-only: " + folder;
    QVERIFY2(boxes.texts.first().contains(said), qPrintable(boxes.texts.first()));
    QVERIFY2(!boxes.texts.first().contains(reason), qPrintable(boxes.texts.first() + " / " + reason));
    QCOMPARE(icon.count(), iconsCleared);
    QCOMPARE(m_saves.size(), size_t(0));
}

// "Shoot Camera": the camera keeps the picture, and the snap button is free
// again once it has been told, for the next snap; a camera that cannot take
// the picture says so in the Error box.
void NetCameraTest::shootCameraFreesTheSnapButtonEachTime() {
    MessagePassing::instance()->setLanguage(1);
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("0@10.0.0.1", 0, &sim));
    QVERIFY(camera);
    QSignalSpy icon(MessagePassing::instance(), SIGNAL(removeIconCameraSIGNAL()));
    MessageBoxCatcher boxes;
    camera->snapImage(m_env->file("first"), 1, true, false, Qt::red, 0, 0);
    QCOMPARE(icon.count(), 1);
    camera->snapImage(m_env->file("second"), 1, true, false, Qt::red, 0, 0);
    QCOMPARE(icon.count(), 2);
    QCOMPARE(sim->cardFiles(0), (QStringList{"first.jpg", "second.jpg"}));
    QVERIFY(boxes.titles.isEmpty());
    sim->setFailCard(true);
    camera->snapImage(m_env->file("third"), 1, true, false, Qt::red, 0, 0);
    QTRY_COMPARE(boxes.titles, QStringList{"Error"});
    QCOMPARE(icon.count(), 3);
    QCOMPARE(sim->cardFiles(0).size(), 2);
}

void NetCameraTest::receivedFilesLandInTheChosenFolder() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("7@10.0.0.7", 0, &sim));
    const QString inbox = m_env->file("received");
    QVERIFY(QDir().mkpath(inbox));
    sim->clearCallLog();
    QVERIFY(!camera->startReceiveFile(m_env->file("missing")));
    QCOMPARE(calls(sim, "WF_ReceiveFile"),
             (QStringList{"WF_ReceiveFile(0,1," + m_env->file("missing") + ")",
                          "WF_ReceiveFile(0,0," + m_env->file("missing") + ")"}));
    QVERIFY(camera->startReceiveFile(inbox));
    camera->snapImage(m_env->file("onboard"), 1, true, false, Qt::red, 0, 0);
    sim->pressShutter(0);
    QCOMPARE(QDir(inbox).entryList(QDir::Files, QDir::Name), (QStringList{"IMG_0001.jpg", "onboard.jpg"}));
    QImage picture;
    QVERIFY(picture.load(inbox + "/onboard.jpg", "JPG"));
    camera->stopReceiveFile();
    QCOMPARE(calls(sim, "WF_ReceiveFile").last(), QString("WF_ReceiveFile(0,0,null)"));
    sim->pressShutter(0);
    QCOMPARE(QDir(inbox).entryList(QDir::Files).size(), 2);
}

void NetCameraTest::recordingRunsAtTheCurrentFrameSize() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("5@10.0.0.5:fps=100", 0, &sim));
    camera->setResolution(2);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    const int deletedBefore = CountingRecorder::deleted;
    QVERIFY(camera->startRecord(m_env->file("clip.mp4")));
    QVERIFY(!camera->startRecord(m_env->file("other.mp4"))); // one recorder at a time
    CountingRecorder* recorder = m_lastRecorder;
    QCOMPARE(recorder->settings.inputWidth, 3840);
    QCOMPARE(recorder->settings.inputHeight, 2160);
    QCOMPARE(recorder->settings.outputWidth, 1920);
    QCOMPARE(recorder->settings.fps, 10);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    QVERIFY(recorder->frames > 0);
    camera->setResolution(0); // frames of the new size are not pushed to a 4K recording
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    QVERIFY(!recorder->wrongSize);
    QVERIFY(!recorder->onCallerThread);
    camera->stopRecord();
    // The next frame sees the finished recorder and hands it to the GUI thread.
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 2, 20000));
    QTRY_COMPARE(CountingRecorder::deleted.load(), deletedBefore + 1);
    QVERIFY(camera->startRecord(m_env->file("clip2.mp4")));
    camera->stopRecord();
    QVERIFY(camera->startRecord(m_env->file("clip3.mp4"))); // a finished one is replaced at once
    camera.reset();
    QTRY_COMPARE(CountingRecorder::deleted.load(), deletedBefore + 3);
}

void NetCameraTest::corvoRecordsAtItsOwnSettings() {
    NetCameraLinks links = NetCamera::links();
    CountingRecorder* last = nullptr;
    links.newRecorder = [&last] { return last = new CountingRecorder; };
    NetCamera::setLinks(links);
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("8@10.0.0.8:fps=100", 0, &sim));
    QVERIFY(camera->startRecord(m_env->file("a.mp4")));
    QCOMPARE(last->settings.inputWidth, 3840);
    QCOMPARE(last->settings.inputHeight, 2160);
    QCOMPARE(last->settings.fps, 10);
    QCOMPARE(last->settings.outputWidth, 1920);
    QCOMPARE(last->settings.outputHeight, 1080);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    QVERIFY(last->frames > 0);
    QVERIFY(!last->wrongSize);
    QVERIFY(!last->onCallerThread); // pushed from the SDK's thread
    camera->stopRecord();
    camera->setResolution(1);
    QVERIFY(camera->startRecord(m_env->file("b.mp4")));
    QCOMPARE(last->settings.inputWidth, 1920);
    QCOMPARE(last->settings.inputHeight, 1080);
    QCOMPARE(last->settings.fps, 20);
    QCOMPARE(last->settings.inputCodec, 13);
    QCOMPARE(last->settings.inputPixelFormat, 3);
    QCOMPARE(last->settings.keepEvery, 1);
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    QVERIFY(last->frames > 0);
    QVERIFY(!last->wrongSize);
}

void NetCameraTest::recordingWithoutARecorderIsRefused() {
    NetCamera::setLinks(NetCameraLinks());
    CameraPtr camera(openCamera("5@10.0.0.5"));
    QVERIFY(!camera->startRecord(m_env->file("x.mp4")));
    camera->stopRecord(); // harmless
}

void NetCameraTest::deletingALiveRecordingCameraStopsFramesFirst() {
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera("2@10.0.0.2:fps=500", 0, &sim));
    QVERIFY(camera->startRecord(m_env->file("r.mp4")));
    QVERIFY(sim->waitFrames(0, 5, 20000));
    const int deletedBefore = CountingRecorder::deleted;
    NetVideoFeed* feed = camera.get();
    sim->clearCallLog();
    camera.reset();
    QVERIFY(!sim->isLive(0));
    const QStringList log = sim->callLog();
    QVERIFY(log.indexOf("WF_LiveStop(0)") >= 0);
    QVERIFY(log.indexOf("WF_LiveStop(0)") < log.indexOf("WF_SetFrameCallBack(0,null)"));
    QCOMPARE(CountingRecorder::deleted.load(), deletedBefore + 1);
    QCOMPARE(m_detached.back(), feed);
    const uint32_t after = sim->framesDelivered(0);
    QTest::qWait(20);
    QCOMPARE(sim->framesDelivered(0), after);
}

void NetCameraTest::modelRangesSwitchesAndBlackWhiteCalls_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("ranges");   // keys 0..9, "-" for no key
    QTest::addColumn<QString>("switches"); // availability of keys 10..14
    QTest::addColumn<QString>("bwCall");
    QTest::newRow("Krell") << 5 << "1-1108 20-200 0-50 16-511 16-511 16-511 0-16 0-100 0-150 0-16" << "11100"
                           << "WF_SetBWMode";
    QTest::newRow("Gormet") << 3 << "1-1108 20-200 0-20 16-511 16-511 16-511 0-16 0-100 0-150 0-16" << "11100"
                            << "WF_SetBWMode";
    QTest::newRow("Saffen") << 4 << "1-1108 20-200 0-20 16-511 16-511 16-511 0-16 0-100 0-150 0-16" << "11100"
                            << "WF_SetBWMode";
    QTest::newRow("Vosker") << 6 << "1-1108 20-200 0-50 16-511 - 16-511 0-16 0-100 0-150 0-16" << "11110"
                            << "WF_SetBWMode";
    QTest::newRow("Zamble") << 1 << "0-5525 20-200 0-7000 0-1023 0-1023 0-1023 0-255 0-255 0-100 0-255" << "11000"
                            << "WF_SetBWMode";
    QTest::newRow("Moravel") << 2 << "33-33033 20-200 0-80 16-1023 16-1023 16-1023 0-255 1-100 0-100 0-20"
                             << "11100" << "WF_SetBWMode";
    QTest::newRow("Halder") << 0 << "0-5541 20-200 0-50 0-1023 0-1023 0-1023 0-255 0-255 0-100 0-255" << "11001"
                            << "WF_SetTemperature";
    QTest::newRow("Pellam") << 7 << "0-5541 20-200 0-80 0-1023 0-1023 0-1023 0-255 0-255 0-30 0-255" << "11101"
                            << "WF_SetTemperature";
    QTest::newRow("Corvo") << 8 << "0-5541 20-200 0-80 0-2047 0-900 0-2047 0-254 0-254 0-254 0-254" << "11101"
                           << "WF_SetTemperature";
}

void NetCameraTest::modelRangesSwitchesAndBlackWhiteCalls() {
    QFETCH(int, type);
    QFETCH(QString, ranges);
    QFETCH(QString, switches);
    QFETCH(QString, bwCall);
    NetSdkSim* sim = nullptr;
    CameraPtr camera(openCamera(QString("%1@10.0.0.1").arg(type), 0, &sim));
    QVERIFY(camera);
    const QStringList r = ranges.split(' ');
    for (int key = 0; key < 10; ++key) {
        if (r[key] == "-") {
            QVERIFY2(camera->paramRange(key).isEmpty(), qPrintable(QString::number(key)));
            continue;
        }
        const QStringList mm = r[key].split('-');
        QCOMPARE(camera->paramRange(key), (QList<int>{mm[0].toInt(), mm[1].toInt(), 0}));
    }
    for (int i = 0; i < 5; ++i)
        QCOMPARE(camera->paramRange(10 + i), (QList<int>{switches[i].digitValue(), 0}));
    QVERIFY(camera->paramRange(15).isEmpty());
    QVERIFY(camera->paramRange(16).isEmpty());

    sim->clearCallLog();
    camera->setBWMode(1);
    camera->setExposureType(1);
    camera->set3DNR(1);
    camera->setHFlip(1);
    camera->setVFlip(0);
    QStringList expected{bwCall + "(0,1)", "WF_SetBWMode(0,1)"};
    if (type == 6)
        expected << "WF_Set3DNR(0,1)";
    expected << "WF_SetHFlip(0,1)" << "WF_SetVFlip(0,0)";
    QCOMPARE(sim->callLog(), expected);

    sim->clearCallLog();
    for (int key = 0; key <= 10; ++key)
        camera->setParam(key, 10 + key);
    QCOMPARE(sim->callLog(), (QStringList{"WF_SetBestAe(0,11)", "WF_SetGain_A(0,12)", "WF_SetGainR(0,13)",
                                          "WF_SetGainG(0,14)", "WF_SetGainB(0,15)", "WF_SetSaturation(0,16)",
                                          "WF_SetContrast(0,17)", "WF_SetSharpness(0,18)", "WF_SetHDR(0,19)"}));
    sim->clearCallLog();
    camera->setAE(true);
    camera->doAWB();
    QCOMPARE(sim->callLog(), (QStringList{"WF_SetDoAE(0,1)", "WF_SetDoAWB(0,1)"}));
}

void NetCameraTest::exposureScalesOfTheModels() {
    NetSdkSim* sim = nullptr;
    QSlider slider;
    {
        CameraPtr zamble(openCamera("1@10.0.0.1", 0, &sim));
        sim->clearCallLog();
        QCOMPARE(zamble->exposureText(0, false, true), QString("32us"));
        QCOMPARE(zamble->exposureText(5525, false, true), QString("16607us"));
        QCOMPARE(sim->callLog(), (QStringList{"WF_SetExposure(0,32)", "WF_SetExposure(0,16607)"}));
        QCOMPARE(zamble->exposureToSlider(16607, false), 5525);
        QCOMPARE(zamble->exposureToSlider(20000, false), 5525);
        QCOMPARE(zamble->exposureToSlider(33, false), 0); // 1/3 rounds down
        QCOMPARE(zamble->exposureToSlider(34, false), 1); // 2/3 rounds up
        zamble->setExposureRange(&slider, false);
        QCOMPARE(slider.minimum(), 0);
        QCOMPARE(slider.maximum(), 5525);
    }
    {
        CameraPtr halder(openCamera("0@10.0.0.1", 0, &sim));
        const QList<std::pair<int, QString>> longTexts{{0, "7us"},     {30, "967us"}, {31, "1ms"},  {130, "100ms"},
                                                       {131, "150ms"}, {147, "950ms"}, {148, "1s"}, {150, "1.2s"},
                                                       {188, "5s"}};
        for (const auto& [s, text] : longTexts)
            QCOMPARE(halder->exposureText(s, true, false), text);
        QCOMPARE(halder->exposureText(5541, false, false), QString("16630us"));
        sim->clearCallLog();
        halder->exposureText(131, true, true);
        QCOMPARE(sim->callLog(), QStringList{"WF_SetExposure(0,150000)"});
        QCOMPARE(halder->exposureToSlider(5000000, true), 188);
        QCOMPARE(halder->exposureToSlider(99000000, true), 188);
        QCOMPARE(halder->exposureToSlider(999, true), 31);
        QCOMPARE(halder->exposureToSlider(5, true), 0);
        QCOMPARE(halder->exposureToSlider(1000, true), 31);
        QCOMPARE(halder->exposureToSlider(150000, true), 131);
        QCOMPARE(halder->exposureToSlider(20000, false), 5541);
        QCOMPARE(halder->exposureToSlider(16, false), 3);
        halder->setExposureRange(&slider, true);
        QCOMPARE(slider.maximum(), 188);
        halder->setExposureRange(&slider, false);
        QCOMPARE(slider.maximum(), 5541);
    }
    {
        CameraPtr vosker(openCamera("6@10.0.0.1", 0, &sim));
        for (bool longType : {false, true}) {
            vosker->setExposureRange(&slider, longType);
            QCOMPARE(slider.minimum(), 1);
            QCOMPARE(slider.maximum(), 1108);
        }
        QCOMPARE(vosker->exposureText(500, true, false), QString("500"));
        QCOMPARE(vosker->exposureToSlider(500, false), 500);
    }
    {
        CameraPtr moravel(openCamera("2@10.0.0.1", 0, &sim));
        moravel->setExposureRange(&slider, false);
        QCOMPARE(slider.minimum(), 33);
        QCOMPARE(slider.maximum(), 33033);
        // The value these models are sent is the slider position, and back.
        sim->clearCallLog();
        QCOMPARE(moravel->exposureText(1234, false, true), QString("1234"));
        QCOMPARE(sim->callLog(), QStringList{"WF_SetExposure(0,1234)"});
        QCOMPARE(moravel->exposureToSlider(1234, false), 1234);
        QCOMPARE(moravel->exposureToSlider(5, false), 33);
    }
}

void NetCameraTest::syncParamsReadsTheCameraInBothLayouts() {
    NetSdkSim* sim = nullptr;
    QSignalSpy effects(MessagePassing::instance(), SIGNAL(initImgEffectSIGNAL()));
    {
        CameraPtr krell(openCamera("5@10.0.0.1", 0, &sim));
        for (int key = 1; key <= 9; ++key)
            krell->setParam(key, 20 + key);
        krell->exposureText(700, false, true);
        krell->setHFlip(1);
        krell->setBWMode(1);
        krell->syncParams();
        for (int key = 0; key <= 9; ++key)
            QCOMPARE(krell->paramRange(key).at(2), key == 0 ? 700 : 20 + key);
        QCOMPARE(krell->paramRange(10).at(1), 1);
        QCOMPARE(krell->paramRange(11).at(1), 0);
        QCOMPARE(krell->paramRange(12).at(1), 1);
        QCOMPARE(krell->paramRange(13).at(1), 0);
        QCOMPARE(effects.count(), 1);
    }
    {
        CameraPtr vosker(openCamera("6@10.0.0.1", 0, &sim));
        vosker->setParam(CtlRedGain, 33);
        vosker->setParam(CtlGreenGain, 44); // sent, but this model shows no green gain
        vosker->setVFlip(1);
        vosker->setBWMode(1);
        vosker->set3DNR(1);
        vosker->syncParams();
        QCOMPARE(vosker->paramRange(CtlRedGain).at(2), 33);
        QVERIFY(vosker->paramRange(CtlGreenGain).isEmpty());
        QCOMPARE(vosker->paramRange(CtlFlip).at(1), 1);
        QCOMPARE(vosker->paramRange(CtlBlackWhite).at(1), 1);
        QCOMPARE(vosker->paramRange(Ctl3DNR).at(1), 1);
        QCOMPARE(effects.count(), 2);
    }
    {
        CameraPtr pellam(openCamera("7@10.0.0.1", 0, &sim));
        pellam->setBWMode(1);        // through WF_SetTemperature for this group
        pellam->setExposureType(1);  // through WF_SetBWMode
        pellam->doAWB();
        pellam->syncParams();
        QCOMPARE(pellam->paramRange(CtlBlackWhite).at(1), 1);
        QCOMPARE(pellam->paramRange(CtlExposureType).at(1), 1);
        QCOMPARE(pellam->paramRange(CtlRedGain).at(2), 300);
        QCOMPARE(pellam->paramRange(CtlGreenGain).at(2), 256);
        QCOMPARE(pellam->paramRange(CtlBlueGain).at(2), 280);
        QCOMPARE(effects.count(), 3);
    }
}

void NetCameraTest::corvoResolutionAndFrameSize() {
    NetSdkSim* sim = nullptr;
    CameraPtr corvo(openCamera("8@10.0.0.8:fps=100", 0, &sim));
    QVERIFY(sim->waitFrames(0, 2, 20000));
    QCOMPARE(renderStep(m_attached.back().first).width, 3840);
    corvo->setResolution(2); // ignored by this model
    QCOMPARE(corvo->resolutionIndex(), 0);
    corvo->setResolution(1);
    QCOMPARE(corvo->frameSize(false), QSize(1920, 1080));
    QCOMPARE(corvo->frameSize(true), QSize(3840, 2160));
    QCOMPARE(m_attached.back().second, QSize(1920, 1080));
    QVERIFY(sim->waitFrames(0, sim->framesDelivered(0) + 3, 20000));
    const Shown shown = renderStep(m_attached.back().first);
    QVERIFY(shown.ok);
    QCOMPARE(QSize(shown.width, shown.height), QSize(1920, 1080));
    QCOMPARE(QSize(shown.stamp.width, shown.stamp.height), QSize(1920, 1080));
    corvo->setResolution(0);
    QCOMPARE(corvo->frameSize(false), QSize(3840, 2160));
}

void NetCameraTest::zoomListFitAndAnchors() {
    QWidget host;
    host.resize(1000, 500);
    videoHostWidget = &host;
    CameraPtr camera(openCamera("4@10.0.0.4"));
    // fit = min(1000 / 1920, 500 / 1080) = 0.46296...: fifth of eleven.
    QCOMPARE(camera->scaleIndex(), 4);
    m_placed.clear();
    QCOMPARE(camera->setScaleIndex(10, QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor)), 1.0f);
    QCOMPARE(m_placed.back(), QRect(-460, -290, 1920, 1080));
    QVERIFY(!camera->isFitToWindow());

    // Anchored above the fit factor: the point under the anchor stays put.
    m_videoRect = QRect(100, 50, 960, 540);
    camera->setScaleIndex(10, QPoint(480, 270));
    QCOMPARE(m_placed.back(), QRect(-380, -220, 1920, 1080));
    // At or below the fit factor the picture is centred whatever the anchor.
    const float f = camera->setScaleIndex(2, QPoint(480, 270));
    QCOMPARE(f, 0.3f);
    QCOMPARE(m_placed.back(), QRect((1000 - 576) / 2, (500 - 324) / 2, 576, 324));
    QCOMPARE(camera->setScaleIndex(11, QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor)), 1.0f); // clamped

    camera->fitToWindow();
    QVERIFY(camera->isFitToWindow());
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const float s = std::min(screen.width() / 1920.0f, screen.height() / 1080.0f);
    const int w = int(1920 * s), h = int(1080 * s);
    QCOMPARE(m_placed.back(), QRect((1000 - w) / 2, (500 - h) / 2, w, h));

    videoHostWidget = nullptr;
}

void NetCameraTest::autoEdgeMovesThePointOntoTheEdge() {
    CameraPtr camera(openCamera("4@10.0.0.4"));
    m_videoRect = QRect(0, 0, 400, 300);
    // Dark left of x = 120, bright from there.
    m_readBackPicture = QImage(400, 300, QImage::Format_ARGB32);
    m_readBackPicture.fill(Qt::black);
    for (int y = 0; y < 300; ++y)
        for (int x = 120; x < 400; ++x)
            m_readBackPicture.setPixel(x, y, qRgb(255, 255, 255));

    int x = 112, y = 150;
    camera->snapToEdge(x, y);
    QCOMPARE(m_readBackAreas.back(), QRect(97, 135, 31, 31));
    QVERIFY2(x >= 118 && x <= 121, qPrintable(QString::number(x))); // onto the step
    QCOMPARE(y, 150);

    // Near the border the window is shifted inside the picture, not shrunk.
    x = 395;
    y = 3;
    camera->snapToEdge(x, y);
    QCOMPARE(m_readBackAreas.back(), QRect(369, 0, 31, 31));
    // A plain area has no edge: the point stays.
    QCOMPARE(x, 395);
    QCOMPARE(y, 3);

    // The picture off the host's origin (centred, zoomed or panned): the
    // search reads the picture where it lies and the point lands on the same
    // edge, in picture coordinates.
    m_videoRect = QRect(100, 50, 400, 300);
    m_readBackPicture = QImage(600, 400, QImage::Format_ARGB32);
    m_readBackPicture.fill(Qt::black);
    for (int y = 0; y < 400; ++y)
        for (int x = 220; x < 600; ++x)
            m_readBackPicture.setPixel(x, y, qRgb(255, 255, 255));
    x = 112;
    y = 150;
    camera->snapToEdge(x, y);
    QCOMPARE(m_readBackAreas.back(), QRect(197, 185, 31, 31));
    QVERIFY2(x >= 118 && x <= 121, qPrintable(QString::number(x)));
    m_videoRect = QRect(0, 0, 400, 300);
    m_readBackPicture = m_readBackPicture.copy(100, 50, 400, 300);

    camera->setEdgeSearchSize(11, 11);
    x = 200;
    y = 100;
    camera->snapToEdge(x, y);
    QCOMPARE(m_readBackAreas.back(), QRect(195, 95, 11, 11));
    m_readBackPicture = QImage();
    x = 119;
    camera->snapToEdge(x, y); // read-back fails: the point stays
    QCOMPARE(x, 119);
}

QTEST_MAIN(NetCameraTest)
#include "tst_net_camera.moc"
