#include "platform/DeviceWatcher.h"

#include "platform/SimUsbCamera.h"
#include "platform/V4l2CaptureDevice.h"

#include <QFile>
#include <QMap>
#include <QTimer>
#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

DeviceWatcher::DeviceWatcher(QObject* parent) : QObject(parent) {
    SimUsbBus* bus = SimUsbBus::instance();
    connect(bus, &SimUsbBus::removed, this, &DeviceWatcher::removed);
    connect(bus, &SimUsbBus::arrived, this, &DeviceWatcher::arrived);
    m_plugFile = qEnvironmentVariable("SEVRIN_SIM_PLUG");
    if (!m_plugFile.isEmpty()) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &DeviceWatcher::readPlugFile);
        poll->start(200);
        readPlugFile();
    }

    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatcher::readUdevEvent);
}

DeviceWatcher::~DeviceWatcher() {
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void DeviceWatcher::readPlugFile() {
    QFile file(m_plugFile);
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (text == m_plugText)
        return; // unchanged: plugging by hand in between is left alone
    m_plugText = text;
    SimUsbBus::instance()->applyUnpluggedList(QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts));
}

void DeviceWatcher::readUdevEvent() {
    udev_device* dev = udev_monitor_receive_device(m_monitor);
    if (!dev)
        return;
    QMap<QString, QString> props;
    udev_list_entry* p = nullptr;
    udev_list_entry_foreach(p, udev_device_get_properties_list_entry(dev)) {
        props.insert(QString::fromUtf8(udev_list_entry_get_name(p)), QString::fromUtf8(udev_list_entry_get_value(p)));
    }
    const char* action = udev_device_get_action(dev);
    // The removal event still carries the properties of the device's arrival,
    // so the name is built the same way as in the device list.
    if (props.value("ID_V4L_CAPABILITIES").contains(":capture:") && action) {
        const QString name = V4l2CaptureDevice::nameFromProperties(props);
        if (std::strcmp(action, "remove") == 0)
            emit removed(name);
        else if (std::strcmp(action, "add") == 0)
            emit arrived(name);
    }
    udev_device_unref(dev);
}
