#include "PanelTestKit.h"
#include "app/MessagePassing.h"
#include "panels/camera/CameraForm.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

// The capture bar against a recording camera and a stand-in for the general
// settings panel's answers.
class TestCaptureBar : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<RecordingCamera> cam;
    std::unique_ptr<CameraForm> bar;
    MessagePassing* hub = MessagePassing::instance();

    QToolButton* button(const char* name) { return bar->findChild<QToolButton*>(name); }
    QString videoDir() { return env->file("Export/Video"); }

private slots:
    void init();
    void cleanup();
    void snapPassesStoredSettings_data();
    void snapPassesStoredSettings();
    void recordingWaitsForItsOwnAnswer();
    void failedStartShowsErrorAndReturnsResolution();
    void diskSpaceThreshold_data();
    void diskSpaceThreshold();
    void hostileNamesRefused_data();
    void hostileNamesRefused();
    void sequenceNamesSkipExistingRecordings();
    void noCameraNothingHappens();
};

void TestCaptureBar::init() {
    env = std::make_unique<TestEnv>();
    cam = std::make_unique<RecordingCamera>();
    hub->setCurCamera(cam.get());
    hub->setLanguage(1);
    hub->imgType = "jpg";
    bar = std::make_unique<CameraForm>();
    CameraForm::freeSpaceQuery = [](const QString&) { return qint64(1) << 40; };
}

void TestCaptureBar::cleanup() {
    bar.reset();
    hub->setVideoState(false);
    hub->setCurCamera(nullptr);
    cam.reset();
    env.reset();
}

void TestCaptureBar::snapPassesStoredSettings_data() {
    QTest::addColumn<QVariantMap>("ini");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("expected"); // after the folder
    QTest::addColumn<int>("storedIndex");
    QVariantMap counter{{"isAutoDate", false}, {"autoNameBegin", "A"}, {"autoNameIndex", 41}, {"isSnapPC", false},
                        {"isAutoName", false}, {"isTimeSign", true}, {"timeColorIndex", 2}, {"timePosIndex", 3},
                        {"imgSize", 2}};
    QTest::newRow("sequence, all options") << counter << "png" << "/A_00042,1,false,true,#00ff00,3,2)" << 42;
    QVariantMap wrap{{"isAutoDate", false}, {"autoNameIndex", 90000}};
    QTest::newRow("counter wraps") << wrap << "jpg" << "/img_00001,0,true,false,#ff0000,0,1)" << 1;
    QVariantMap hostile{{"isAutoDate", false}, {"timeColorIndex", 99}, {"timePosIndex", 7}, {"imgSize", 5}};
    QTest::newRow("out-of-range values use defaults") << hostile << "jpg" << "/img_00001,0,true,false,#ff0000,0,1)"
                                                      << 1;
    QVariantMap taken{{"isAutoDate", false}, {"autoNameIndex", 41}};
    QTest::newRow("name taken on disk") << taken << "tiff" << "/img_00042_001,0,true,false,#ff0000,0,1)" << 42;
}

void TestCaptureBar::snapPassesStoredSettings() {
    QFETCH(QVariantMap, ini);
    QFETCH(QString, type);
    QFETCH(QString, expected);
    QFETCH(int, storedIndex);
    {
        QSettings s("./CameraSet.ini", QSettings::IniFormat);
        for (auto it = ini.begin(); it != ini.end(); ++it)
            s.setValue(it.key(), it.value());
    }
    hub->imgType = type;
    QDir().mkpath(env->file("Export/Image"));
    QFile(env->file("Export/Image/img_00042.tiff")).open(QIODevice::WriteOnly);
    button("btnCamera")->click();
    QCOMPARE(cam->log.calls.size(), 1);
    QCOMPARE(cam->log.calls[0], "snapImage(" + env->file("Export/Image") + expected.replace("true", "1").replace("false", "0"));
    QCOMPARE(QSettings("./CameraSet.ini", QSettings::IniFormat).value("autoNameIndex").toInt(), storedIndex);
    // Busy until the saver reports: a second Ctrl+Q does nothing.
    QVERIFY(!button("btnCamera")->isEnabled());
    emit hub->snapCtrlQSIGNAL();
    QCOMPARE(cam->log.calls.size(), 1);
    hub->removeIconCamera();
    QVERIFY(button("btnCamera")->isEnabled());
}

