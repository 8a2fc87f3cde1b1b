#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Camera hot-plug: reports V4L2 capture devices that come and go (libudev's
// monitor) and simulated cameras unplugged and plugged back (SimUsbBus), by
// the same device names that CaptureDevice::devices() lists. Lives on the GUI
// thread; signals arrive there.
//
// The plug control of the simulated cameras: when SEVRIN_SIM_PLUG names a
// file, the watcher reads it every 200 ms; the cameras it lists, one a line
// (position in SEVRIN_SIM_USB from 1, or device name), are unplugged, the
// others plugged (back). No file or an empty one: all plugged.
class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatcher(QObject* parent = nullptr);
    ~DeviceWatcher() override;
    // False when the udev monitor could not be set up (simulated cameras are
    // still watched).

signals:
    void removed(const QString& name);
    void arrived(const QString& name);

private:
    void readUdevEvent();
    void readPlugFile();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QString m_plugFile;
    QByteArray m_plugText; // what the file held at the last read
};
