#include "PanelTestKit.h"
#include "app/MessagePassing.h"
#include "camera/NetCamera.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/ImageReceiveForm.h"
#include "panels/camera/OtherSet.h"
#include "panels/camera/VideoSet.h"
#include "platform/NetSdkSim.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include <memory>

// Receives the smb: addresses the share button asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestGeneralSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = MessagePassing::instance();

    static QVariant stored(const char* key) { return QSettings("./OtherSet.ini", QSettings::IniFormat).value(key); }
    static QCheckBox* fastBox(OtherSet& p) { return p.findChild<QCheckBox*>("checkBoxFast"); }
    static NetCamera* openNetCamera(const QString& config) {
        NetSdk::install(std::make_unique<NetSdkSim>(NetSdkSim::parseConfig(config)));
        return NetCamera::broadcastCameras() ? NetCamera::createCamera(0, nullptr) : nullptr;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub->setLanguage(0);
        hub->setVideoState(false);
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        env.reset();
    }
    void languageSwitchesEveryPanel_data();
    void languageSwitchesEveryPanel();
    void storedLanguageShownWithoutWriting();
    void fastModeSequenceForOneRequester();
    void fastModeOnByOperatorAnswersAtOnce();
    void overlappingRequestersAreQueued();
    void restartWaitsForRunningRequest();
    void cameraGoneStillAnswers();
    void clickDuringRecordingUndone();
    void frameRateChangeAnnouncesNewSize();
    void networkRequestsAnsweredAtOnce();
    void shareOpensCameraAddress();
};

void TestGeneralSettings::languageSwitchesEveryPanel_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("simplified") << 0 << QStringList{"其他设置", "拍摄设置", "录像设置", "文件接收"};
    QTest::newRow("English") << 1 << QStringList{"Other Setting", "Shoot Setting", "Video Setting", "Files receiving"};
    QTest::newRow("traditional") << 2 << QStringList{"其他設置", "拍攝設置", "錄像設置", "文件接收"};
}

void TestGeneralSettings::languageSwitchesEveryPanel() {
    QFETCH(int, language);
    QFETCH(QStringList, titles);
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", language == 1 ? 0 : 1);
    hub->setLanguage(language == 1 ? 0 : 1);
    OtherSet other;
    CameraSet snap;
    VideoSet video;
    ImageReceiveForm receive;
    other.findChild<QComboBox*>("comboName")->setCurrentIndex(language);
    QCOMPARE(stored("language").toInt(), language);
    QCOMPARE(hub->language(), language);
    QStringList shown;
    for (QWidget* w : std::initializer_list<QWidget*>{&other, &snap, &video, &receive})
        shown << w->findChild<QLabel*>("labTitle")->text();
    QCOMPARE(shown, titles);
}

void TestGeneralSettings::storedLanguageShownWithoutWriting() {
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", 2);
    QSignalSpy announced(hub, SIGNAL(changeLanguageSIGNAL(int)));
    OtherSet panel;
    QCOMPARE(panel.findChild<QComboBox*>("comboName")->currentIndex(), 2);
    QCOMPARE(announced.size(), 0);
}

void TestGeneralSettings::fastModeSequenceForOneRequester() {
    FastModeUsbCamera cam(0);
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    QCheckBox* box = fastBox(panel);
    QVERIFY(!box->isHidden());
    QVERIFY(!box->isChecked());
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    QSignalSpy back(hub, SIGNAL(changeFenBianLv1080pReturnFinishSIGNAL(int)));
    QSignalSpy resized(hub, SIGNAL(changeResolutionSIGNAL()));
    hub->changeFenBianLv1080p(1);
    QVERIFY(box->isChecked());
    QVERIFY(!box->isEnabled());
    QCOMPARE(cam.log.calls, QStringList{"pause"});
    QVERIFY(finish.wait(3000));
    QCOMPARE(finish[0][0].toInt(), 1);
    QCOMPARE(cam.log.calls, (QStringList{"pause", "setResolution(1)", "play"}));
    QVERIFY(cam.log.times[1] >= 190 && cam.log.times[2] - cam.log.times[1] >= 190);
    QCOMPARE(resized.size(), 1);
    QCOMPARE(stored("Resolution").toInt(), 1);
    QVERIFY(box->isEnabled());

    hub->changeFenBianLv1080pReturn(1);
    QVERIFY(!box->isChecked());
    QVERIFY(back.wait(3000));
    QCOMPARE(back[0][0].toInt(), 1);
    QCOMPARE(cam.log.calls.mid(3), (QStringList{"pause", "setResolution(0)", "play"}));
    QCOMPARE(stored("Resolution").toInt(), 0);
    QVERIFY(!stored("FastMode").isValid());
}

void TestGeneralSettings::fastModeOnByOperatorAnswersAtOnce() {
    FastModeUsbCamera cam(1);
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    QVERIFY(fastBox(panel)->isChecked());
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    QSignalSpy back(hub, SIGNAL(changeFenBianLv1080pReturnFinishSIGNAL(int)));
    hub->changeFenBianLv1080p(1);
    QCOMPARE(finish.size(), 1);
    hub->changeFenBianLv1080pReturn(1);
    QCOMPARE(back.size(), 1);
    QVERIFY(cam.log.calls.isEmpty());
    QVERIFY(fastBox(panel)->isChecked());
}

