// Hot-plug events of simulated cameras reach the device watcher with the
// names the device list shows; another watcher hears the same.
#include "platform/CaptureDevice.h"
#include "platform/DeviceWatcher.h"
#include "platform/SimUsbCamera.h"

#include <QSignalSpy>
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
};

QTEST_MAIN(TstDeviceWatcher)
#include "tst_device_watcher.moc"
