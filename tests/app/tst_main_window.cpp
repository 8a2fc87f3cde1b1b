#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/hub/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "camera/UsbWorkers.h"
#include "camera/UvcModels.h"
#include "camera/deviceForm.h"
#include "imaging/FrameFormMINI.h"
#include "imaging/PinJieForm.h"
#include "imaging/ThreadJingShenHigh.h"
#include "platform/CaptureDevice.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "resources/SevrinResources.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <functional>
#include <memory>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void deviceCodesFromNames();
    void hotPlugFollowsTheRemovedCamera();
    void badLanguageReadsAsChinese();
    void simulatedUnplugAndPlugFollowed();
    void unplugDuringARecordingSaysSoWithTheFileName();
    void scanListsSimulatedCamerasWithNumbering();
    void camerasAndTheLastChoiceFollowTheFirstPaint();
    void firstShowHasTheDefaultSplit();
    void failedOpenOfTheGenericModelIsAFailure();
    void splitterStateSurvivesRestart();
    void tabsDoNothingBeforeACamera();
    void groupsStackTheirPanels_data();
    void groupsStackTheirPanels();
    void stitchingPreviewHasTheCamerasShape_data();
    void stitchingPreviewHasTheCamerasShape();
};

namespace {
// Calls back when the watched widget is first painted.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* w, std::function<void()> onShow) : m_onShow(std::move(onShow)) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && m_onShow) {
            m_onShow();
            m_onShow = nullptr;
        }
        return false;
    }

private:
    std::function<void()> m_onShow;
};

class NetCameraStub : public BaseCamera {
public:
    bool isNetCamera() const override { return true; }
};
} // namespace

void TestMainWindow::deviceCodesFromNames() {
    QCOMPARE(MainWindow::deviceCodeForName("Cam (VID_FEA9&PID_52C0)"), 8);
    QCOMPARE(MainWindow::deviceCodeForName("x vid_fea9&pid_0080 vid_fea9&pid_0020"), 1);
    QCOMPARE(MainWindow::deviceCodeForName("cam (vid_0603&pid_8612)"), 3);
    QCOMPARE(MainWindow::deviceCodeForName("cam (vid_fea9&pid_5080)"), 3);
    QCOMPARE(MainWindow::deviceCodeForName("cam (vid_fea9&pid_5180)"), 14);
    QCOMPARE(MainWindow::deviceCodeForName("cam (vid_fea9&pid_5020)"), 0); // hot-plug only
    QCOMPARE(MainWindow::deviceCodeForName("webcam (vid_046d&pid_0825)"), 0);
    QCOMPARE(MainWindow::watchedUsbIds().size(), 16);
    QCOMPARE(MainWindow::watchedUsbIds().at(13), QString("vid_fea9&pid_5020"));
}

void TestMainWindow::hotPlugFollowsTheRemovedCamera() {
    TestEnv env;
    SDLBackground video;
    videoWindow = &video;
    MainWindow w;
    QTRY_VERIFY(w.camerasReady()); // the start timer shows, the first paint scans
    video.show();
    QSignalSpy restart(MessagePassing::instance(), &MessagePassing::restartCameraSIGNAL);
    w.deviceRemoved("usb webcam (vid_046d&pid_0825)"); // unknown: nothing
    QVERIFY(video.isShown());
    const QString cam = "Sevrin cam (vid_fea9&pid_5020)";
    w.deviceRemoved(cam);
    QVERIFY(!video.isShown());
    QCOMPARE(w.removedName(), cam);
    w.deviceArrived("Other cam (vid_fea9&pid_5280)"); // a different known camera: ignored
    QCOMPARE(restart.count(), 0);
    QVERIFY(!video.isShown());
    w.deviceArrived(cam);
    QCOMPARE(restart.count(), 1);
    QVERIFY(video.isShown());
    QVERIFY(w.removedName().isEmpty());
    videoWindow = nullptr;
}

void TestMainWindow::badLanguageReadsAsChinese() {
    TestEnv env;
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", 9);
    MainWindow w;
    QCOMPARE(MessagePassing::instance()->language(), 0);
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", 1);
    MainWindow w2;
    QCOMPARE(MessagePassing::instance()->language(), 1);
}

