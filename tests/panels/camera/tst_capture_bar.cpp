#include "PanelTestKit.h"
#include "app/hub/MessagePassing.h"
#include "panels/camera/CameraForm.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

// The capture bar against a recording camera; the general settings panel's
// answers are sent by hand.
class TestCaptureBar : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<RecordingCamera> cam;
    std::unique_ptr<CameraForm> bar;
    MessagePassing* hub = MessagePassing::instance();

    QToolButton* button(const char* name) { return bar->findChild<QToolButton*>(name); }
    QString videoDir() { return env->file("Export/Video"); }
    static void setIni(const char* file, const QVariantMap& values) {
        QSettings s(file, QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            s.setValue(it.key(), it.value());
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        QDir().mkpath(videoDir());
        QDir().mkpath(env->file("Export/Image"));
        cam = std::make_unique<RecordingCamera>();
        hub->setCurCamera(cam.get());
        hub->setLanguage(1);
        bar = std::make_unique<CameraForm>();
        CameraForm::freeSpaceQuery = [](const QString&) { return qint64(1) << 40; };
    }
    void cleanup() {
        bar.reset();
        hub->setVideoState(false);
        hub->setCurCamera(nullptr);
        cam.reset();
        env.reset();
    }

    void snapPassesStoredSettings_data() {
        QTest::addColumn<QVariantMap>("ini");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("expected"); // after the folder
        QTest::addColumn<int>("storedIndex");
        QTest::newRow("sequence, all options")
            << QVariantMap{{"isAutoDate", false}, {"autoNameBegin", "A"}, {"autoNameIndex", 41},
                           {"isSnapPC", false},   {"isAutoName", false},  {"isTimeSign", true},
                           {"timeColorIndex", 2}, {"timePosIndex", 3},    {"imgSize", 2}}
            << "png"
            << "/A_00042,1,0,1,#00ff00,3,2)" << 42;
        QTest::newRow("wrap, out-of-range values use defaults") << QVariantMap{{"isAutoDate", false},
                                                                               {"autoNameIndex", 90000},
                                                                               {"timeColorIndex", 99},
                                                                               {"timePosIndex", 7},
                                                                               {"imgSize", 5}}
                                                                << "jpg"
                                                                << "/img_00001,0,1,0,#ff0000,0,1)" << 1;
        // The counter runs up to 90000 itself, then starts again at 1.
        QTest::newRow("last number of the run")
            << QVariantMap{{"isAutoDate", false}, {"autoNameIndex", 89999}} << "jpg"
            << "/img_90000,0,1,0,#ff0000,0,1)" << 90000;
        QTest::newRow("stored above the run")
            << QVariantMap{{"isAutoDate", false}, {"autoNameIndex", 123456}} << "jpg"
            << "/img_00001,0,1,0,#ff0000,0,1)" << 1;
        QTest::newRow("stored below the run")
            << QVariantMap{{"isAutoDate", false}, {"autoNameIndex", -3}} << "jpg"
            << "/img_00001,0,1,0,#ff0000,0,1)" << 1;
        QTest::newRow("name taken on disk")
            << QVariantMap{{"isAutoDate", false}, {"autoNameIndex", 41}} << "tiff"
            << "/img_00042_001,0,1,0,#ff0000,0,1)" << 42;
    }
    void snapPassesStoredSettings() {
        QFETCH(QVariantMap, ini);
        QFETCH(QString, type);
        QFETCH(QString, expected);
        setIni("./CameraSet.ini", ini);
        hub->imgType = type;
        QFile(env->file("Export/Image/img_00042.tiff")).open(QIODevice::WriteOnly);
        button("btnCamera")->click();
        QCOMPARE(cam->log.calls, QStringList{"snapImage(" + env->file("Export/Image") + expected});
        QTEST(QSettings("./CameraSet.ini", QSettings::IniFormat).value("autoNameIndex").toInt(),
              "storedIndex");
        // Busy until the saver reports: Ctrl+Q meanwhile does nothing.
        emit hub->snapCtrlQSIGNAL();
        QCOMPARE(cam->log.calls.size(), 1);
        hub->removeIconCamera();
        QVERIFY(button("btnCamera")->isEnabled());
    }

    // A still picture opened for editing: the snapshot button (and Ctrl+Q)
    // takes no picture until the live view is back.
    void snapshotButtonWhileAStillPictureIsEdited() {
        emit hub->setEditImageSIGNAL("still.jpg");
        QVERIFY(!button("btnCamera")->isEnabled());
        QVERIFY(!button("btnVideo")->isEnabled());
        QVERIFY(!button("btnPlay")->isHidden());
        QTest::mouseClick(button("btnCamera"), Qt::LeftButton);
        emit hub->snapCtrlQSIGNAL();
        QCOMPARE(cam->log.calls.filter(QRegularExpression("^snapImage")).size(), 0);
        button("btnPlay")->click();
        QVERIFY(button("btnCamera")->isEnabled());
        emit hub->snapCtrlQSIGNAL();
        QCOMPARE(cam->log.calls.filter(QRegularExpression("^snapImage")).size(), 1);
    }

    void recordingWaitsForItsOwnAnswer() {
        QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
        QSignalSpy giveBack(hub, SIGNAL(changeFenBianLv1080pReturnSIGNAL(int)));
        button("btnVideo")->click();
        button("btnVideo")->click(); // disabled while the request is pending
        QCOMPARE(request.size(), 1);
        QCOMPARE(request[0][0].toInt(), 1);
        QVERIFY(bar->recordingFile().startsWith(videoDir() + "/video_"));
        // Taken meanwhile by a link (another user's, in a shared folder): the next name.
        const QString chosen = bar->recordingFile();
        QVERIFY(QFile::link(videoDir() + "/gone.mp4", chosen));
        hub->changeFenBianLv1080pFinish(-1); // a manual Fast Mode switch
        const qint64 answered = cam->log.clock.elapsed();
        hub->changeFenBianLv1080pFinish(1);
        QTRY_VERIFY(hub->isVideoState());
        QCOMPARE(cam->log.calls, QStringList{"startRecord(" + bar->recordingFile() + ")"});
        QCOMPARE(bar->recordingFile(), QString(chosen).replace(".mp4", "_001.mp4"));
        QVERIFY(cam->log.times.last() - answered >= 95);
        QVERIFY(!button("btnVideoStop")->isHidden());

        button("btnVideoStop")->click();
        QCOMPARE(cam->log.calls.last(), "stopRecord");
        QVERIFY(giveBack.wait(2000));
        QCOMPARE(giveBack[0][0].toInt(), 1);
        QVERIFY(cam->log.clock.elapsed() - cam->log.times.last() >= 95);
        hub->changeFenBianLv1080pReturnFinish(-1);
        QVERIFY(hub->isVideoState());
        hub->changeFenBianLv1080pReturnFinish(1);
        QVERIFY(!hub->isVideoState());
        QVERIFY(!button("btnVideo")->isHidden());
        QVERIFY(button("btnVideo")->isEnabled());
    }

    void failedStartShowsErrorAndReturnsResolution_data() {
        QTest::addColumn<QString>("reason");
        QTest::newRow("no reason known") << QString();
        // The recorder refused its threads (as under ulimit -u 14).
        QTest::newRow("threads at their limit") << "\nThe limit of threads is reached";
    }
    void failedStartShowsErrorAndReturnsResolution() {
        QFETCH(QString, reason);
        cam->recordResult = false;
        std::unique_ptr<ProcessAtLimit> limit;
        if (!reason.isEmpty())
            cam->onStartRecord = [&] { limit = std::make_unique<ProcessAtLimit>(ProcessAtLimit::Threads); };
        ModalAnswerer answerer;
        QSignalSpy giveBack(hub, SIGNAL(changeFenBianLv1080pReturnSIGNAL(int)));
        button("btnVideo")->click();
        hub->changeFenBianLv1080pFinish(1);
        QTRY_COMPARE(giveBack.size(), 1);
        QVERIFY(reason.isEmpty() || (limit && limit->ok()));
        limit.reset();
        QCOMPARE(answerer.boxTitles, QStringList{"Error"});
        QCOMPARE(answerer.boxTexts.size(), 1);
        if (reason.isEmpty())
            QCOMPARE(answerer.boxTexts[0], QString("Recording failed!"));
        else
            QVERIFY2(answerer.boxTexts[0].startsWith("Recording failed!" + reason),
                     qPrintable(answerer.boxTexts[0]));
        QVERIFY(!hub->isVideoState());
        QVERIFY(button("btnVideo")->isEnabled());
    }

    void diskSpaceThreshold_data() {
        QTest::addColumn<qint64>("mib");
        QTest::newRow("100 MiB refused") << qint64(100);
        QTest::newRow("101 MiB accepted") << qint64(101);
    }
    void diskSpaceThreshold() {
        QFETCH(qint64, mib);
        QString asked;
        CameraForm::freeSpaceQuery = [&](const QString& folder) {
            return asked = folder, mib * 1024 * 1024 + 1023;
        };
        ModalAnswerer answerer;
        QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
        button("btnVideo")->click();
        QCOMPARE(asked, videoDir());
        QCOMPARE(request.size(), mib > 100 ? 1 : 0);
        QCOMPARE(answerer.boxTexts, mib > 100 ? QStringList() : QStringList{"not enough disk space!"});
    }

    void hostileNamesRefused_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"run1", "../x", "a/b", "c:d"})
            QTest::newRow(name) << name;
    }
    void hostileNamesRefused() {
        QFETCH(QString, name);
        const bool accepted = name == "run1";
        setIni("./VideoSet.ini", {{"isAutoName", false}});
        QFile(videoDir() + "/run1.mp4").open(QIODevice::WriteOnly);
        ModalAnswerer answerer;
        answerer.inputText = name;
        QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
        button("btnVideo")->click();
        QCOMPARE(request.size(), accepted ? 1 : 0);
        QCOMPARE(answerer.boxTitles.size(), accepted ? 0 : 1);
        if (accepted)
            QCOMPARE(bar->recordingFile(), videoDir() + "/run1_001.mp4");
        hub->setCurCamera(nullptr); // drops the pending request
        hub->setCurCamera(cam.get());
        emit hub->GunReturnVideoSIGNAL(name); // scanned codes are held to the same rule
        QCOMPARE(request.size(), accepted ? 2 : 0);
    }

    void sequenceNameSkipsEarlierRecording() {
        setIni("./VideoSet.ini", {{"isAutoDate", false}, {"autoNameIndex", 90000}});
        QFile(videoDir() + "/video_00001.mp4").open(QIODevice::WriteOnly);
        button("btnVideo")->click();
        QCOMPARE(bar->recordingFile(), videoDir() + "/video_00001_001.mp4");
    }

    // Prefixes read from the settings files pass the check typed ones pass:
    // the picture and the recording stay in their folders.
    void storedPrefixesStayInTheirFolders_data() { addStoredPrefixRows(); }
    void storedPrefixesStayInTheirFolders() {
        QFETCH(QString, stored);
        setIni("./CameraSet.ini", {{"isAutoDate", false}, {"autoNameBegin", stored}});
        setIni("./VideoSet.ini", {{"isAutoDate", false}, {"autoNameBegin", stored}});
        button("btnCamera")->click();
        QCOMPARE(cam->log.calls.size(), 1);
        QVERIFY2(cam->log.calls[0].startsWith("snapImage(" + env->file("Export/Image") + "/img_00001,"),
                 qPrintable(cam->log.calls[0]));
        button("btnVideo")->click();
        QCOMPARE(QFileInfo(bar->recordingFile()).absolutePath(), videoDir());
        QCOMPARE(QFileInfo(bar->recordingFile()).fileName(), QString("video_00001.mp4"));
    }

    void noCameraNothingHappens() {
        button("btnVideo")->click();
        hub->blockSignals(true); // the camera is gone while the answer is under way
        hub->setCurCamera(nullptr);
        hub->blockSignals(false);
        QSignalSpy request(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)));
        emit hub->GunReturnVideoSIGNAL("AB12");
        hub->changeFenBianLv1080pFinish(1);
        QTRY_VERIFY(button("btnVideo")->isEnabled()); // the delayed start has run
        QCOMPARE(request.size(), 0);
        QVERIFY(!hub->isVideoState());
        button("btnCamera")->click();
        QVERIFY(cam->log.calls.isEmpty());
    }
};

QTEST_MAIN(TestCaptureBar)
#include "tst_capture_bar.moc"
