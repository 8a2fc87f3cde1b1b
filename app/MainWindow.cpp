#include "app/MainWindow.h"

#include "app/BlockedFocusFilter.h"
#include "app/CloseRequestFilter.h"
#include "app/LatePlugins.h"
#include "app/MainWidget.h"
#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/NetCamera.h"
#include "camera/SnapshotFiles.h"
#include "camera/UvcModels.h"
#include "camera/VideoZoom.h"
#include "platform/CaptureDevice.h"
#include "platform/DeviceWatcher.h"
#include "camera/SDLBackground.h"
#include "platform/RegularFile.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QCloseEvent>
#include <QTimer>
#include <QWindow>

int MainWindow::deviceCodeForName(const QString& name) { return UvcModels::codeForDeviceName(name); }

QStringList MainWindow::watchedUsbIds() {
    return {"vid_fea9&pid_0080", "vid_fea9&pid_0020", "vid_0603&pid_8612", "vid_fea9&pid_5080",
            "vid_fea9&pid_5280", "vid_fea9&pid_5480", "vid_fea9&pid_6280", "vid_fea9&pid_5250",
            "vid_fea9&pid_52C0", "vid_fea9&pid_52F1", "vid_fea9&pid_5460", "vid_fea9&pid_54C0",
            "vid_fea9&pid_54F4", "vid_fea9&pid_5020", "vid_fea9&pid_5680", "vid_fea9&pid_5180"};
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName("MainWindow");
    resize(1024, 720);
    centralWidget_ = new QWidget(this);
    centralWidget_->setObjectName("centralWidget");
    centralWidget_->setStyleSheet("background-color:rgb(96, 96, 96);");
    widget_root = new QWidget(centralWidget_);
    widget_root->setObjectName("widget_root");
    widget_root->setGeometry(0, 0, 1024, 720);
    widget_root->setMinimumSize(1024, 720);
    widget_center = new QWidget(widget_root);
    widget_center->setObjectName("widget_center");
    widget_center->setGeometry(0, 0, 1024, 650);
    widget_center->setMouseTracking(false);
    widget_center->setAutoFillBackground(false);
    setCentralWidget(centralWidget_);
    setWindowTitle("Varnel显微镜软件V4.1");

    setWindowFlags(Qt::FramelessWindowHint);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());
    showMaximized();
    widget_root->resize(size());
    videoHostWidget = widget_center;

    QSettings other(RegularFile::settingsName("./OtherSet.ini"), QSettings::IniFormat);
    // setLanguage treats values outside 0..2 as 0.
    MessagePassing::instance()->setLanguage(other.value("language", 0).toInt());
    hide();
    // Started before the interface is built, so that the wait runs while it
    // is built rather than after it.
    QTimer::singleShot(35, this, &MainWindow::oneDealy);

    mainWidget = new MainWidget(this);
    mainWidget->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    mainWidget->setAttribute(Qt::WA_TranslucentBackground);
    mainWidget->resize(size());
    mainWidget->hide();
    widget_center->setStyleSheet("QWidget#widget_center{background-color:rgb(96,96,96);}");
    // A close request with a modal dialog open takes the close road too.
    closeRequests = std::make_unique<CloseRequestFilter>(mainWidget, [this] { mainWidget->btnCloseClick(); });
    closeRequests->watch(this);
    closeRequests->watch(mainWidget);
    // Focus the window manager gives this window while a box is open does not
    // activate it, but may have stacked it over the interface all the same.
    blockedFocus = std::make_unique<BlockedFocusFilter>(this, [this] { raiseInterface(); });
    blockedFocus->watch(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::oneDealy() {
    // The interface is painted first and the scan fills it in right after:
    // the scan, the view centre and the measuring layer are not needed to
    // draw the window, and the user sees it that much sooner. The stored
    // split is laid out before it shows, as its own short timer would have.
    mainWidget->oneSecondDelay();
    mainWidget->show();
    show();
    if (QWindow* shown = mainWidget->windowHandle())
        shown->installEventFilter(this);
    // A window that is never exposed (iconified from the start) gets its
    // cameras all the same.
    QTimer::singleShot(500, this, &MainWindow::scanOnce);
}

void MainWindow::scanOnce() {
    if (scanned)
        return;
    scanned = true;
    LatePlugins::giveBack();
    scanCameras();
    emit camerasScanned();
}

void MainWindow::scanCameras() {
    NetCamera::broadcastCameras();
    if (!watcher) {
        watcher = new DeviceWatcher(this);
        connect(watcher, &DeviceWatcher::removed, this, &MainWindow::deviceRemoved);
        connect(watcher, &DeviceWatcher::arrived, this, &MainWindow::deviceArrived);
    }
    usbIds = watchedUsbIds();
    QList<int> codes, indexes;
    const QStringList names = CaptureDevice::deviceNames();
    for (int i = 0; i < names.size(); ++i) {
        const int code = deviceCodeForName(names[i]);
        if (code) {
            codes << code;
            indexes << i;
        }
    }
    mainWidget->initCenter(codes, indexes);
}

void MainWindow::deviceRemoved(const QString& name) {
    if (!removedDeviceName.isEmpty())
        return;
    for (const QString& id : usbIds) {
        if (name.contains(id, Qt::CaseInsensitive)) {
            if (videoWindow)
                videoWindow->hide();
            removedDeviceName = name;
            // A recording ends with a playable file rather than going on
            // silently across the gap.
            MessagePassing* hub = MessagePassing::instance();
            if (BaseCamera* cam = hub->currentCamera(); cam && !cam->isNetCamera()) {
                const QString file = hub->isVideoState() ? cam->recordingPath() : QString();
                hub->stopVideo();
                cam->stopRecord();
                // The user may have stepped away: the file is shorter than
                // the time it was left running, and this says why.
                if (!file.isEmpty())
                    SnapshotFiles::reportRecordingCameraLost(file);
            }
            return;
        }
    }
}

void MainWindow::deviceArrived(const QString& name) {
    if (removedDeviceName.isEmpty() || name != removedDeviceName)
        return;
    MessagePassing::instance()->restartCamera();
    if (videoWindow)
        videoWindow->show();
    removedDeviceName.clear();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!watchingExposure && windowHandle()) {
        windowHandle()->installEventFilter(this);
        watchingExposure = true;
    }
    if (mainWidget)
        mainWidget->restoreFunc();
    raiseInterface();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window manager's close request ends the program by its own road;
    // the close that road makes itself is not spontaneous.
    if (event->spontaneous() && mainWidget) {
        event->ignore();
        mainWidget->btnCloseClick();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Queued: the expose paints the interface before the scan runs.
    if (!scanned && event->type() == QEvent::Expose && mainWidget && watched == mainWidget->windowHandle())
        QTimer::singleShot(0, this, &MainWindow::scanOnce);
    if (watched == windowHandle() && event->type() == QEvent::Expose)
        QTimer::singleShot(0, this, &MainWindow::followIconified);
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::followIconified() {
    if (!mainWidget || !windowHandle())
        return;
    const bool minimised = windowState() & Qt::WindowMinimized;
    if (minimised && !windowHandle()->isExposed() && mainWidget->isVisible()) {
        interfaceIconified = true;
        mainWidget->showMinimized();
    } else if (interfaceIconified && !minimised && isVisible()) {
        interfaceIconified = false;
        mainWidget->showNormal();
        raiseInterface();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, &MainWindow::followIconified);
    if ((event->type() == QEvent::ActivationChange && isActiveWindow()) ||
        (event->type() == QEvent::WindowStateChange && !(windowState() & Qt::WindowMinimized)))
        raiseInterface();
}

void MainWindow::raiseInterface() {
    // Queued: the window manager stacks this window first, then the request.
    QTimer::singleShot(0, this, [this] {
        if (!mainWidget || !mainWidget->isVisible() || !isVisible() || (windowState() & Qt::WindowMinimized))
            return;
        mainWidget->raise();
        if (QWidget* box = QApplication::activeModalWidget()) {
            // An open box keeps the focus and stays above the interface.
            box->raise();
            return;
        }
        mainWidget->activateWindow();
    });
}