void TestMainWindow::simulatedUnplugAndPlugFollowed() {
    TestEnv env;
    SimUsbBus::instance()->configure("8");
    SDLBackground video;
    videoWindow = &video;
    MainWindow w;
    QTRY_VERIFY(w.camerasReady()); // the scan starts the device watcher
    video.show();
    const QString name = CaptureDevice::deviceNames().value(0);
    QVERIFY(name.contains("vid_fea9&pid_52C0", Qt::CaseInsensitive));
    QSignalSpy restart(MessagePassing::instance(), &MessagePassing::restartCameraSIGNAL);
    QVERIFY(SimUsbBus::instance()->unplug(name));
    QTRY_COMPARE(w.removedName(), name);
    QVERIFY(!video.isShown());
    QVERIFY(SimUsbBus::instance()->plug(name));
    QTRY_COMPARE(restart.count(), 1);
    QVERIFY(video.isShown());
    videoWindow = nullptr;
    SimUsbBus::instance()->configure(QString());
}

// A user who stepped away learns why the recording is shorter than the time
// they left it running: the box names the file and says the camera was lost.
void TestMainWindow::unplugDuringARecordingSaysSoWithTheFileName() {
    TestEnv env;
    SleepClock::FakeTime clock;
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("language", 1);
    SimUsbBus::instance()->configure("4:fps=0");
    UsbWorkers::install();
    ThreadJingShenHigh::linkUsbCameras();
    SDLBackground video;
    videoWindow = &video;
    MainWindow w;
    QTRY_VERIFY(w.camerasReady());
    std::unique_ptr<UVCCamera> cam(UvcModels::openModel(4, 0, "NV12"));
    QVERIFY(cam);
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(cam.get());
    const QString file = env.file("clip.mp4");
    QVERIFY(cam->startRecord(file));
    hub->setVideoState(true);
    ModalCatcher boxes;
    QVERIFY(SimUsbBus::instance()->unplug(CaptureDevice::deviceNames().value(0)));
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(file), qPrintable(boxes.texts[0]));
    QVERIFY2(boxes.texts[0].contains("camera was lost"), qPrintable(boxes.texts[0]));
    hub->setCurCamera(nullptr);
    cam.reset();
    videoWindow = nullptr;
    SimUsbBus::instance()->configure(QString());
}

void TestMainWindow::scanListsSimulatedCamerasWithNumbering() {
    TestEnv env;
    qputenv("SEVRIN_SIM_NET", "");
    SimUsbBus::instance()->configure("3:fw=31,3:fw=20,13,8");
    MainWindow w;
    QTRY_VERIFY(w.camerasReady());
    auto* devices = w.centralWidgetWindow()->findChild<deviceForm*>();
    QVERIFY(devices);
    const auto* list = devices->findChild<QComboBox*>("comboBox");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    QCOMPARE(texts, QStringList({"Corvo", "Corvo(1)", "Ambrel", "Dunmor"}));
    SimUsbBus::instance()->configure(QString());
}

// The window is painted before the scan; the list and the camera chosen
// last time are there right after it, without anything else happening.
void TestMainWindow::camerasAndTheLastChoiceFollowTheFirstPaint() {
    TestEnv env;
    qputenv("SEVRIN_SIM_NET", "");
    SimUsbBus::instance()->configure("3:fw=31,13,8");
    QSettings("./deviceForm.ini", QSettings::IniFormat).setValue("LastCameraName", "Ambrel");
    MainWindow w;
    MainWidget* mw = w.centralWidgetWindow();
    bool paintedFirst = false;
    int scans = 0;
    connect(&w, &MainWindow::camerasScanned, this, [&] {
        ++scans;
        paintedFirst = mw->isVisible() && mw->windowHandle() && mw->windowHandle()->isExposed();
    });
    QVERIFY(!mw->findChild<deviceForm*>());
    QTRY_VERIFY(w.camerasReady());
    QVERIFY(paintedFirst);
    auto* devices = mw->findChild<deviceForm*>();
    QVERIFY(devices);
    const auto* list = devices->findChild<QComboBox*>("comboBox");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentText(), QString("Ambrel"));
    QCOMPARE(scans, 1);
    SimUsbBus::instance()->configure(QString());
}

// With no stored state, the interface is first painted with the view area taking the
// most of the width (the default stretch), not an even split.
void TestMainWindow::firstShowHasTheDefaultSplit() {
    TestEnv env;
    MainWindow w;
    MainWidget* mw = w.centralWidgetWindow();
    QList<int> atShow;
    PaintWatch watch(mw, [&] { atShow = mw->findChild<QSplitter*>("splitterLeft")->sizes(); });
    QTRY_VERIFY(w.camerasReady());
    QCOMPARE(atShow.size(), 2);
    QVERIFY2(atShow[1] > 2 * atShow[0], qPrintable(QString("left %1, view %2").arg(atShow[0]).arg(atShow[1])));
}

