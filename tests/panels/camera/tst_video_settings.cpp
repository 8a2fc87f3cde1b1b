#include "app/hub/MessagePassing.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/VideoSet.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>

class TestVideoSettings : public QObject {
    Q_OBJECT
    MessagePassing* hub = MessagePassing::instance();

    static QVariant stored(const char* file, const char* key) {
        return QSettings(file, QSettings::IniFormat).value(key);
    }
    static QCheckBox* gunBox(QWidget* w) { return w->findChild<QCheckBox*>("checkBoxGun"); }

private slots:
    void prefixRules_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("index");
        QTest::newRow("cleared") << ""
                                 << "video" << 7;
        QTest::newRow("padded") << "  clip "
                                << "clip" << 0;
        QTest::newRow("folder separator") << "a/b"
                                          << "video" << 7;
        QTest::newRow("parent") << ".."
                                << "video" << 7;
    }
    void prefixRules() {
        TestEnv env;
        QSettings("./VideoSet.ini", QSettings::IniFormat).setValue("autoNameIndex", 7);
        VideoSet panel;
        QCOMPARE(stored("./VideoSet.ini", "videoPath").toString(), env.file("Export/Video"));
        auto* edit = panel.findChild<QLineEdit*>("lineEditAuto");
        QFETCH(QString, typed);
        edit->setText(typed);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(edit, &out);
        QTEST(stored("./VideoSet.ini", "autoNameBegin").toString(), "prefix");
        QTEST(stored("./VideoSet.ini", "autoNameIndex").toInt(), "index");
        QTEST(edit->text().trimmed(), "prefix");
    }

    void scannerBoxesExcludeEachOther() {
        TestEnv env;
        CameraSet snap;
        VideoSet video;
        gunBox(&snap)->setChecked(true);
        gunBox(&video)->setChecked(true);
        QCOMPARE(hub->getGunMode(), 2);
        QVERIFY(!gunBox(&snap)->isChecked());
        QCOMPARE(stored("./CameraSet.ini", "isGunMode").toBool(), false);
        gunBox(&snap)->setChecked(true);
        QVERIFY(!gunBox(&video)->isChecked());
        QCOMPARE(hub->getGunMode(), 1); // the video box went off without setting mode 0
        QCOMPARE(stored("./VideoSet.ini", "isGunMode").toBool(), false);
        gunBox(&snap)->setChecked(false);
        QCOMPARE(hub->getGunMode(), 0);
    }

    void bothStoredOnShowOneChecked() {
        TestEnv env;
        QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("isGunMode", true);
        QSettings("./VideoSet.ini", QSettings::IniFormat).setValue("isGunMode", true);
        CameraSet snap;
        VideoSet video;
        QVERIFY(gunBox(&video)->isChecked());
        QVERIFY(!gunBox(&snap)->isChecked());
        QCOMPARE(hub->getGunMode(), 2);
        // The scanned code shows until a recording ends.
        emit hub->GunReturnVideoSIGNAL("AB12");
        QCOMPARE(video.findChild<QLineEdit*>("lineEditGun")->text(), "AB12");
        hub->setVideoState(false);
        QVERIFY(video.findChild<QLineEdit*>("lineEditGun")->text().isEmpty());
    }
};

QTEST_MAIN(TestVideoSettings)
#include "tst_video_settings.moc"
