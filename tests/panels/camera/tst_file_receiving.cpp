#include "PanelTestKit.h"
#include "app/hub/MessagePassing.h"
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

// The receiving panel against the simulated network camera, whose shutter
// puts pictures on its card that the link delivers into the folder.
class TestFileReceiving : public QObject {
    Q_OBJECT
    MessagePassing* hub = MessagePassing::instance();

private slots:
    void verifyReceivesAndCloseStops() {
        TestEnv env;
        hub->setLanguage(1);
        QSettings("./ImageReceiveForm.ini", QSettings::IniFormat).setValue("imgPath", env.file("gone"));
        ImageReceiveForm panel;
        auto* path = panel.findChild<QLineEdit*>("lineEditPath");
        auto* state = panel.findChild<QLabel*>("labState");
        auto* verify = panel.findChild<QPushButton*>("btnYZ");
        auto* close = panel.findChild<QPushButton*>("btnCloseLink");
        const QString folder = env.file("Export/Image");
        QCOMPARE(path->text(), folder); // a deleted folder is replaced by the default
        QCOMPARE(state->text(), "Not connect");
        verify->click(); // no camera
        QCOMPARE(state->text(), "Connect error");
        RecordingCamera usb;
        hub->setCurCamera(&usb);
        verify->click();
        QCOMPARE(state->text(), "Connect error");

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
        verify->click();
        QCOMPARE(state->text(), "Connect normal");
        QVERIFY(!verify->isEnabled() && close->isEnabled());
        const QStringList got = QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
        QCOMPARE(got.size(), 2);
        QCOMPARE(QImage(folder + "/" + got[0]).size(), cam->frameSize(false));
        hub->setLanguage(0);
        QCOMPARE(state->text(), QString::fromUtf8("连接正常"));
        close->click();
        QCOMPARE(state->text(), QString::fromUtf8("未连接"));
        sim->pressShutter(0);
        QCOMPARE(QDir(folder).entryList({"*.jpg"}, QDir::Files).size(), 2);

        path->setText(env.file("new/inbox")); // made when missing
        verify->click();
        QVERIFY(QDir(env.file("new/inbox")).exists());
        hub->setCurCamera(nullptr);
        close->click(); // the camera went away meanwhile
        path->setText("/proc/no/such/folder");
        hub->setCurCamera(cam.get());
        verify->click();
        QCOMPARE(state->text(), QString::fromUtf8("连接异常"));
        hub->setCurCamera(nullptr);
    }
};

QTEST_MAIN(TestFileReceiving)
#include "tst_file_receiving.moc"
