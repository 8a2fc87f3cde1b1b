#include "PanelTestKit.h"
#include "app/MessagePassing.h"
#include "panels/camera/CameraSet.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

#include <memory>

class TestSnapshotSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = MessagePassing::instance();

    static QVariant stored(const char* key) { return QSettings("./CameraSet.ini", QSettings::IniFormat).value(key); }
    template <class T> static T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }
    static void leave(QLineEdit* edit) {
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(edit, &out);
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub->setLanguage(1);
        hub->imgType = "jpg";
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        env.reset();
    }
    void firstStartDefaults();
    void prefixLeavingTheField_data();
    void prefixLeavingTheField();
    void rowsFollowTheCamera_data();
    void rowsFollowTheCamera();
    void imageTypeStored();
    void scannerSnapshot();
    void scannerWithoutCameraOrWithBadCode();
    void languageKeepsStampCorner();
};

void TestSnapshotSettings::firstStartDefaults() {
    CameraSet panel;
    QVERIFY(child<QRadioButton>(&panel, "rbtnPC")->isChecked());
    QVERIFY(child<QRadioButton>(&panel, "rbtnAUTO")->isChecked());
    QVERIFY(child<QRadioButton>(&panel, "rBtnAutoDate")->isChecked());
    QCOMPARE(child<QLineEdit>(&panel, "lineEditAuto")->text(), "img");
    QCOMPARE(child<QComboBox>(&panel, "comboBoxSize")->currentText(), "8M");
    QCOMPARE(child<QComboBox>(&panel, "comboBoxTimeColor")->count(), 9);
    QVERIFY(!child<QCheckBox>(&panel, "checkBoxGun")->isChecked());
    QCOMPARE(stored("imgPath").toString(), env->file("Export/Image"));
    QVERIFY(QDir(env->file("Export/Image")).exists());
    // Only the folder dialog changes the folder.
    QVERIFY(child<QLineEdit>(&panel, "lineEditPath")->isReadOnly());
    QCOMPARE(hub->getGunMode(), 0);
    child<QRadioButton>(&panel, "rbtnHAND")->setChecked(true);
    QCOMPARE(stored("isAutoName").toBool(), false);
    QVERIFY(!child<QLineEdit>(&panel, "lineEditAuto")->isEnabled());
}

void TestSnapshotSettings::prefixLeavingTheField_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("index");
    QTest::newRow("new prefix") << "A" << "A" << "A" << 0;
    QTest::newRow("blanks") << "   " << "img" << "img" << 7;
    QTest::newRow("padded") << " B " << " B " << "B" << 0;
}

void TestSnapshotSettings::prefixLeavingTheField() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, prefix);
    QFETCH(int, index);
    QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("autoNameIndex", 7);
    CameraSet panel;
    auto* edit = child<QLineEdit>(&panel, "lineEditAuto");
    edit->setText(typed);
    leave(edit);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(stored("autoNameBegin").toString(), prefix);
    QCOMPARE(stored("autoNameIndex").toInt(), index);
    QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("autoNameIndex", 5);
    leave(edit); // unchanged prefix keeps the counter
    QCOMPARE(stored("autoNameIndex").toInt(), 5);
}

void TestSnapshotSettings::rowsFollowTheCamera_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("net");
    QTest::addColumn<bool>("sizeRows");
    QTest::addColumn<QString>("type");
    QTest::newRow("network") << "NetCamera_Corvo" << true << false << "jpg";
    QTest::newRow("USB, other model") << "UVCCamera_Yselt" << false << false << "jpg";
    QTest::newRow("USB 4K") << "UVCCamera_Tirsa" << false << true << "png";
}

void TestSnapshotSettings::rowsFollowTheCamera() {
    QFETCH(QString, model);
    QFETCH(bool, net);
    QFETCH(bool, sizeRows);
    QFETCH(QString, type);
    QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("ImgType", "png");
    RecordingCamera cam;
    cam.name = model;
    cam.net = net;
    hub->setCurCamera(&cam);
    CameraSet panel;
    const int full = panel.height();
    panel.initImgTypeByCamera();
    QCOMPARE(child<QWidget>(&panel, "widget_0")->isHidden(), !net);
    QCOMPARE(child<QWidget>(&panel, "widget_7")->isHidden(), net);
    QCOMPARE(child<QWidget>(&panel, "widget_4")->isHidden(), !sizeRows);
    QCOMPARE(child<QWidget>(&panel, "widgetSize")->isHidden(), !sizeRows);
    QCOMPARE(hub->imgType, type);
    const int row = child<QWidget>(&panel, "widget_4")->height();
    QCOMPARE(panel.height(), full - row * ((net ? 1 : 0) + (sizeRows ? 0 : 2)));
}

void TestSnapshotSettings::imageTypeStored() {
    CameraSet panel;
    child<QComboBox>(&panel, "comboImgType")->setCurrentIndex(3);
    QCOMPARE(stored("ImgType").toString(), "tiff");
    QCOMPARE(hub->imgType, "tiff");
}

void TestSnapshotSettings::scannerSnapshot() {
    RecordingCamera cam;
    hub->setCurCamera(&cam);
    {
        QSettings s("./CameraSet.ini", QSettings::IniFormat);
        s.setValue("isAutoName", false); // scanned names never go through the dialog
        s.setValue("isSnapPC", false);
        s.setValue("timeColorIndex", 1);
    }
    CameraSet panel;
    emit hub->GunReturnSIGNAL("AB12");
    const QString folder = env->file("Export/Image");
    QCOMPARE(cam.log.calls, QStringList{"snapImage(" + folder + "/AB12,1,1,0,#0000ff,0,1)"});
    auto* shown = child<QLineEdit>(&panel, "lineEditGun");
    QCOMPARE(shown->text(), "AB12");
    QFile(folder + "/AB12.jpg").open(QIODevice::WriteOnly);
    emit hub->GunReturnSIGNAL("AB12");
    QCOMPARE(cam.log.calls.last(), "snapImage(" + folder + "/AB12_001,1,1,0,#0000ff,0,1)");
    QCOMPARE(shown->text(), "AB12_001");
    QTRY_VERIFY_WITH_TIMEOUT(shown->text().isEmpty(), 5000);
}

void TestSnapshotSettings::scannerWithoutCameraOrWithBadCode() {
    RecordingCamera cam;
    hub->setCurCamera(&cam);
    CameraSet panel;
    emit hub->GunReturnSIGNAL("a:b");
    hub->setCurCamera(nullptr);
    emit hub->GunReturnSIGNAL("AB12");
    QVERIFY(cam.log.calls.isEmpty());
}

void TestSnapshotSettings::languageKeepsStampCorner() {
    hub->setLanguage(0);
    CameraSet panel;
    auto* corner = child<QComboBox>(&panel, "comboBoxTimePos");
    corner->setCurrentIndex(2);
    QCOMPARE(stored("timePosIndex").toInt(), 2);
    QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("timePosIndex", 1);
    hub->setLanguage(1);
    QCOMPARE(corner->currentText(), "Right Up");
    QCOMPARE(stored("timePosIndex").toInt(), 1);
    QCOMPARE(child<QLabel>(&panel, "labTitle")->text(), "Shoot Setting");
}

QTEST_MAIN(TestSnapshotSettings)
#include "tst_snapshot_settings.moc"