void TestCaptureBar::recordingWaitsForItsOwnAnswer() {
    QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
    QSignalSpy giveBack(hub, SIGNAL(changeFenBianLv1080pReturnSIGNAL(int)));
    button("btnVideo")->click();
    QCOMPARE(request.size(), 1);
    QCOMPARE(request[0][0].toInt(), 1);
    // Pending: a second click sends nothing.
    QVERIFY(!button("btnVideo")->isEnabled());
    button("btnVideo")->click();
    QCOMPARE(request.size(), 1);
    QVERIFY(bar->recordingFile().startsWith(videoDir() + "/video_"));
    QVERIFY(bar->recordingFile().endsWith(".mp4"));

    hub->changeFenBianLv1080pFinish(-1); // a manual Fast Mode switch
    const qint64 answered = cam->log.clock.elapsed();
    hub->changeFenBianLv1080pFinish(1);
    QTRY_VERIFY(hub->isVideoState());
    QCOMPARE(cam->log.count("startRecord"), 1);
    QCOMPARE(cam->log.calls.last(), "startRecord(" + bar->recordingFile() + ")");
    QVERIFY(cam->log.times.last() - answered >= 95);
    QVERIFY(button("btnVideo")->isHidden());
    QVERIFY(!button("btnVideoStop")->isHidden());

    button("btnVideoStop")->click();
    QCOMPARE(cam->log.calls.last(), QString("stopRecord"));
    const qint64 stopped = cam->log.clock.elapsed();
    QVERIFY(giveBack.wait(2000));
    QCOMPARE(giveBack[0][0].toInt(), 1);
    QVERIFY(cam->log.clock.elapsed() - stopped >= 95);
    QVERIFY(hub->isVideoState());
    hub->changeFenBianLv1080pReturnFinish(-1);
    QVERIFY(hub->isVideoState());
    hub->changeFenBianLv1080pReturnFinish(1);
    QVERIFY(!hub->isVideoState());
    QVERIFY(!button("btnVideo")->isHidden());
    QVERIFY(button("btnVideo")->isEnabled());
}

void TestCaptureBar::failedStartShowsErrorAndReturnsResolution() {
    cam->recordResult = false;
    ModalAnswerer answerer;
    QSignalSpy giveBack(hub, SIGNAL(changeFenBianLv1080pReturnSIGNAL(int)));
    button("btnVideo")->click();
    hub->changeFenBianLv1080pFinish(1);
    QTRY_COMPARE(answerer.boxTexts, QStringList{"Recording failed!"});
    QCOMPARE(answerer.boxTitles, QStringList{"Error"});
    QTRY_COMPARE(giveBack.size(), 1);
    QCOMPARE(giveBack[0][0].toInt(), 1);
    QVERIFY(!hub->isVideoState());
    QVERIFY(button("btnVideo")->isEnabled());
}

void TestCaptureBar::diskSpaceThreshold_data() {
    QTest::addColumn<qint64>("mib");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("100 MiB") << qint64(100) << false;
    QTest::newRow("101 MiB") << qint64(101) << true;
}

void TestCaptureBar::diskSpaceThreshold() {
    QFETCH(qint64, mib);
    QFETCH(bool, accepted);
    QString asked;
    CameraForm::freeSpaceQuery = [&](const QString& folder) {
        asked = folder;
        return mib * 1024 * 1024 + 1023;
    };
    ModalAnswerer answerer;
    QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
    button("btnVideo")->click();
    QCOMPARE(asked, videoDir());
    QCOMPARE(request.size(), accepted ? 1 : 0);
    QCOMPARE(answerer.boxTexts, accepted ? QStringList() : QStringList{"not enough disk space!"});
}

void TestCaptureBar::hostileNamesRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "run1" << true;
    QTest::newRow("parent") << "../x" << false;
    QTest::newRow("sub folder") << "a/b" << false;
    QTest::newRow("colon") << "c:d" << false;
}

void TestCaptureBar::hostileNamesRefused() {
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QSettings("./VideoSet.ini", QSettings::IniFormat).setValue("isAutoName", false);
    QDir().mkpath(videoDir());
    QFile(videoDir() + "/run1.mp4").open(QIODevice::WriteOnly);
    ModalAnswerer answerer;
    answerer.inputText = name;
    QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
    button("btnVideo")->click();
    QCOMPARE(request.size(), accepted ? 1 : 0);
    QCOMPARE(answerer.boxTitles.size(), accepted ? 0 : 1);
    if (accepted)
        QCOMPARE(bar->recordingFile(), videoDir() + "/run1_001.mp4");
    // Scanned codes are held to the same rule.
    cleanup();
    init();
    QSignalSpy scanned(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
    emit hub->GunReturnVideoSIGNAL(name);
    QCOMPARE(scanned.size(), accepted ? 1 : 0);
}

void TestCaptureBar::sequenceNamesSkipExistingRecordings() {
    {
        QSettings s("./VideoSet.ini", QSettings::IniFormat);
        s.setValue("isAutoDate", false);
        s.setValue("autoNameIndex", 90000);
    }
    QDir().mkpath(videoDir());
    QFile old(videoDir() + "/video_00001.mp4");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("earlier recording");
    old.close();
    button("btnVideo")->click();
    QCOMPARE(bar->recordingFile(), videoDir() + "/video_00001_001.mp4");
    QCOMPARE(QSettings("./VideoSet.ini", QSettings::IniFormat).value("autoNameIndex").toInt(), 1);
}

void TestCaptureBar::noCameraNothingHappens() {
    QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
    button("btnVideo")->click();
    hub->setCurCamera(nullptr);
    emit hub->GunReturnVideoSIGNAL("AB12");
    QCOMPARE(request.size(), 1);
    hub->changeFenBianLv1080pFinish(1);
    QTRY_VERIFY(button("btnVideo")->isEnabled());
    QVERIFY(!hub->isVideoState());
    QCOMPARE(cam->log.count("startRecord"), 0);
    emit hub->GunReturnSIGNAL("AB12");
    button("btnCamera")->click();
    QVERIFY(cam->log.calls.isEmpty());
}

QTEST_MAIN(TestCaptureBar)
#include "tst_capture_bar.moc"