void TestMainWindow::failedOpenOfTheGenericModelIsAFailure() {
    TestEnv env;
    SleepClock::FakeTime clock;
    SimUsbBus::instance()->configure("1:fail=open");
    QVERIFY(!UvcModels::openModel(1, 0, "MJPG"));
    SimUsbBus::instance()->configure("2");
    std::unique_ptr<UVCCamera> ok(UvcModels::openModel(2, 0, "MJPG"));
    QVERIFY(ok);
    ok.reset();
    SimUsbBus::instance()->configure(QString());
}

void TestMainWindow::splitterStateSurvivesRestart() {
    TestEnv env;
    QList<int> sizes;
    {
        MainWindow w;
        MainWidget* mw = w.centralWidgetWindow();
        mw->resize(1600, 900);
        mw->show();
        QTRY_VERIFY(mw->splittersRestored()); // oneSecondDelay opens ./MainWidget.ini
        auto* left = mw->findChild<QSplitter*>("splitterLeft");
        QVERIFY(left);
        left->setSizes({500, 1094});
        sizes = left->sizes();
        QMetaObject::invokeMethod(mw, "saveDataSLOT");
    }
    QSettings ini("./MainWidget.ini", QSettings::IniFormat);
    QVERIFY(!ini.value("splitterLeft").toByteArray().isEmpty());
    QVERIFY(!ini.value("splitterCenter").toByteArray().isEmpty());
    MainWindow w;
    MainWidget* mw = w.centralWidgetWindow();
    mw->resize(1600, 900);
    mw->show();
    QTRY_VERIFY(mw->splittersRestored());
    QCOMPARE(mw->findChild<QSplitter*>("splitterLeft")->sizes(), sizes);
}

void TestMainWindow::tabsDoNothingBeforeACamera() {
    TestEnv env;
    MainWindow w;
    QTRY_VERIFY(w.camerasReady());
    MainWidget* mw = w.centralWidgetWindow();
    auto* measure = mw->findChild<QToolButton*>("btnMeasure");
    QVERIFY(measure);
    measure->click();
    // Only the device panel lives in the left column.
    QCOMPARE(mw->scrollContentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
}

void TestMainWindow::groupsStackTheirPanels_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("net");
    QTest::addColumn<QStringList>("panels");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("before"); // a group shown first, or none
    const QStringList settings{"CameraSet", "CameraTimeSet", "VideoSet", "XlsSet", "OtherSet"};
    QStringList netSettings = settings;
    netSettings[1] = "ImageReceiveForm";
    const QStringList measuring{"ScaleSet", "MeasureForm", "MeasureSet", "MarkForm"};
    const QStringList lines{"LineForm", "CrossLineSetWidget"};
    QTest::newRow("settings, USB camera") << "btnSet" << false << settings << 5 << "";
    QTest::newRow("settings, network camera") << "btnSet" << true << netSettings << 5 << "";
    QTest::newRow("measuring") << "btnMeasure" << false << measuring << 0 << "";
    QTest::newRow("lines") << "btnLine" << false << lines << 5 << "";
    // From a group taller than the column (its scroll bar shown) to one that fits.
    QTest::newRow("lines after measuring") << "btnLine" << false << lines << 5 << "btnMeasure";
    QTest::newRow("measuring after lines") << "btnMeasure" << false << measuring << 0 << "btnLine";
}

