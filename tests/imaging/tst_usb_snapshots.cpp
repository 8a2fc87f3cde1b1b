#include "app/hub/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "camera/UsbWorkers.h"
#include "camera/UvcModels.h"
#include "imaging/ThreadJingShenHigh.h"
#include "measure/engine/ItemLayer.h"
#include "measure/shapes/ShapeRegistration.h"
#include "platform/SimUsbCamera.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <opencv2/imgproc.hpp>

// Snapshots of a simulated USB camera through the program's real decoder and
// save threads: files land complete, listed with thumbnails, in each mode.
class TestUsbSnapshots : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void directSaveIsListedWithThumbnail();
    void quickPressesAllArrive_data();
    void quickPressesAllArrive();
    void pausedModeTenTakesTheShownFrame();
    void stitchingFrameReachesTheHub();
    void reportPictureIsDrawnAndSavedWideAt1920();
    void focusStackingFramesReachTheWorker();
    void damagedJpegFramesAreNotSaved();

private:
    void pass(int n) {
        for (int i = 0; i < n; ++i) {
            window->renderFrame();
            QCoreApplication::processEvents();
        }
    }
    bool waitFor(const std::function<bool()>& done, int passes = 400) {
        for (int i = 0; i < passes && !done(); ++i) {
            pass(1);
            QTest::qWait(5);
        }
        return done();
    }
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<SDLBackground> window;
    std::unique_ptr<UVCCamera> cam;
};

void TestUsbSnapshots::initTestCase() {
    env = std::make_unique<TestEnv>();
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
    UsbWorkers::install();
    ThreadJingShenHigh::linkUsbCameras();
    SimUsbBus::instance()->configure("14:fw=31:fps=0");
    window = std::make_unique<SDLBackground>();
    videoWindow = window.get();
    window->setCanvasSize(QSize(960, 540));
    window->show();
    cam.reset(UvcModels::openModel(14, 0, "NV12"));
    QVERIFY(cam);
    MessagePassing::instance()->setCurCamera(cam.get());
    cam->startLive();
    cam->setScaleIndex(cam->scaleIndex(), QPoint(-10000, -10000));
    pass(3);
}

void TestUsbSnapshots::cleanupTestCase() {
    MessagePassing::instance()->setCurCamera(nullptr);
    cam.reset();
    videoWindow = nullptr;
    window.reset();
    SimUsbBus::instance()->configure(QString());
    UVCCamera::setWorkerFactory(UsbWorkerFactory());
}

void TestUsbSnapshots::directSaveIsListedWithThumbnail() {
    QSignalSpy listed(MessagePassing::instance(), &MessagePassing::addImageHistorySIGNAL);
    const QString path = env->file("Export/Image/first");
    QDir().mkpath(env->file("Export/Image"));
    cam->snapImage(path, 0, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return listed.count() == 1; }));
    const QString file = listed.first().at(1).toString();
    QCOMPARE(file, path + ".jpg");
    QImageReader reader(file);
    const QImage img = reader.read();
    QCOMPARE(img.size(), cam->frameSize(false));
    QCOMPARE(img.dotsPerMeterX(), 12401);
    QVERIFY(waitFor([&] { return QFile::exists("./.scaleImage/0.jpg"); }));
    QCOMPARE(QImage("./.scaleImage/0.jpg").height(), 296);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(env->file("Export/Image")).entryList(QDir::Files), QStringList{"first.jpg"});
}

void TestUsbSnapshots::quickPressesAllArrive_data() {
    QTest::addColumn<int>("presses");
    QTest::newRow("2") << 2;
    QTest::newRow("9") << 9;
    QTest::newRow("20") << 20;
}

void TestUsbSnapshots::quickPressesAllArrive() {
    QFETCH(int, presses);
    QSignalSpy listed(MessagePassing::instance(), &MessagePassing::addImageHistorySIGNAL);
    const QString dir = env->file(QString("quick%1").arg(presses));
    QDir().mkpath(dir);
    for (int i = 0; i < presses; ++i) // all before the next frame
        cam->snapImage(QString("%1/%2").arg(dir).arg(i), 0, true, false, Qt::red, 0, 0);
    const bool all = waitFor([&] { return listed.count() == presses; }, 2000);
    QVERIFY2(all, qPrintable(QString("listed %1 of %2").arg(listed.count()).arg(presses)));
    const QStringList files = QDir(dir).entryList({"*.jpg"});
    QCOMPARE(files.size(), presses);
    for (const QString& n : files)
        QCOMPARE(QImage(dir + "/" + n).size(), cam->frameSize(false));
}

