#include "PanelTestKit.h"
#include "app/MessagePassing.h"
#include "camera/NetCamera.h"
#include "panels/camera/ImageReceiveForm.h"
#include "platform/NetSdkSim.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

class TestFileReceiving : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = MessagePassing::instance();

    static QString state(ImageReceiveForm& p) { return p.findChild<QLabel*>("labState")->text(); }
    static QPushButton* button(ImageReceiveForm& p, const char* name) { return p.findChild<QPushButton*>(name); }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub->setLanguage(1);
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        env.reset();
    }
    void defaultFolderStored();
    void refusedWithoutNetworkCamera();
    void verifyReceivesCameraPicturesAndCloseStops();
    void missingFolderMadeOrRefused();
};

void TestFileReceiving::defaultFolderStored() {
    QSettings("./ImageReceiveForm.ini", QSettings::IniFormat).setValue("imgPath", env->file("gone"));
    ImageReceiveForm panel;
    QCOMPARE(panel.findChild<QLineEdit*>("lineEditPath")->text(), env->file("Export/Image"));
    QCOMPARE(QSettings("./ImageReceiveForm.ini", QSettings::IniFormat).value("imgPath").toString(),
             env->file("Export/Image"));
    QCOMPARE(state(panel), "Not connect");
    QVERIFY(!button(panel, "btnCloseLink")->isEnabled());
}

void TestFileReceiving::refusedWithoutNetworkCamera() {
    ImageReceiveForm panel;
    button(panel, "btnYZ")->click();
    QCOMPARE(state(panel), "Connect error");
    RecordingCamera usb;
    hub->setCurCamera(&usb);
    button(panel, "btnYZ")->click();
    QCOMPARE(state(panel), "Connect error");
    QVERIFY(button(panel, "btnYZ")->isEnabled());
}

void TestFileReceiving::verifyReceivesCameraPicturesAndCloseStops() {
    auto owned = std::make_unique<NetSdkSim>(NetSdkSim::parseConfig("1@10.0.0.9"));
    NetSdkSim* sim = owned.get();
    NetSdk::install(std::move(owned));
    QVERIFY(NetCamera::broadcastCameras());
    std::unique_ptr<NetCamera> cam(NetCamera::createCamera(0, nullptr));
    QVERIFY(cam);
    hub->setCurCamera(cam.get());
    QVERIFY(sim->waitFrames(0, 2, 5000));
    sim->pressShutter(0);
    sim->pressShutter(0);

    ImageReceiveForm panel;
    const QString folder = env->file("Export/Image");
    button(panel, "btnYZ")->click();
    QCOMPARE(state(panel), "Connect normal");
    QVERIFY(!button(panel, "btnYZ")->isEnabled());
    QVERIFY(button(panel, "btnCloseLink")->isEnabled());
    const QStringList got = QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
    QCOMPARE(got.size(), 2);
    QCOMPARE(QImage(folder + "/" + got[0]).size(), cam->frameSize(false));
    hub->setLanguage(0);
    QCOMPARE(state(panel), QString::fromUtf8("连接正常"));

    button(panel, "btnCloseLink")->click();
    QCOMPARE(state(panel), QString::fromUtf8("未连接"));
    QVERIFY(button(panel, "btnYZ")->isEnabled());
    sim->pressShutter(0);
    QCOMPARE(QDir(folder).entryList({"*.jpg"}, QDir::Files).size(), 2);
    hub->setCurCamera(nullptr);
}

void TestFileReceiving::missingFolderMadeOrRefused() {
    NetSdk::install(std::make_unique<NetSdkSim>(NetSdkSim::parseConfig("1@10.0.0.9")));
    QVERIFY(NetCamera::broadcastCameras());
    std::unique_ptr<NetCamera> cam(NetCamera::createCamera(0, nullptr));
    hub->setCurCamera(cam.get());
    ImageReceiveForm panel;
    auto* path = panel.findChild<QLineEdit*>("lineEditPath");
    path->setText(env->file("new/inbox"));
    button(panel, "btnYZ")->click();
    QCOMPARE(state(panel), "Connect normal");
    QVERIFY(QDir(env->file("new/inbox")).exists());
    button(panel, "btnCloseLink")->click();
    path->setText("/proc/no/such/folder");
    button(panel, "btnYZ")->click();
    QCOMPARE(state(panel), "Connect error");
    hub->setCurCamera(nullptr);
}

QTEST_MAIN(TestFileReceiving)
#include "tst_file_receiving.moc"
