#include "PanelTestKit.h"
#include "app/hub/MessagePassing.h"
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
    QList<int> answers; // +id for a start answer, -id for a return answer

    static QVariant stored(const char* key) {
        return QSettings("./OtherSet.ini", QSettings::IniFormat).value(key);
    }
    static QCheckBox* fastBox(OtherSet& p) { return p.findChild<QCheckBox*>("checkBoxFast"); }
    static NetCamera* openNetCamera(const QString& config) {
        NetSdk::install(std::make_unique<NetSdkSim>(NetSdkSim::parseConfig(config)));
        return NetCamera::broadcastCameras() ? NetCamera::createCamera(0, nullptr) : nullptr;
    }

private slots:
    void initTestCase() {
        connect(hub, &MessagePassing::changeFenBianLv1080pFinishSIGNAL, this,
                [this](int id) { answers << id; });
        connect(hub, &MessagePassing::changeFenBianLv1080pReturnFinishSIGNAL, this,
                [this](int id) { answers << -id; });
    }
    void init() {
        env = std::make_unique<TestEnv>();
        answers.clear();
        hub->setVideoState(false);
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        env.reset();
    }

    void languageSwitchesEveryPanel_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("simplified") << 0 << QStringList{"其他设置", "拍摄设置", "录像设置", "文件接收"};
        QTest::newRow("English") << 1
                                 << QStringList{"Other Setting", "Shoot Setting", "Video Setting",
                                                "Files receiving"};
        QTest::newRow("traditional") << 2 << QStringList{"其他設置", "拍攝設置", "錄像設置", "文件接收"};
    }
    void languageSwitchesEveryPanel() {
        QFETCH(int, language);
        const int before = language == 1 ? 0 : 1;
        QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", before);
        hub->setLanguage(before);
        QSignalSpy announced(hub, SIGNAL(changeLanguageSIGNAL(int)));
        OtherSet other;
        QCOMPARE(other.findChild<QComboBox*>("comboName")->currentIndex(), before);
        QCOMPARE(announced.size(), 0); // construction announces nothing
        CameraSet snap;
        VideoSet video;
        ImageReceiveForm receive;
        other.findChild<QComboBox*>("comboName")->setCurrentIndex(language);
        QCOMPARE(stored("language").toInt(), language);
        QStringList shown;
        for (QWidget* w : std::initializer_list<QWidget*>{&other, &snap, &video, &receive})
            shown << w->findChild<QLabel*>("labTitle")->text();
        QTEST(shown, "titles");
    }

    void fastModeSequenceForOneRequester() {
        FastModeUsbCamera cam(0);
        hub->setCurCamera(&cam);
        OtherSet panel;
        panel.initFPSList();
        QCheckBox* box = fastBox(panel);
        QVERIFY(!box->isHidden() && !box->isChecked());
        QSignalSpy resized(hub, SIGNAL(changeResolutionSIGNAL()));
        hub->changeFenBianLv1080p(1);
        QVERIFY(box->isChecked() && !box->isEnabled());
        QCOMPARE(cam.log.calls, QStringList{"pause"});
        QTRY_COMPARE(answers, QList<int>{1});
        QCOMPARE(cam.log.calls, (QStringList{"pause", "setResolution(1)", "play"}));
        QVERIFY(cam.log.times[1] >= 190 && cam.log.times[2] - cam.log.times[1] >= 190);
        QCOMPARE(resized.size(), 1);
        // A temporary switch is never stored: closed now, the program
        // starts again at full size.
        QVERIFY(!stored("Resolution").isValid());
        QVERIFY(box->isEnabled());
        hub->changeFenBianLv1080pReturn(1);
        QVERIFY(!box->isChecked());
        QTRY_COMPARE(answers, (QList<int>{1, -1}));
        QCOMPARE(cam.log.calls.mid(3), (QStringList{"pause", "setResolution(0)", "play"}));
        QVERIFY(!stored("Resolution").isValid());
        QVERIFY(!stored("FastMode").isValid());
    }

    void operatorFastMode() {
        FastModeUsbCamera cam(1);
        hub->setCurCamera(&cam);
        OtherSet panel;
        panel.initFPSList();
        QVERIFY(fastBox(panel)->isChecked());
        hub->changeFenBianLv1080p(1);
        hub->changeFenBianLv1080pReturn(1);
        QCOMPARE(answers, (QList<int>{1, -1})); // on already: both answered at once
        hub->setVideoState(true);
        fastBox(panel)->click(); // refused while recording
        QVERIFY(fastBox(panel)->isChecked());
        QVERIFY(cam.log.calls.isEmpty());
        hub->setVideoState(false);
        fastBox(panel)->click();
        QCOMPARE(stored("FastMode").toBool(), false);
        QTRY_COMPARE(answers.size(), 3);
        QCOMPARE(stored("Resolution").toInt(), 0); // the operator's own choice is kept
        QCOMPARE(answers.last(), 1); // the return answer of id -1
        emit hub->WFRenewDataSIGNAL(true);
        QVERIFY(!fastBox(panel)->isHidden() && !fastBox(panel)->isChecked());
        QCOMPARE(cam.log.count("setResolution"), 1);
    }

    void overlappingRequestersAreQueued() {
        FastModeUsbCamera cam(0);
        hub->setCurCamera(&cam);
        OtherSet panel;
        panel.initFPSList();
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
        QCOMPARE(cam.log.calls.filter("setResolution"),
                 (QStringList{"setResolution(1)", "setResolution(0)"}));
    }

    void restartAndClosedCameraStillAnswer() {
        auto cam = std::make_unique<FastModeUsbCamera>(0);
        hub->setCurCamera(cam.get());
        OtherSet panel;
        panel.initFPSList();
        hub->changeFenBianLv1080p(1);
        emit hub->restartCameraSIGNAL(); // waits for the running request
        QTRY_COMPARE_WITH_TIMEOUT(answers, (QList<int>{1, -1}), 5000);
        QCOMPARE(cam->log.calls.filter("setResolution"),
                 (QStringList{"setResolution(1)", "setResolution(1)"}));
        hub->changeFenBianLv1080pReturn(2); // not holding it: answered at once
        hub->changeFenBianLv1080pReturn(1);
        hub->setCurCamera(nullptr); // closed in the middle of the switch
        cam.reset();
        QTRY_COMPARE(answers, (QList<int>{1, -1, -2, -1}));
        QVERIFY(fastBox(panel)->isEnabled());
    }

    void frameRateChangeAnnouncesNewSize() {
        QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("FPSIndex", 1);
        std::unique_ptr<NetCamera> cam(openNetCamera("8@10.0.0.8"));
        QVERIFY(cam);
        QCOMPARE(cam->frameSize(false), QSize(3840, 2160));
        hub->setCurCamera(cam.get());
        QSignalSpy resized(hub, SIGNAL(changeResolutionSIGNAL()));
        OtherSet panel;
        panel.initFPSList();
        QCOMPARE(panel.findChild<QComboBox*>("comboFPS")->currentText(), "1080P20FPS");
        QVERIFY(resized.wait(8000));
        QCOMPARE(cam->frameSize(false), QSize(1920, 1080));
        hub->setCurCamera(nullptr);
    }

    void networkCameraShareAndRequests() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("smb", &catcher, "open");
        std::unique_ptr<NetCamera> cam(openNetCamera("0@192.168.7.5"));
        QVERIFY(cam);
        hub->setCurCamera(cam.get());
        OtherSet panel;
        panel.initFPSList();
        auto* fps = panel.findChild<QComboBox*>("comboFPS");
        QCOMPARE(fps->count(), 2);
        panel.findChild<QToolButton*>("btnSMB")->click();
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl("smb://192.168.7.5/share")});
        QDesktopServices::unsetUrlHandler("smb");
        hub->changeFenBianLv1080p(1);
        hub->changeFenBianLv1080p(2);
        QVERIFY(!fps->isEnabled());
        hub->changeFenBianLv1080pReturn(1);
        QVERIFY(!fps->isEnabled()); // stitching still runs
        hub->changeFenBianLv1080pReturn(2);
        QVERIFY(fps->isEnabled());
        QCOMPARE(answers, (QList<int>{1, 2, -1, -2}));
        hub->setCurCamera(nullptr);
    }
};

QTEST_MAIN(TestGeneralSettings)
#include "tst_general_settings.moc"
