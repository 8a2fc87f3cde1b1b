#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class BlockedFocusFilter;
class CloseRequestFilter;
class DeviceWatcher;
class MainWidget;

// The frameless, maximised window under everything: its centre widget is the
// video host, and it owns the translucent central widget laid over it. 35 ms
// after construction began it shows itself and the central widget; once the
// central widget is painted it scans for cameras and builds the centre
// (camerasScanned); it follows hot-plug of known USB cameras.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;
    MainWidget* centralWidgetWindow() const { return mainWidget; }

    // Device code (1..14) of a capture device name by the USB ids it contains
    // (first match in code order, case ignored); 0 when none.
    static int deviceCodeForName(const QString& name);
    // The USB ids watched for hot-plug, in their fixed order.
    static QStringList watchedUsbIds();

    void scanCameras();
    // The start-up scan has run (once per process).
    bool camerasReady() const { return scanned; }
    QString removedName() const { return removedDeviceName; }

signals:
    void camerasScanned();

public slots:
    void oneDealy();
    // Hot-plug: a device with this interface name went away / came back.
    void deviceRemoved(const QString& name);
    void deviceArrived(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;
    // Whenever this window comes up or is activated (start, restore from
    // minimised, a click on a bare strip), or the window manager focuses it
    // while a box is open, the interface window is raised over it: it is its
    // transient, but not every window manager keeps a frameless transient
    // above its parent. An open box is raised over the interface again.
    void changeEvent(QEvent* event) override;
    // A window manager that iconifies this window unmaps it, but leaves the
    // interface window (a separate top-level) mapped over the desktop: it is
    // iconified with it and shown again on restore. Without a window manager a
    // minimise request unmaps nothing, and the interface stays.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void raiseInterface();
    void followIconified();
    void scanOnce();

private:
    QWidget* centralWidget_ = nullptr;
    QWidget* widget_root = nullptr;
    QWidget* widget_center = nullptr;
    MainWidget* mainWidget = nullptr;
    QString removedDeviceName;
    QList<QString> usbIds;
    DeviceWatcher* watcher = nullptr;
    bool interfaceIconified = false;
    bool watchingExposure = false;
    bool scanned = false;
    std::unique_ptr<CloseRequestFilter> closeRequests;
    std::unique_ptr<BlockedFocusFilter> blockedFocus;
};

