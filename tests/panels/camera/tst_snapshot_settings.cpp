#include "PanelTestKit.h"
#include "app/hub/MessagePassing.h"
#include "panels/camera/CameraSet.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

class TestSnapshotSettings : public QObject {
    Q_OBJECT
    MessagePassing* hub = MessagePassing::instance();

    static QVariant stored(const char* key) {
        return QSettings("./CameraSet.ini", QSettings::IniFormat).value(key);
    }

private slots:
    void init() { hub->imgType = "jpg"; }
    void cleanup() { hub->setCurCamera(nullptr); }

    // The time stamp's four corners in each language; switching keeps the
    // chosen corner and writes nothing.
    void timeStampCornerNames_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("corners");
        const QStringList chinese{QString::fromUtf8("左上"), QString::fromUtf8("左下"),
                                  QString::fromUtf8("右上"), QString::fromUtf8("右下")};
        QTest::newRow("simplified Chinese") << 0 << chinese;
        QTest::newRow("English") << 1 << QStringList{"Left Up", "Left Down", "Right Up", "Right Down"};
        QTest::newRow("traditional Chinese") << 2 << chinese;
    }
    void timeStampCornerNames() {
        QFETCH(int, language);
        QFETCH(QStringList, corners);
        TestEnv env;
        QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("timePosIndex", 3);
        hub->setLanguage(language == 1 ? 0 : 1);
        CameraSet panel;
        auto* box = panel.findChild<QComboBox*>("comboBoxTimePos");
        QCOMPARE(box->currentIndex(), 3);
        hub->setLanguage(language);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        QCOMPARE(shown, corners);
        QCOMPARE(box->currentIndex(), 3);
        QCOMPARE(stored("timePosIndex").toInt(), 3);
        hub->setLanguage(1);
    }

    void prefixAndDefaults_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("index");
        QTest::newRow("new prefix") << "A"
                                    << "A"
                                    << "A" << 0;
        QTest::newRow("blanks") << "   "
                                << "img"
                                << "img" << 7;
        QTest::newRow("padded") << " B "
                                << " B "
                                << "B" << 0;
        QTest::newRow("folder separator") << "../B"
                                          << "img"
                                          << "img" << 7;
    }
    void prefixAndDefaults() {
        TestEnv env;
        QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("autoNameIndex", 7);
        CameraSet panel;
        QCOMPARE(stored("imgPath").toString(), env.file("Export/Image"));
        QVERIFY(panel.findChild<QLineEdit*>("lineEditPath")->isReadOnly());
        QCOMPARE(panel.findChild<QComboBox*>("comboBoxSize")->currentText(), "8M");
        auto* edit = panel.findChild<QLineEdit*>("lineEditAuto");
        QCOMPARE(edit->text(), "img");
        QFETCH(QString, typed);
        edit->setText(typed);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(edit, &out);
        QTEST(edit->text(), "shown");
        QTEST(stored("autoNameBegin").toString(), "prefix");
        QTEST(stored("autoNameIndex").toInt(), "index");
        panel.findChild<QRadioButton*>("rbtnHAND")->setChecked(true);
        QCOMPARE(stored("isAutoName").toBool(), false);
        QVERIFY(!edit->isEnabled());
    }

    void rowsFollowTheCamera_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("net");
        QTest::addColumn<bool>("sizeRows");
        QTest::newRow("network") << "NetCamera_Corvo" << true << false;
        QTest::newRow("USB, other model") << "UVCCamera_Yselt" << false << false;
        QTest::newRow("USB 4K") << "UVCCamera_Tirsa" << false << true;
    }
    void rowsFollowTheCamera() {
        QFETCH(QString, model);
        QFETCH(bool, net);
        QFETCH(bool, sizeRows);
        TestEnv env;
        QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("ImgType", "png");
        RecordingCamera cam;
        cam.name = model;
        cam.net = net;
        hub->setCurCamera(&cam);
        CameraSet panel;
        const int full = panel.height();
        panel.initImgTypeByCamera();
        QCOMPARE(panel.findChild<QWidget*>("widget_0")->isHidden(), !net);
        QCOMPARE(panel.findChild<QWidget*>("widget_7")->isHidden(), net);
        QCOMPARE(panel.findChild<QWidget*>("widget_4")->isHidden(), !sizeRows);
        QCOMPARE(panel.findChild<QWidget*>("widgetSize")->isHidden(), !sizeRows);
        QCOMPARE(hub->imgType, sizeRows ? "png" : "jpg");
        const int row = panel.findChild<QWidget*>("widget_4")->height();
        QCOMPARE(panel.height(), full - row * ((net ? 1 : 0) + (sizeRows ? 0 : 2)));
        panel.findChild<QComboBox*>("comboImgType")->setCurrentIndex(3);
        QCOMPARE(stored("ImgType").toString(), "tiff");
        QCOMPARE(hub->imgType, "tiff");
    }

    void scannerSnapshot() {
        TestEnv env;
        RecordingCamera cam;
        hub->setCurCamera(&cam);
        QSettings ini("./CameraSet.ini", QSettings::IniFormat);
        ini.setValue("isAutoName", false); // scanned names never go through the dialog
        ini.setValue("isSnapPC", false);
        ini.setValue("timeColorIndex", 1);
        ini.sync();
        CameraSet panel;
        const QString folder = env.file("Export/Image");
        emit hub->GunReturnSIGNAL("AB12");
        emit hub->GunReturnSIGNAL("a:b"); // no plain file name: refused
        QCOMPARE(cam.log.calls, QStringList{"snapImage(" + folder + "/AB12,1,1,0,#0000ff,0,1)"});
        QFile(folder + "/AB12.jpg").open(QIODevice::WriteOnly);
        emit hub->GunReturnSIGNAL("AB12");
        QCOMPARE(cam.log.calls.last(), "snapImage(" + folder + "/AB12_001,1,1,0,#0000ff,0,1)");
        auto* shown = panel.findChild<QLineEdit*>("lineEditGun");
        QCOMPARE(shown->text(), "AB12_001");
        QTRY_VERIFY_WITH_TIMEOUT(shown->text().isEmpty(), 5000);
        hub->setCurCamera(nullptr);
        emit hub->GunReturnSIGNAL("CD34"); // no camera: nothing
        QCOMPARE(cam.log.calls.size(), 2);
    }
};

QTEST_MAIN(TestSnapshotSettings)
#include "tst_snapshot_settings.moc"