void TestMainWindow::groupsStackTheirPanels() {
    QFETCH(QString, button);
    QFETCH(bool, net);
    QFETCH(QStringList, panels);
    QFETCH(int, top);
    QFETCH(QString, before);
    TestEnv env;
    BaseCamera usb;
    NetCameraStub network;
    MessagePassing::instance()->setCurCamera(net ? &network : static_cast<BaseCamera*>(&usb));
    {
        MainWindow w;
        MainWidget* mw = w.centralWidgetWindow();
        mw->resize(1600, 900);
        mw->show();
        QMetaObject::invokeMethod(mw, "newCameraParaFormSLOT");
        if (!before.isEmpty()) {
            mw->findChild<QToolButton*>(before)->click();
            QCoreApplication::processEvents();
        }
        mw->findChild<QToolButton*>(button)->click();
        // The group's panels one below the other from the top margin, nothing else shown, each as
        // wide as the column as soon as it shows: input the program has not read yet (a late program)
        // reaches the panel before the event loop runs again.
        QList<QWidget*> shown;
        for (QWidget* c : mw->scrollContentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (c->isVisibleTo(mw->scrollContentWidget()))
                shown << c;
        std::sort(shown.begin(), shown.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        QStringList names;
        int y = top;
        for (QWidget* c : shown) {
            names << c->metaObject()->className();
            QCOMPARE(c->pos(), QPoint(0, y));
            QCOMPARE(c->width(), mw->scrollContentWidget()->width());
            y += c->height();
        }
        QCOMPARE(names, panels);
        // The content is as tall as the panels, but never shorter than the area less the history margin.
        auto* area = mw->findChild<QWidget*>("scrollArea");
        QVERIFY(area);
        QCOMPARE(mw->scrollContentWidget()->minimumHeight(), std::max(y - top, area->height() - 20));
        // The column's scroll bar is there at once exactly when the content is taller than the area:
        // the panels' width above is the one they keep.
        auto* bar = mw->findChild<QScrollArea*>("scrollArea")->verticalScrollBar();
        QCOMPARE(bar->isVisibleTo(area), mw->scrollContentWidget()->minimumHeight() > area->height());
    }
    MessagePassing::instance()->setCurCamera(nullptr);
}

void TestMainWindow::stitchingPreviewHasTheCamerasShape_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QSize>("frame");
    QTest::newRow("Dunmor, 4:3") << 8 << QSize(4096, 3072);
    QTest::newRow("Bexo, 4:3") << 11 << QSize(4000, 3000);
    QTest::newRow("Sorrin, 16:9") << 14 << QSize(3840, 2160);
}

// Entering stitching puts a small live preview into the panel's view area:
// as large as fits, centred, with the shape of the camera's picture.
void TestMainWindow::stitchingPreviewHasTheCamerasShape() {
    QFETCH(int, code);
    QFETCH(QSize, frame);
    TestEnv env;
    SleepClock::FakeTime clock;
    SimUsbBus::instance()->configure(QString("%1:fw=31:fps=0").arg(code));
    std::unique_ptr<UVCCamera> cam(UvcModels::openModel(code, 0, "NV12"));
    QVERIFY(cam);
    QCOMPARE(cam->frameSize(), frame);
    MessagePassing::instance()->setCurCamera(cam.get());
    const QString failure = [&]() -> QString {
        MainWindow w;
        MainWidget* mw = w.centralWidgetWindow();
        mw->resize(1600, 900);
        mw->show();
        QMetaObject::invokeMethod(mw, "newCameraParaFormSLOT");
        mw->findChild<QToolButton*>("btnComposite")->click();
        auto* form = mw->findChild<PinJieForm*>();
        if (!form)
            return "no stitching panel";
        QWidget* area = form->getGraphicsView();
        emit form->moveGraphicsView(form->graphicsView());
        const QList<FrameFormMINI*> minis = area->findChildren<FrameFormMINI*>();
        if (minis.size() != 1)
            return QString("%1 previews").arg(minis.size());
        const QRect g = minis[0]->geometry();
        const QRect inside(QPoint(0, 0), area->size());
        const QString sizes = QString("%1x%2 at %3,%4 in %5x%6")
                                  .arg(g.width())
                                  .arg(g.height())
                                  .arg(g.x())
                                  .arg(g.y())
                                  .arg(area->width())
                                  .arg(area->height());
        if (area->width() < 100 || area->height() < 100 || !inside.contains(g))
            return sizes;
        // As large as fits, centred, with the picture's shape to a pixel of
        // the shorter side.
        const double shape = double(frame.width()) / frame.height();
        if (g.width() != area->width() && g.height() != area->height())
            return "not fitted: " + sizes;
        if (std::abs(g.width() - g.height() * shape) > shape + 1.0)
            return "not the camera's shape: " + sizes;
        if (std::abs(g.center().x() - inside.center().x()) > 1 || std::abs(g.center().y() - inside.center().y()) > 1)
            return "not centred: " + sizes;
        return QString();
    }();
    MessagePassing::instance()->setCurCamera(nullptr);
    cam.reset();
    SimUsbBus::instance()->configure(QString());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