void TestGeneralSettings::overlappingRequestersAreQueued() {
    FastModeUsbCamera cam(0);
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    QList<int> answers; // +id for a start answer, -id for a return answer
    connect(hub, &MessagePassing::changeFenBianLv1080pFinishSIGNAL, &panel, [&](int id) { answers << id; });
    connect(hub, &MessagePassing::changeFenBianLv1080pReturnFinishSIGNAL, &panel, [&](int id) { answers << -id; });
    hub->changeFenBianLv1080p(1);
    hub->changeFenBianLv1080p(2); // stitching asks while the switch runs
    QVERIFY(answers.isEmpty());
    QTRY_COMPARE(answers, (QList<int>{1, 2}));
    hub->changeFenBianLv1080pReturn(1); // stitching still needs 1080p
    QCOMPARE(answers.last(), -1);
    QCOMPARE(cam.resolutionIndex(), 1);
    hub->changeFenBianLv1080pReturn(2);
    QTRY_COMPARE(answers.size(), 4);
    QCOMPARE(answers.last(), -2);
    QCOMPARE(cam.resolutionIndex(), 0);
    QCOMPARE(cam.log.count("setResolution"), 2);
}

void TestGeneralSettings::restartWaitsForRunningRequest() {
    FastModeUsbCamera cam(0);
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    hub->changeFenBianLv1080p(1);
    emit hub->restartCameraSIGNAL();
    QTRY_COMPARE_WITH_TIMEOUT(finish.size(), 2, 5000);
    QCOMPARE(finish[0][0].toInt(), 1);
    QCOMPARE(finish[1][0].toInt(), -1);
    // The restart re-applied the camera's own index and stored nothing more.
    QCOMPARE(cam.log.calls.filter("setResolution"), (QStringList{"setResolution(1)", "setResolution(1)"}));
}

void TestGeneralSettings::cameraGoneStillAnswers() {
    auto cam = std::make_unique<FastModeUsbCamera>(0);
    hub->setCurCamera(cam.get());
    OtherSet panel;
    panel.initFPSList();
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    hub->changeFenBianLv1080p(2);
    hub->setCurCamera(nullptr);
    cam.reset();
    QVERIFY(finish.wait(3000));
    QCOMPARE(finish[0][0].toInt(), 2);
    QVERIFY(fastBox(panel)->isEnabled());
}

void TestGeneralSettings::clickDuringRecordingUndone() {
    FastModeUsbCamera cam(0);
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    hub->setVideoState(true);
    fastBox(panel)->click();
    QVERIFY(!fastBox(panel)->isChecked());
    QVERIFY(cam.log.calls.isEmpty());
    QVERIFY(!stored("FastMode").isValid());
    hub->setVideoState(false);
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    fastBox(panel)->click();
    QCOMPARE(stored("FastMode").toBool(), true);
    QVERIFY(finish.wait(3000));
    QCOMPARE(finish[0][0].toInt(), -1);
}

void TestGeneralSettings::frameRateChangeAnnouncesNewSize() {
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("FPSIndex", 1);
    std::unique_ptr<NetCamera> cam(openNetCamera("8@10.0.0.8"));
    QVERIFY(cam);
    QCOMPARE(cam->className(), "NetCamera_Corvo");
    QCOMPARE(cam->frameSize(false), QSize(3840, 2160));
    hub->setCurCamera(cam.get());
    QSignalSpy resized(hub, SIGNAL(changeResolutionSIGNAL()));
    QSignalSpy slider(hub, SIGNAL(ForceSliderSIGNAL()));
    OtherSet panel;
    panel.initFPSList();
    QCOMPARE(panel.findChild<QComboBox*>("comboFPS")->currentText(), "1080P20FPS");
    QVERIFY(panel.findChild<QToolButton*>("btnSMB")->isHidden());
    QVERIFY(resized.wait(4000));
    QCOMPARE(cam->frameSize(false), QSize(1920, 1080));
    QCOMPARE(slider.size(), 1);
    hub->setCurCamera(nullptr);
}

void TestGeneralSettings::networkRequestsAnsweredAtOnce() {
    RecordingCamera cam;
    cam.name = "NetCamera_Halder";
    cam.net = true;
    hub->setCurCamera(&cam);
    OtherSet panel;
    panel.initFPSList();
    auto* fps = panel.findChild<QComboBox*>("comboFPS");
    QSignalSpy finish(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)));
    hub->changeFenBianLv1080p(1);
    QCOMPARE(finish.size(), 1);
    QVERIFY(!fps->isEnabled());
    hub->changeFenBianLv1080pReturn(1);
    QVERIFY(fps->isEnabled());
}

void TestGeneralSettings::shareOpensCameraAddress() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("smb", &catcher, "open");
    std::unique_ptr<NetCamera> cam(openNetCamera("1@192.168.7.5"));
    QVERIFY(cam);
    hub->setCurCamera(cam.get());
    OtherSet panel;
    panel.initFPSList();
    auto* share = panel.findChild<QToolButton*>("btnSMB");
    QVERIFY(!share->isHidden());
    QVERIFY(panel.findChild<QComboBox*>("comboFPS")->isHidden());
    share->click();
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl("smb://192.168.7.5/share")});
    QDesktopServices::unsetUrlHandler("smb");
    hub->setCurCamera(nullptr);
}

QTEST_MAIN(TestGeneralSettings)
#include "tst_general_settings.moc"
