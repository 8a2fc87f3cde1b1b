// The time-lapse panel with a camera that records its snapshot requests:
// names, mode and progress of a series, pause and continue, cancel in the
// start delay, the camera closing mid-series, and the unit limits.
#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "panels/camera/CameraTimeSet.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

void addStoredPrefixRows(); // PanelTestKit.h (its other fakes would clash with this file's)

namespace {
struct Shot {
    QString path;
    int mode;
    int progress;
};

class RecordingCamera : public BaseCamera {
public:
    QProgressBar* progress = nullptr;
    QVector<Shot> shots;
    void snapImage(QString path, int mode, bool, bool, QColor, int, int) override {
        shots.append({path, mode, progress ? progress->value() : -1});
    }
};

// Settings in milliseconds: `total` shots, `interval` apart, after `delay`.
void storeSeries(int total, int interval, int delay, int delayUnit = 2) {
    QSettings s("./CameraTimeSet.ini", QSettings::IniFormat);
    s.setValue("Total", total);
    s.setValue("Interval", interval);
    s.setValue("Delay", delay);
    s.setValue("IntervalIndex", 2);
    s.setValue("DelayIndex", delayUnit);
    QSettings c("./CameraSet.ini", QSettings::IniFormat);
    c.setValue("imgPath", QDir::currentPath());
    c.setValue("isAutoDate", false);
    c.setValue("autoNameBegin", "base");
}

struct Rig {
    TestEnv env;
    RecordingCamera camera;
    std::unique_ptr<CameraTimeSet> panel;
    QPushButton *start = nullptr, *pause = nullptr, *cancel = nullptr;
    Rig(int total, int interval, int delay, int delayUnit = 2) {
        storeSeries(total, interval, delay, delayUnit);
        MessagePassing::instance()->setLanguage(1);
        MessagePassing::instance()->setCurCamera(&camera);
        panel.reset(new CameraTimeSet);
        camera.progress = panel->findChild<QProgressBar*>("progressBar");
        start = panel->findChild<QPushButton*>("btnDelayShoot");
        pause = panel->findChild<QPushButton*>("btnPausePlay");
        cancel = panel->findChild<QPushButton*>("btnCancle");
    }
    ~Rig() { MessagePassing::instance()->setCurCamera(nullptr); }
    bool timersIdle() const {
        for (QTimer* t : panel->findChildren<QTimer*>())
            if (t->isActive())
                return false;
        return true;
    }
};
} // namespace