void TestUsbSnapshots::pausedModeTenTakesTheShownFrame() {
    cam->pause();
    pass(2);
    QSignalSpy listed(MessagePassing::instance(), &MessagePassing::addImageHistorySIGNAL);
    cam->snapImage(env->file("paused"), 10, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return listed.count() == 1; }));
    QVERIFY(!QImage(env->file("paused.jpg")).isNull());
    cam->play();
    pass(2);
}

void TestUsbSnapshots::stitchingFrameReachesTheHub() {
    QSignalSpy frames(MessagePassing::instance(), &MessagePassing::pinJieImageSIGNAL);
    cam->snapImage(env->file("stitch"), 3, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return frames.count() == 1; }));
    QCOMPARE(frames.first().first().value<QImage>().size(), cam->frameSize(false));
}

void TestUsbSnapshots::reportPictureIsDrawnAndSavedWideAt1920() {
    // Mode 2 goes through the overlay, which draws the measurements and
    // hands it back; the report picture is saved 1920 wide.
    QWidget host;
    RegisterMeasureShapes();
    ItemLayer layer(&host);
    layer.init();
    QSignalSpy exported(MessagePassing::instance(), &MessagePassing::exportImageSIGNAL);
    cam->snapImage(env->file("report"), 2, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return exported.count() == 1; }));
    const QImage img(env->file("report.jpg"));
    QCOMPARE(img.width(), 1920);
}

void TestUsbSnapshots::focusStackingFramesReachTheWorker() {
    // Mode 7 feeds the focus-stacking worker from the save thread; an idle
    // worker shows the live frame as its picture.
    ThreadJingShenHigh worker;
    cam->setFocusConsumer(&worker);
    cam->snapImage(env->file("stack"), 7, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return !worker.result().isNull(); }));
    QCOMPARE(worker.result().size(), cam->frameSize(false));
    // Its reset unlinks it from the camera through the hook.
    worker.resetData();
    QVERIFY(waitFor([&] { return cam->focusConsumer() == nullptr; }));
    pass(3);
}

void TestUsbSnapshots::damagedJpegFramesAreNotSaved() {
    // An MJPG camera whose next two frames arrive cut short: the snapshot is
    // the next good frame, whole to its last row.
    MessagePassing::instance()->setCurCamera(nullptr);
    cam.reset();
    SimUsbBus::instance()->configure("14:fw=31:fps=0");
    auto sim = SimUsbBus::instance()->cameras().value(0);
    sim->setMovingMark(false);
    cam.reset(UvcModels::openModel(14, 0, "MJPG"));
    QVERIFY(cam);
    MessagePassing::instance()->setCurCamera(cam.get());
    cam->startLive();
    pass(3);
    QSignalSpy listed(MessagePassing::instance(), &MessagePassing::addImageHistorySIGNAL);
    sim->truncateNextJpegs(2);
    cam->snapImage(env->file("whole"), 0, true, false, Qt::red, 0, 0);
    QVERIFY(waitFor([&] { return listed.count() == 1; }));
    const QImage saved(env->file("whole.jpg"));
    QVERIFY(!saved.isNull());
    cv::Mat truth;
    cv::cvtColor(sim->currentPicture(), truth, cv::COLOR_BGR2RGB);
    const QImage expected = QImage(truth.data, truth.cols, truth.rows, int(truth.step), QImage::Format_RGB888)
                                .scaled(saved.size())
                                .convertToFormat(QImage::Format_RGB32);
    // The bottom rows are where a cut frame would be grey.
    double diff = 0;
    int n = 0;
    for (int y = saved.height() - 40; y < saved.height(); y += 4)
        for (int x = 0; x < saved.width(); x += 16, ++n) {
            const QRgb a = saved.pixel(x, y), b = expected.pixel(x, y);
            diff += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    QVERIFY2(diff / n < 30, qPrintable(QString::number(diff / n)));
}

QTEST_MAIN(TestUsbSnapshots)
#include "tst_usb_snapshots.moc"
