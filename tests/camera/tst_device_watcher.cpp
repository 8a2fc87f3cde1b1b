// Hot-plug events of simulated cameras reach the device watcher with the
// names the device list shows; another watcher hears the same.
#include "camera/UvcModels.h"
#include "platform/CaptureDevice.h"
#include "platform/DeviceWatcher.h"
#include "platform/SimUsbCamera.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TstDeviceWatcher : public QObject {
    Q_OBJECT
private slots:
    void init() { SimUsbBus::instance()->configure("3,13"); }
    void cleanup() { SimUsbBus::instance()->configure(QString()); }

    void unplugAndPlugAreReportedByListName() {
        DeviceWatcher watcher;
        QSignalSpy removed(&watcher, &DeviceWatcher::removed);
        QSignalSpy arrived(&watcher, &DeviceWatcher::arrived);
        const QString name = CaptureDevice::deviceNames().value(1);
        QCOMPARE(name, QString("Simulated Ambrel (vid_fea9&pid_5680)"));
        QVERIFY(SimUsbBus::instance()->unplug(name));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().toString(), name);
        QVERIFY(!CaptureDevice::deviceNames().contains(name));
        QVERIFY(SimUsbBus::instance()->plug(name));
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(arrived.first().first().toString(), name);
        QVERIFY(CaptureDevice::deviceNames().contains(name));
    }

    void repeatedOrUnknownPlugsAreNotReported() {
        DeviceWatcher watcher;
        QSignalSpy removed(&watcher, &DeviceWatcher::removed);
        QSignalSpy arrived(&watcher, &DeviceWatcher::arrived);
        const QString name = CaptureDevice::deviceNames().value(0);
        QVERIFY(!SimUsbBus::instance()->plug(name)); // already plugged
        QVERIFY(!SimUsbBus::instance()->unplug("No such camera (vid_0000&pid_0000)"));
        QCOMPARE(arrived.count(), 0);
        QCOMPARE(removed.count(), 0);
    }

    void unplugFromAnotherThreadArrivesOnTheWatchersThread() {
        DeviceWatcher watcher;
        QSignalSpy removed(&watcher, &DeviceWatcher::removed);
        const QString name = CaptureDevice::deviceNames().value(0);
        QThread* worker = QThread::create([name] { SimUsbBus::instance()->unplug(name); });
        worker->start();
        worker->wait();
        delete worker;
        QTRY_COMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().toString(), name);
    }

    // The plug control file named by SEVRIN_SIM_PLUG: what it lists (by
    // position or by name) is unplugged, what it no longer lists comes back.
    void plugControlFileUnplugsAndPlugsBack() {
        QTemporaryDir dir;
        const QString file = dir.filePath("plug");
        qputenv("SEVRIN_SIM_PLUG", file.toLocal8Bit());
        DeviceWatcher watcher;
        qunsetenv("SEVRIN_SIM_PLUG");
        QSignalSpy removed(&watcher, &DeviceWatcher::removed);
        QSignalSpy arrived(&watcher, &DeviceWatcher::arrived);
        const QStringList names = CaptureDevice::deviceNames();
        auto write = [&](const QByteArray& text) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text);
        };
        struct Step {
            QByteArray text;
            QStringList listed; // what the device list shows afterwards
        };
        const QList<Step> steps{{"2\n", {names[0]}},
                                {"1\n2\n", {}},
                                {names[0].toUtf8() + "\n", {names[1]}},
                                {"", {names[0], names[1]}}};
        for (const Step& step : steps) {
            write(step.text);
            QTRY_COMPARE(CaptureDevice::deviceNames(), step.listed);
        }
        // Each change was reported once, by the listed name.
        QCOMPARE(removed.count(), 2);
        QCOMPARE(arrived.count(), 2);
        QCOMPARE(removed[0].first().toString(), names[1]);
        QCOMPARE(arrived.last().first().toString(), names[0]);
    }

    // The name the camera list shows (the model's token, numbered from the
    // second camera of a model on) unplugs that camera too.
    void plugControlFileTakesTheNamesTheCameraListShows() {
        SimUsbBus::instance()->configure("4,4,3");
        QTemporaryDir dir;
        const QString file = dir.filePath("plug");
        qputenv("SEVRIN_SIM_PLUG", file.toLocal8Bit());
        DeviceWatcher watcher;
        qunsetenv("SEVRIN_SIM_PLUG");
        const QStringList names = CaptureDevice::deviceNames();
        QCOMPARE(names.size(), 3);
        auto write = [&](const QByteArray& text) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text);
        };
        // The list's own words, independent of the simulator's names.
        const QByteArray nesko = UvcModels::token(4).toUtf8(), corvo = UvcModels::token(3).toUtf8();
        QCOMPARE(nesko, QByteArray("Nesko"));
        const QList<QPair<QByteArray, QStringList>> steps{{nesko + "\n", {names[1], names[2]}},
                                                          {nesko + "(1)\n", {names[0], names[2]}},
                                                          {corvo + "\n" + nesko + "(1)\n", {names[0]}},
                                                          {"", names}};
        for (const auto& [text, listed] : steps) {
            write(text);
            QTRY_COMPARE(CaptureDevice::deviceNames(), listed);
        }
    }
};

QTEST_MAIN(TstDeviceWatcher)
#include "tst_device_watcher.moc"
