#include "app/MessagePassing.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/VideoSet.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

#include <memory>

class TestVideoSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = MessagePassing::instance();

    static QVariant stored(const char* file, const char* key) { return QSettings(file, QSettings::IniFormat).value(key); }
    static QCheckBox* gunBox(QWidget* w) { return w->findChild<QCheckBox*>("checkBoxGun"); }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub->setGunMode(0);
    }
    void cleanup() { env.reset(); }
    void prefixRules_data();
    void prefixRules();
    void manualDisablesPrefix();
    void scannerBoxesExcludeEachOther();
    void bothStoredOnShowOneChecked();
    void scannedCodeShownUntilRecordingEnds();
};

void TestVideoSettings::prefixRules_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("index");
    QTest::newRow("cleared") << "" << "video" << 7;
    QTest::newRow("padded") << "  clip " << "clip" << 0;
    QTest::newRow("folder separator") << "a/b" << "video" << 7;
    QTest::newRow("parent") << ".." << "video" << 7;
    QTest::newRow("unchanged") << "video" << "video" << 7;
}

void TestVideoSettings::prefixRules() {
    QFETCH(QString, typed);
    QFETCH(QString, prefix);
    QFETCH(int, index);
    QSettings("./VideoSet.ini", QSettings::IniFormat).setValue("autoNameIndex", 7);
    VideoSet panel;
    QCOMPARE(stored("./VideoSet.ini", "videoPath").toString(), env->file("Export/Video"));
    auto* edit = panel.findChild<QLineEdit*>("lineEditAuto");
    edit->setText(typed);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
    QCOMPARE(stored("./VideoSet.ini", "autoNameBegin").toString(), prefix);
    QCOMPARE(stored("./VideoSet.ini", "autoNameIndex").toInt(), index);
    QCOMPARE(edit->text().trimmed(), prefix);
}

void TestVideoSettings::manualDisablesPrefix() {
    VideoSet panel;
    panel.findChild<QRadioButton*>("rbtnHAND")->setChecked(true);
    QCOMPARE(stored("./VideoSet.ini", "isAutoName").toBool(), false);
    QVERIFY(!panel.findChild<QLineEdit*>("lineEditAuto")->isEnabled());
    panel.findChild<QRadioButton*>("rBtnAutoIndex")->setChecked(true);
    QCOMPARE(stored("./VideoSet.ini", "isAutoDate").toBool(), false);
}

void TestVideoSettings::scannerBoxesExcludeEachOther() {
    CameraSet snap;
    VideoSet video;
    gunBox(&snap)->setChecked(true);
    QCOMPARE(hub->getGunMode(), 1);
    gunBox(&video)->setChecked(true);
    QCOMPARE(hub->getGunMode(), 2);
    QVERIFY(!gunBox(&snap)->isChecked());
    QCOMPARE(stored("./CameraSet.ini", "isGunMode").toBool(), false);
    QCOMPARE(stored("./VideoSet.ini", "isGunMode").toBool(), true);
    gunBox(&snap)->setChecked(true);
    QVERIFY(!gunBox(&video)->isChecked());
    QCOMPARE(hub->getGunMode(), 1); // the video box went off without setting mode 0
    QCOMPARE(stored("./VideoSet.ini", "isGunMode").toBool(), false);
    gunBox(&snap)->setChecked(false);
    QCOMPARE(hub->getGunMode(), 0);
}

void TestVideoSettings::bothStoredOnShowOneChecked() {
    QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("isGunMode", true);
    QSettings("./VideoSet.ini", QSettings::IniFormat).setValue("isGunMode", true);
    CameraSet snap;
    VideoSet video;
    QVERIFY(gunBox(&video)->isChecked());
    QVERIFY(!gunBox(&snap)->isChecked());
    QCOMPARE(hub->getGunMode(), 2);
    QCOMPARE(stored("./CameraSet.ini", "isGunMode").toBool(), false);
}

void TestVideoSettings::scannedCodeShownUntilRecordingEnds() {
    VideoSet panel;
    auto* code = panel.findChild<QLineEdit*>("lineEditGun");
    emit hub->GunReturnVideoSIGNAL("AB12");
    QCOMPARE(code->text(), "AB12");
    hub->setVideoState(true);
    QCOMPARE(code->text(), "AB12");
    hub->setVideoState(false);
    QVERIFY(code->text().isEmpty());
}

QTEST_MAIN(TestVideoSettings)
#include "tst_video_settings.moc"