class TestCameraTimeSet : public QObject {
    Q_OBJECT
private slots:
    void threeShots() {
        Rig rig(3, 100, 100);
        QSignalSpy removed(MessagePassing::instance(), SIGNAL(removeIconCameraSIGNAL()));
        rig.start->click();
        QVERIFY(MessagePassing::instance()->isCameraTiming());
        QVERIFY(!rig.start->isEnabled());
        QTRY_COMPARE(rig.camera.shots.size(), 3);
        const QString base = QDir::currentPath() + "/base_%1";
        const int progress[] = {33, 66, 100};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rig.camera.shots[i].path, base.arg(i + 1, 5, 10, QChar('0')));
            QCOMPARE(rig.camera.shots[i].mode, 10);
            QCOMPARE(rig.camera.shots[i].progress, progress[i]);
        }
        QVERIFY(!MessagePassing::instance()->isCameraTiming());
        QCOMPARE(removed.count(), 1);
        QVERIFY(!rig.pause->isEnabled() && !rig.cancel->isEnabled());
        QTRY_VERIFY(rig.start->isEnabled());
        QCOMPARE(rig.camera.progress->value(), 0);
        QCOMPARE(rig.camera.shots.size(), 3);
    }

    void pauseAndContinue() {
        Rig rig(3, 400, 300);
        rig.start->click();
        rig.pause->click(); // during the start delay: nothing
        QCOMPARE(rig.pause->text(), QString("Pause"));
        QTRY_COMPARE(rig.camera.shots.size(), 1);
        rig.pause->click();
        QCOMPARE(rig.pause->text(), QString("Play"));
        QVERIFY(rig.timersIdle());
        QCOMPARE(rig.camera.shots.size(), 1);
        rig.pause->click();
        QCOMPARE(rig.pause->text(), QString("Pause"));
        QTRY_COMPARE(rig.camera.shots.size(), 3);
    }

    void cancelInDelay() {
        Rig rig(3, 100, 1, 1); // one second of delay
        rig.start->click();
        rig.cancel->click();
        QVERIFY(!MessagePassing::instance()->isCameraTiming());
        QVERIFY(rig.timersIdle());
        QTRY_VERIFY_WITH_TIMEOUT(rig.start->isEnabled(), 5000); // 1.5 s: past the abandoned delay
        QVERIFY(rig.camera.shots.isEmpty());
    }

    // Closing the camera mid-series ends the series instead of calling it.
    void cameraClosedMidSeries() {
        Rig rig(3, 400, 100);
        QSignalSpy removed(MessagePassing::instance(), SIGNAL(removeIconCameraSIGNAL()));
        rig.start->click();
        QTRY_COMPARE(rig.camera.shots.size(), 1);
        MessagePassing::instance()->setCurCamera(nullptr);
        QTRY_VERIFY(!MessagePassing::instance()->isCameraTiming());
        QCOMPARE(removed.count(), 1);
        QVERIFY(!rig.pause->isEnabled() && !rig.cancel->isEnabled());
        QTRY_VERIFY(rig.start->isEnabled());
        QCOMPARE(rig.camera.shots.size(), 1);
    }

    // Every unit's largest value fits a timer's milliseconds; a value outside
    // the new unit's range is moved into it and stored.
    void unitLimits_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("kept");
        QTest::newRow("minutes capped") << 0 << 100000 << 35791;
        QTest::newRow("ms floor") << 2 << 50 << 100;
    }
    void unitLimits() {
        QFETCH(int, unit);
        QFETCH(int, typed);
        QFETCH(int, kept);
        TestEnv env;
        CameraTimeSet panel;
        auto* spin = panel.findChild<QSpinBox*>("spinBoxInterval");
        auto* box = panel.findChild<QComboBox*>("comboBoxInterval");
        box->setCurrentIndex(1);
        spin->setValue(unit == 2 ? typed : 1);
        box->setCurrentIndex(unit);
        spin->setValue(typed);
        QCOMPARE(spin->value(), kept);
        QVERIFY(CameraTimeSet::toMilliseconds(spin->maximum(), unit) <= std::numeric_limits<int>::max());
        QCOMPARE(QSettings("./CameraTimeSet.ini", QSettings::IniFormat).value("Interval").toInt(), kept);
    }

    // A unit index the boxes lack falls back to seconds: both boxes show a
    // unit, the file holds it again and the start delay runs in seconds.
    void storedUnitOutsideTheBoxesFallsBackToSeconds_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("-1") << QVariant(-1);
        QTest::newRow("3") << QVariant(3);
        QTest::newRow("99") << QVariant(99);
        QTest::newRow("text") << QVariant("minutes");
    }
    void storedUnitOutsideTheBoxesFallsBackToSeconds() {
        QFETCH(QVariant, stored);
        Rig rig(2, 1, 2);
        {
            QSettings s("./CameraTimeSet.ini", QSettings::IniFormat);
            s.setValue("IntervalIndex", stored);
            s.setValue("DelayIndex", stored);
        }
        rig.panel.reset(new CameraTimeSet);
        rig.start = rig.panel->findChild<QPushButton*>("btnDelayShoot");
        auto* interval = rig.panel->findChild<QComboBox*>("comboBoxInterval");
        auto* delay = rig.panel->findChild<QComboBox*>("comboBoxDelay");
        QCOMPARE(interval->currentIndex(), 1);
        QCOMPARE(delay->currentIndex(), 1);
        QCOMPARE(interval->currentText(), QString("Second"));
        QCOMPARE(QSettings("./CameraTimeSet.ini", QSettings::IniFormat).value("IntervalIndex").toInt(), 1);
        rig.start->click();
        int longest = 0;
        for (QTimer* t : rig.panel->findChildren<QTimer*>())
            if (t->isActive())
                longest = std::max(longest, t->interval());
        QCOMPARE(longest, 2000); // two seconds, not two minutes
        rig.panel->findChild<QPushButton*>("btnCancle")->click();
    }

    // A prefix stored in the file passes the check a typed one does: the
    // series' pictures stay in the picture folder.
    void storedPrefixNeverLeavesThePictureFolder_data() { addStoredPrefixRows(); }
    void storedPrefixNeverLeavesThePictureFolder() {
        QFETCH(QString, stored);
        Rig rig(1, 100, 100);
        QSettings("./CameraSet.ini", QSettings::IniFormat).setValue("autoNameBegin", stored);
        rig.start->click();
        QTRY_COMPARE(rig.camera.shots.size(), 1);
        const QFileInfo shot(rig.camera.shots[0].path);
        QCOMPARE(shot.absolutePath(), QDir::current().absolutePath());
        QVERIFY2(shot.fileName().startsWith("img_"), qPrintable(shot.fileName()));
    }
};

QTEST_MAIN(TestCameraTimeSet)
#include "tst_camera_time_set.moc"
