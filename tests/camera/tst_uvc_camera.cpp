// The USB camera driver on a simulated camera: frames through the ring and
// the render step in each format, snapshots by mode (playing and paused),
// the decoder and save-thread pools, the recorder feed, zoom, the auto-edge
// search, the asynchronous close and unplugging.
#include "FakeUsbWorkers.h"
#include "MediaProbe.h"
#include "tests/platform/SimV4l2Stream.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/TestEnv.h"
#include "app/hub/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "camera/UsbWorkers.h"
#include "camera/ThreadVideo.h"
#include "camera/VideoZoom.h"
#include "platform/V4l2CaptureDevice.h"

#include <QGuiApplication>
#include <QScreen>
#include "platform/SimSpecimen.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numeric>

namespace {

ThreadJingShenHigh* const kConsumer = reinterpret_cast<ThreadJingShenHigh*>(0x1000);

// A driver on simulated camera 0 at 1920 x 1080, shown 1:1 on the canvas.
struct Rig {
    std::unique_ptr<TestEnv> env = std::make_unique<TestEnv>();
    FakeUsbWorkers workers;
    std::unique_ptr<SDLBackground> window;
    std::unique_ptr<UVCCamera> cam;
    std::shared_ptr<SimUsbCamera> sim;

    explicit Rig(int format, const QString& spec = "14:fps=0", QSize canvas = QSize(1920, 1080)) {
        {
            QSettings other("./OtherSet.ini", QSettings::IniFormat);
            other.setValue("Resolution", 1);
        }
        SimUsbBus::instance()->configure(spec);
        sim = SimUsbBus::instance()->cameras().value(0);
        window = std::make_unique<SDLBackground>();
        videoWindow = window.get();
        window->setCanvasSize(canvas);
        window->show();
        cam = std::make_unique<UVCCamera>();
        opened = cam->open(0, format);
        cam->startLive();
        cam->setScaleIndex(cam->scaleIndex(), QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor));
    }
    ~Rig() {
        cam.reset();
        videoWindow = nullptr;
        window.reset();
        SimUsbBus::instance()->configure(QString());
    }
    // Passes of the program's loop, each followed by the rest in which the
    // decoder finishes the frame the pass handed over: a pass shows the
    // picture of the frame the pass before it read.
    void pass(int n = 1) {
        for (int i = 0; i < n; ++i) {
            window->renderFrame();
            window->waitDecoded(30000); // returns as soon as the decoder is done
        }
    }
    bool opened = false;
};

// Mean absolute difference of two pictures above the strip of the moving mark.
double pictureDifference(const QImage& shown, const cv::Mat& bgr) {
    const QImage rgb = shown.convertToFormat(QImage::Format_RGB888);
    cv::Mat a(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()), size_t(rgb.bytesPerLine()));
    cv::Mat b;
    cv::cvtColor(bgr, b, cv::COLOR_BGR2RGB);
    const cv::Rect top(0, 0, b.cols, b.rows * 9 / 10);
    cv::Mat diff;
    cv::absdiff(a(top), b(top), diff);
    return cv::mean(diff)[1];
}

} // namespace

class TstUvcCamera : public QObject {
    Q_OBJECT
private slots:
    void openInEachFormatFramesFlowThroughTheRenderStep_data();
    void openInEachFormatFramesFlowThroughTheRenderStep();
    void playingSnapshotsAreServedAtTheNextFrames();
    void busyDecodersKeepTheRequestPending();
    void failedDecodeIsDroppedAndTheDecoderReused();
    void droppedSnapshotEndsTheBusyStateWithAnErrorBox_data();
    void droppedSnapshotEndsTheBusyStateWithAnErrorBox();
    void aDecodeTheSystemRefusesIsToldAtOnce_data();
    void aDecodeTheSystemRefusesIsToldAtOnce();
    void focusStackingFramesFlowOnlyWithAConsumer();
    void focusStackingTakesTheFramesOfSlotZero_data();
    void focusStackingTakesTheFramesOfSlotZero();
    void pausedSnapshotsComeFromTheNewestFrame();
    void handedOverFramesAreNeverOverwritten();
    void recorderGetsFramesUntilItFinishes();
    void zoomStepsAndFitKeepThePictureCentred();
    void zoomInKeepsTheAnchorInPlace();
    void snapToEdgeLandsOnADiscAndOnAGridLine();
    void snapToEdgeNearTheBorderShiftsTheWindow();
    void edgeSearchFollowsThePicture_data();
    void edgeSearchFollowsThePicture();
    void closeWaitsForABusySaveThread();
    void closeEndsAFocusFrameConversionWithoutItsPicture();
    void unplugFailsReadsAndPlugBringsFramesBack();
    void frameRateIsMeasuredOnTheFrameClock();
    void framesSkippedBeforeTheRecorderAreCounted_data();
    void framesSkippedBeforeTheRecorderAreCounted();
    void v4l2RecordingsKeepRealTime_data();
    void v4l2RecordingsKeepRealTime();
    void genericControlsUseStandardProperties();
};

void TstUvcCamera::openInEachFormatFramesFlowThroughTheRenderStep_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << int(PixFmtNV12);
    QTest::newRow("YUYV") << int(PixFmtYUYV);
    QTest::newRow("MJPG") << int(PixFmtMJPG);
}

void TstUvcCamera::openInEachFormatFramesFlowThroughTheRenderStep() {
    QFETCH(int, format);
    Rig rig(format);
    QVERIFY(rig.opened);
    QCOMPARE(rig.cam->pixelFormat(), format);
    QCOMPARE(rig.sim->pixelFormat(), format);
    QCOMPARE(rig.sim->frameSize(), QSize(1920, 1080));
    QCOMPARE(rig.window->usbCamera(), static_cast<UsbVideoFeed*>(rig.cam.get()));
    rig.pass(4);
    QCOMPARE(rig.sim->framesDelivered(), 4);
    QCOMPARE(rig.window->uploadCount(), 3); // the fourth picture is shown by the next pass
    QCOMPARE(rig.cam->ringIndex(), 1);
    QVERIFY(pictureDifference(rig.window->canvas(), rig.sim->currentPicture()) < 4.0);
}

void TstUvcCamera::playingSnapshotsAreServedAtTheNextFrames() {
    Rig rig(PixFmtNV12);
    rig.pass();
    rig.cam->snapImage("shot", 0, true, false, Qt::red, 0, 0);
    QCOMPARE(rig.cam->pendingSnapshots(), QStringList{"shot"});
    rig.pass();
    QCOMPARE(rig.workers.saved.size(), 1);
    QCOMPARE(rig.workers.saved[0].path, QString("shot"));
    QCOMPARE(rig.workers.saved[0].mode, 0);
    QCOMPARE(rig.workers.saved[0].className, QString("UVCCamera"));
    QCOMPARE(rig.workers.saved[0].image.size(), QSize(1920, 1080));
    QVERIFY(rig.cam->pendingSnapshots().isEmpty());
    // A series (mode 10) is queued and served one per frame.
    for (const char* p : {"s1", "s2", "s3"})
        rig.cam->snapImage(p, 10, true, false, Qt::red, 0, 0);
    rig.pass(2);
    QCOMPARE(rig.cam->pendingSnapshots(), QStringList{"s3"});
    rig.pass();
    QCOMPARE(rig.workers.saved.size(), 4);
    QCOMPARE(rig.workers.saved[3].path, QString("s3"));
    QCOMPARE(rig.workers.saved[3].mode, 10);
    QCOMPARE(rig.workers.decodersMade, 1); // reused
}

void TstUvcCamera::busyDecodersKeepTheRequestPending() {
    Rig rig(PixFmtYUYV);
    rig.workers.holdDecodes = true;
    for (int i = 0; i < 6; ++i)
        rig.cam->snapImage(QString("p%1").arg(i), 10, true, false, Qt::red, 0, 0);
    rig.pass(8);
    QCOMPARE(rig.workers.decodersMade, rig.cam->maxDecodeThreads());
    QCOMPARE(rig.cam->pendingSnapshots().size(), 2);
    QVERIFY(rig.workers.saved.isEmpty());
    rig.workers.releaseDecodes();
    QCOMPARE(rig.workers.saved.size(), 4);
    rig.workers.holdDecodes = false;
    rig.pass(2);
    QCOMPARE(rig.workers.saved.size(), 6);
    QCOMPARE(rig.workers.decodersMade, 4);
    // Four save threads were needed while the decoders held their jobs.
    QCOMPARE(rig.workers.saversMade, 4);
    // Given back once idle (the stream that grew them has ended): one save
    // thread stays ready, and the next snapshot makes its decoder again.
    rig.cam->releaseIdleWorkers();
    rig.cam->snapImage("p6", 10, true, false, Qt::red, 0, 0);
    rig.pass(2);
    QCOMPARE(rig.workers.saved.size(), 7);
    QCOMPARE(rig.workers.decodersMade, 5);
    QCOMPARE(rig.workers.saversMade, 4);
}

void TstUvcCamera::failedDecodeIsDroppedAndTheDecoderReused() {
    Rig rig(PixFmtMJPG);
    rig.workers.failDecodes = true;
    rig.cam->snapImage("lost", 0, true, false, Qt::red, 0, 0);
    // A damaged frame gives the request back for the next frames, a few times.
    rig.pass(8);
    QVERIFY(rig.workers.saved.isEmpty());
    QCOMPARE(rig.cam->droppedSnapshots(), 1);
    QVERIFY(rig.cam->pendingSnapshots().isEmpty());
    rig.workers.failDecodes = false;
    rig.cam->snapImage("kept", 0, true, false, Qt::red, 0, 0);
    rig.pass();
    QCOMPARE(rig.workers.saved.size(), 1);
    QCOMPARE(rig.workers.saved[0].path, QString("kept"));
    QCOMPARE(rig.workers.decodersMade, 1);
    QCOMPARE(rig.workers.saversMade, 1); // the save thread of the failed job was freed
}

void TstUvcCamera::droppedSnapshotEndsTheBusyStateWithAnErrorBox_data() {
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("iconsCleared");
    QTest::addColumn<int>("boxes");
    // A picture the user waits for ends the busy state with a box; a series
    // keeps its busy state; streamed frames for stitching only wait.
    QTest::newRow("playing snap") << false << 0 << 1 << 1;
    QTest::newRow("playing snap to dialog") << false << 1 << 1 << 1;
    QTest::newRow("paused snap") << true << 0 << 1 << 1;
    QTest::newRow("paused palette screenshot") << true << 8 << 1 << 1;
    QTest::newRow("paused palette save") << true << 9 << 1 << 1;
    QTest::newRow("playing series") << false << 10 << 0 << 1;
    QTest::newRow("playing stitching") << false << 3 << 0 << 0;
}

void TstUvcCamera::droppedSnapshotEndsTheBusyStateWithAnErrorBox() {
    QFETCH(bool, paused);
    QFETCH(int, mode);
    QFETCH(int, iconsCleared);
    QFETCH(int, boxes);
    Rig rig(PixFmtMJPG);
    ModalCatcher catcher;
    QSignalSpy icon(MessagePassing::instance(), SIGNAL(removeIconCameraSIGNAL()));
    rig.pass(2);
    if (paused)
        rig.cam->pause();
    rig.workers.failDecodes = true;
    rig.cam->snapImage(QDir::current().absoluteFilePath("lost"), mode, true, false, Qt::red, 0, 0);
    rig.pass(12);
    if (mode == 3)
        rig.cam->snapImage(QString(), 5, true, false, Qt::red, 0, 0); // the stitching stream ends
    rig.pass(2);
    QVERIFY(rig.workers.saved.isEmpty());
    QVERIFY(rig.cam->droppedSnapshots() >= 1);
    QTRY_COMPARE(icon.count(), iconsCleared);
    QTRY_COMPARE(catcher.titles.size(), boxes);
    if (boxes) {
        QCOMPARE(catcher.titles.first(), QString("Error"));
        QVERIFY2(catcher.texts.first().contains("lost"), qPrintable(catcher.texts.first()));
    }
    // Boxes are posted to the interface thread: once posted events ran,
    // no other box is open or waiting.
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!(qobject_cast<QMessageBox*>(w) && w->isVisible()));
    QCOMPARE(icon.count(), iconsCleared);
}

void TstUvcCamera::aDecodeTheSystemRefusesIsToldAtOnce_data() {
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("mode");
    // The system refuses the decoder memory or a thread: the saver tells
    // whoever waits (stitching stops, the user sees why), once, rather than
    // the request waiting for a frame that never comes.
    QTest::newRow("playing snap") << false << 0;
    QTest::newRow("paused snap") << true << 0;
    QTest::newRow("playing stitching") << false << 3;
}

void TstUvcCamera::aDecodeTheSystemRefusesIsToldAtOnce() {
    QFETCH(bool, paused);
    QFETCH(int, mode);
    Rig rig(PixFmtMJPG);
    rig.pass(2);
    if (paused)
        rig.cam->pause();
    rig.workers.refuseDecodes = true;
    rig.cam->snapImage("refused", mode, true, false, Qt::red, 0, 0);
    rig.pass(4);
    QCOMPARE(rig.workers.refused.size(), 1);
    QCOMPARE(rig.workers.refused[0].path, QString("refused"));
    QCOMPARE(rig.workers.refused[0].mode, mode);
    QVERIFY(rig.workers.saved.isEmpty());
    QVERIFY(rig.cam->pendingSnapshots().isEmpty());
    QCOMPARE(rig.cam->droppedSnapshots(), 1);
    // The decoder and the saver are free for the next picture.
    rig.workers.refuseDecodes = false;
    rig.cam->snapImage("kept", 0, true, false, Qt::red, 0, 0);
    rig.pass();
    QCOMPARE(rig.workers.saved.size(), 1);
    QCOMPARE(rig.workers.saved[0].path, QString("kept"));
    QCOMPARE(rig.workers.decodersMade, 1);
    QCOMPARE(rig.workers.saversMade, 1);
}

void TstUvcCamera::focusStackingTakesTheFramesOfSlotZero_data() {
    QTest::addColumn<int>("startSlot"); // where the ring stands when stacking starts
    QTest::newRow("slot 0") << 0;
    QTest::newRow("slot 1") << 1;
    QTest::newRow("slot 2") << 2;
}

void TstUvcCamera::focusStackingTakesTheFramesOfSlotZero() {
    QFETCH(int, startSlot);
    Rig rig(PixFmtNV12);
    rig.cam->setFocusConsumer(kConsumer);
    while (rig.cam->ringIndex() != startSlot)
        rig.pass();
    rig.cam->snapImage("stack", 7, true, false, Qt::red, 0, 0);
    QList<int> feeding; // the ring slot read by each pass that handed a frame over
    for (int i = 0; i < 9; ++i) {
        const int slot = rig.cam->ringIndex();
        const int before = rig.workers.decodeJobs;
        rig.pass();
        if (rig.workers.decodeJobs > before)
            feeding << slot;
    }
    // Every third frame, the one read into slot 0, and no other.
    QCOMPARE(feeding, (QList<int>{0, 0, 0}));
    QCOMPARE(rig.workers.saved.size(), 3);
}

void TstUvcCamera::focusStackingFramesFlowOnlyWithAConsumer() {
    Rig rig(PixFmtNV12);
    rig.cam->snapImage("stack", 7, true, false, Qt::red, 0, 0);
    rig.pass();
    QVERIFY(rig.cam->pendingSnapshots().isEmpty()); // no consumer: cleared
    rig.cam->setFocusConsumer(kConsumer);
    rig.pass(); // ring index 1 -> 2
    rig.cam->snapImage("stack", 7, true, false, Qt::red, 0, 0);
    rig.pass(6); // slots 2, 0, 1, 2, 0, 1
    QCOMPARE(rig.workers.saved.size(), 2);
    QCOMPARE(rig.workers.saved[0].consumer, kConsumer);
    QCOMPARE(rig.workers.saved[0].mode, 7);
    QCOMPARE(rig.cam->pendingSnapshots(), QStringList{"stack"});
}

void TstUvcCamera::pausedSnapshotsComeFromTheNewestFrame() {
    Rig rig(PixFmtNV12);
    rig.pass(2);
    rig.cam->pause();
    rig.pass(); // shows the picture of the newest frame, reads nothing
    const int delivered = rig.sim->framesDelivered();
    const QImage shown = rig.window->canvas().copy();
    rig.cam->snapImage("stitch", 3, true, false, Qt::red, 0, 0);
    QVERIFY(rig.workers.saved.isEmpty()); // mode 3 is not served while paused
    rig.cam->snapImage("still", 0, true, false, Qt::red, 0, 0);
    QCOMPARE(rig.workers.saved.size(), 1);
    const QImage saved = rig.workers.saved[0].image.convertToFormat(QImage::Format_RGB32);
    QVERIFY(saved.pixel(960, 1050) == shown.pixel(960, 1050) ||
            qAbs(qGray(saved.pixel(960, 1050)) - qGray(shown.pixel(960, 1050))) < 8);
    // A series goes on while paused: one per render pass, no capture read.
    rig.cam->snapImage("a", 10, true, false, Qt::red, 0, 0);
    rig.cam->snapImage("b", 10, true, false, Qt::red, 0, 0);
    rig.pass(3);
    QCOMPARE(rig.workers.saved.size(), 3);
    QCOMPARE(rig.sim->framesDelivered(), delivered);
    QVERIFY(rig.cam->pendingSnapshots().isEmpty());
}

void TstUvcCamera::handedOverFramesAreNeverOverwritten() {
    Rig rig(PixFmtNV12);
    rig.workers.holdDecodes = true;
    QVERIFY(rig.cam->startRecord("video.mp4"));
    rig.cam->snapImage("held", 0, true, false, Qt::red, 0, 0);
    rig.pass(7); // the ring wraps twice past the held slot
    QCOMPARE(rig.workers.decodeInputs.size(), 1);
    const RawFrame& held = rig.workers.decodeInputs[0];
    QCOMPARE(QByteArray(held.data.constData(), held.bytes), rig.workers.decodeInputCopies[0]);
    QCOMPARE(rig.workers.recorded.size(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(QByteArray(rig.workers.recorded[i].data.constData(), rig.workers.recorded[i].bytes),
                 rig.workers.recordedCopies[i]);
    // Consecutive frames really differ (the moving mark), so the check bites.
    QVERIFY(rig.workers.recordedCopies[0] != rig.workers.recordedCopies[3]);
    rig.workers.releaseDecodes();
    QCOMPARE(rig.workers.saved.size(), 1);
}

void TstUvcCamera::recorderGetsFramesUntilItFinishes() {
    Rig rig(PixFmtMJPG);
    QVERIFY(rig.cam->startRecord("a.mp4"));
    QVERIFY(!rig.cam->startRecord("b.mp4")); // one at a time; the first goes on
    rig.pass(3);
    QCOMPARE(rig.workers.recorded.size(), 3);
    rig.workers.recorderStopsAtOnce = false;
    rig.cam->stopRecord();
    rig.pass();
    QVERIFY(rig.cam->hasRecorder()); // still finishing
    rig.workers.finishRecorders();
    rig.pass();
    QVERIFY(!rig.cam->hasRecorder());
    QCOMPARE(rig.workers.recorded.size(), 3);
    QVERIFY(rig.cam->startRecord("c.mp4"));
    QCOMPARE(rig.workers.recordings.size(), 2);
}

void TstUvcCamera::zoomStepsAndFitKeepThePictureCentred() {
    Rig rig(PixFmtNV12);
    // Host 1920x1080 (the canvas): the fit factor is 1.0.
    QCOMPARE(rig.cam->scaleIndex(), 9);
    QCOMPARE(rig.cam->setScaleIndex(4, QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor)), 0.5f);
    QVERIFY(!rig.cam->isFitToWindow());
    QCOMPARE(rig.window->pos(), QPoint(480, 270));
    QCOMPARE(rig.window->size(), QSize(960, 540));
    QCOMPARE(rig.cam->setScaleIndex(0, QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor)), 0.1f);
    QCOMPARE(rig.window->pos(), QPoint(864, 486));
    // Fit scales to the primary screen, centred in the host.
    rig.cam->fitToWindow();
    QVERIFY(rig.cam->isFitToWindow());
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const double s = std::min(screen.width() / 1920.0, screen.height() / 1080.0);
    const QSize fitted(int(1920 * s), int(1080 * s));
    QCOMPARE(rig.window->size(), fitted);
    QCOMPARE(rig.window->pos(), QPoint((1920 - fitted.width()) / 2, (1080 - fitted.height()) / 2));
    // Out-of-range indexes are clamped, not read past the list.
    QCOMPARE(rig.cam->setScaleIndex(99, QPoint(VideoZoom::NoAnchor, VideoZoom::NoAnchor)), 1.0f);
    // Pure placement: a 4000x3000 frame in a 1600x900 host.
    QCOMPARE(VideoZoom::fittedRect(QSize(4000, 3000), QSize(1600, 900), QSize(1600, 900)), QRect(200, 0, 1200, 900));
    VideoZoom z;
    z.init(QSize(4000, 3000), QSize(1600, 900));
    QCOMPARE(z.factors().size(), 11);
    QCOMPARE(z.factors()[z.scaleIndex()], 0.3f);
}

void TstUvcCamera::zoomInKeepsTheAnchorInPlace() {
    Rig rig(PixFmtNV12, "14:fps=0", QSize(960, 540));
    QCOMPARE(rig.cam->scaleIndex(), 4); // fit 0.5, first of the two 0.5 entries
    QCOMPARE(rig.window->size(), QSize(960, 540));
    const int full = int(rig.cam->setScaleIndex(10, QPoint(100, 50)) * 10);
    QCOMPARE(full, 10);
    QCOMPARE(rig.window->pos(), QPoint(-100, -50));
    QCOMPARE(rig.window->size(), QSize(1920, 1080));
    // Zoomed in, only the visible quarter of the frame is converted.
    rig.pass(2);
    QCOMPARE(rig.window->uploadCount(), 1);
    QVERIFY(rig.window->lastCrop().source.width() <= 960 + 64);
}

void TstUvcCamera::snapToEdgeLandsOnADiscAndOnAGridLine() {
    Rig rig(PixFmtNV12);
    rig.sim->setMovingMark(false);
    rig.pass(2);
    QCOMPARE(rig.window->uploadCount(), 1);
    // 2 specimen units per pixel: pick a disc well inside the picture.
    SimSpecimen::Disc disc{};
    bool found = false;
    for (const SimSpecimen::Disc& d : SimSpecimen::discsIn(QRectF(400, 400, 3000, 1300)))
        if (!found) {
            disc = d;
            found = true;
        }
    QVERIFY(found);
    const double cx = disc.centre.x() / 2, cy = disc.centre.y() / 2, r = disc.radius / 2;
    const double edge = cx + r; // the right edge on the disc's row
    for (const int start : {int(edge) - 7, int(edge) + 7}) {
        int x = start, y = int(cy);
        rig.cam->snapToEdge(x, y);
        QVERIFY2(qAbs(x - edge) <= 1.5, qPrintable(QString("from %1 to %2, edge %3").arg(start).arg(x).arg(edge)));
        QVERIFY(qAbs(y - cy) <= 2);
    }
    // The vertical grid line at 1000 units covers pixels 499..501.
    const double gx = 1000 / 2.0;
    const int rowAway = int(disc.centre.y() / 2 < 540 ? 700 : 300) + 25; // between discs and lines
    int x = int(gx) + 8, y = rowAway;
    rig.cam->snapToEdge(x, y);
    QVERIFY2(qAbs(x - (gx + 1.5)) <= 1.5, qPrintable(QString::number(x)));
    x = int(gx) - 9;
    y = rowAway;
    rig.cam->snapToEdge(x, y);
    QVERIFY2(qAbs(x - (gx - 1.5)) <= 1.5, qPrintable(QString::number(x)));
}

void TstUvcCamera::snapToEdgeNearTheBorderShiftsTheWindow() {
    Rig rig(PixFmtNV12);
    rig.sim->setMovingMark(false);
    rig.sim->setStageOffset(QPointF(-14, 0)); // the grid line at 0 units covers pixels 6..8
    rig.pass(2);
    QCOMPARE(rig.window->uploadCount(), 1);
    int x = 2, y = 300;
    rig.cam->snapToEdge(x, y);
    QVERIFY2(x >= 5 && x <= 6, qPrintable(QString::number(x))); // the near side of that line
    // A search window larger than the picture still reads inside it.
    rig.cam->setEdgeSearchSize(4001, 31);
    x = 2;
    y = 300;
    rig.cam->snapToEdge(x, y);
    QVERIFY(x >= 0);
}

void TstUvcCamera::closeWaitsForABusySaveThread() {
    Rig rig(PixFmtNV12);
    rig.workers.holdSaves = true;
    rig.cam->snapImage("slow", 0, true, false, Qt::red, 0, 0);
    rig.pass();
    QCOMPARE(rig.workers.saved.size(), 1);
    rig.workers.holdDecodes = true;
    rig.cam->snapImage("decoding", 2, true, false, Qt::red, 0, 0);
    rig.pass();
    QSignalSpy finished(MessagePassing::instance(), SIGNAL(setThreadAVPacketFinishSIGNAL()));
    rig.cam->closeCamera();
    QVERIFY(!rig.cam->hasCapture());
    QTest::qWait(200);
    QCOMPARE(finished.count(), 0);
    rig.workers.releaseDecodes();
    QTest::qWait(120);
    QCOMPARE(finished.count(), 0); // the save threads still run
    rig.workers.releaseSaves();
    QTRY_COMPARE(finished.count(), 1);
    QTest::qWait(120);
    QCOMPARE(finished.count(), 1); // announced once
    QCOMPARE(rig.window->usbCamera(), nullptr);
}

void TstUvcCamera::closeEndsAFocusFrameConversionWithoutItsPicture() {
    // A focus-stacking frame still being converted when the camera closes
    // would only be dropped by a worker that is stopping: the close ends the
    // conversion rather than waiting for a 4K picture nobody takes. A
    // picture the user asked for is converted and saved to its end.
    Rig rig(PixFmtNV12);
    rig.cam->setFocusConsumer(kConsumer);
    rig.workers.holdDecodes = true;
    while (rig.cam->ringIndex() != 0)
        rig.pass();
    rig.cam->snapImage("stack", 7, true, false, Qt::red, 0, 0);
    rig.pass();
    QCOMPARE(rig.workers.decodeJobs, 1);
    rig.cam->snapImage("mine", 0, true, false, Qt::red, 0, 0);
    rig.pass();
    QCOMPARE(rig.workers.decodeJobs, 2);
    QSignalSpy finished(MessagePassing::instance(), SIGNAL(setThreadAVPacketFinishSIGNAL()));
    rig.cam->closeCamera();
    QCOMPARE(rig.workers.cancelledDecodes, 1);
    QCOMPARE(finished.count(), 0); // the user's picture is still being converted
    rig.workers.releaseDecodes();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(rig.workers.saved.size(), 1);
    QCOMPARE(rig.workers.saved[0].path, QString("mine"));
    QCOMPARE(rig.workers.saved[0].image.size(), QSize(rig.cam->frameWidth(), rig.cam->frameHeight()));
    QCOMPARE(rig.workers.cancelledDecodes, 1);
}

void TstUvcCamera::unplugFailsReadsAndPlugBringsFramesBack() {
    Rig rig(PixFmtMJPG);
    rig.pass(3);
    const uint8_t* data = nullptr;
    int bytes = 0, w = 0, h = 0;
    QVERIFY(rig.cam->ringFrame(1, data, bytes, w, h));
    QVERIFY(SimUsbBus::instance()->unplug(rig.sim->name()));
    // A slot whose read failed claims no frame.
    QVERIFY(!rig.cam->readFrameInto(1));
    QVERIFY(!rig.cam->ringFrame(1, data, bytes, w, h));
    rig.pass(); // shows the picture of the last frame read before
    const int shown = rig.window->uploadCount();
    QCOMPARE(shown, 3);
    rig.pass(3);
    QCOMPARE(rig.window->uploadCount(), shown);
    QVERIFY(SimUsbBus::instance()->plug(rig.sim->name()));
    // What the restart road does: pause, the resolution again, play.
    rig.cam->pause();
    rig.cam->setResolution(rig.cam->resolutionIndex());
    rig.cam->play();
    rig.pass(3);
    QCOMPARE(rig.window->uploadCount(), shown + 2);
    QCOMPARE(rig.sim->pixelFormat(), int(PixFmtMJPG));
}

void TstUvcCamera::frameRateIsMeasuredOnTheFrameClock() {
    SleepClock::FakeTime clock;
    Rig rig(PixFmtNV12, "14:fps=25");
    for (int i = 0; i < 90; ++i) {
        rig.pass();
        clock.advance(15); // the interface loop's rest of its 16 ms step
    }
    QVERIFY2(qAbs(rig.cam->frameRate() - 25.0f) < 1.0f, // frames counted in a one-second window
             qPrintable(QString::number(rig.cam->frameRate())));
    // Unplugged: no frames, and after two seconds no stale rate either.
    QVERIFY(SimUsbBus::instance()->unplug(rig.sim->name()));
    clock.advance(2100);
    rig.pass(1);
    QCOMPARE(rig.cam->frameRate(), 0.0f);
}

void TstUvcCamera::framesSkippedBeforeTheRecorderAreCounted_data() {
    QTest::addColumn<QList<int>>("heldBackMs");
    QTest::addColumn<int>("pausedMs");
    QTest::addColumn<int>("missed");
    // Held back 320 ms the reader skips 7 frames, held back a second 24.
    QTest::newRow("reader held back twice") << QList<int>{320, 1000} << 0 << 31;
    // Frames the camera sent while the picture was paused were never meant
    // for anyone: the first read after play counts none of them.
    QTest::newRow("paused a second") << QList<int>{} << 1000 << 0;
    // The frames skipped after play are counted, however late the first read.
    QTest::newRow("paused a second, held back after play") << QList<int>{320} << 1000 << 7;
}

void TstUvcCamera::framesSkippedBeforeTheRecorderAreCounted() {
    // A 25 fps camera (a frame every 40 ms) recorded by the program's own
    // recorder; the reader keeps up, and is held back or the picture paused
    // now and then, keeping up again after each.
    QFETCH(QList<int>, heldBackMs);
    QFETCH(int, pausedMs);
    QFETCH(int, missed);
    SleepClock::FakeTime clock;
    Rig rig(PixFmtMJPG, "1:fps=25");
    UsbWorkers::install();
    QVERIFY(rig.cam->startRecord(QDir::current().filePath("held.mp4")));
    auto keepUp = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            clock.advance(40);
            rig.pass();
        }
    };
    rig.pass();
    keepUp(10);
    if (pausedMs > 0) {
        rig.cam->pause();
        clock.advance(pausedMs);
        rig.cam->play();
    }
    for (const int ms : heldBackMs) {
        clock.advance(ms - 40);
        keepUp(5);
    }
    keepUp(5);
    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression(QString("ended: .*, %1 never reached the recorder, 0 lost when writing failed$").arg(missed)));
    rig.cam->stopRecord();
    // The driver lets the recorder go once its file is finished.
    QTRY_VERIFY_WITH_TIMEOUT((keepUp(1), !rig.cam->hasRecorder()), 60000);
}

namespace {
// What the driver offered a recorder: each frame's capture time, and how
// many frames it said were missed before the first.
struct OfferedFrames {
    QList<int64_t> times;
    int missedBeforeFirst = 0;
};

// The program's recorder, noting what the driver offered it.
class TimedUsbRecorder : public UsbRecorder {
public:
    explicit TimedUsbRecorder(OfferedFrames* offered) : m_offered(offered) {}
    int state() const override { return m_v.state(); }
    bool startRecord(const QString& path, const UsbRecordSettings& s) override {
        return m_v.startRecord(path, s.inWidth, s.inHeight, s.inCodec, s.inPixelFormat, s.fps, s.outWidth,
                               s.outHeight, s.keepEvery, s.cameraFps);
    }
    void pushFrame(const RawFrame& frame) override {
        if (m_offered->times.isEmpty())
            m_offered->missedBeforeFirst = frame.missedBefore;
        m_offered->times.append(frame.captureMs);
        m_v.countFramesMissed(frame.missedBefore);
        m_v.pushFrame(frame.data, frame.bytes, frame.width, frame.height, frame.captureMs);
    }
    void stopRecord() override { m_v.stopRecord(); }

private:
    ThreadVideo m_v;
    OfferedFrames* m_offered;
};

} // namespace

void TstUvcCamera::v4l2RecordingsKeepRealTime_data() {
    QTest::addColumn<double>("fpsBefore");
    QTest::addColumn<double>("fpsAfter"); // from halfway through the recording
    QTest::addColumn<int>("liveMs");      // from the live start to the record click
    QTest::addColumn<int>("pausedMs");    // a pause and play just before the click
    QTest::addColumn<int>("takeMs");      // the capture thread's time for a frame (a loaded machine)
    QTest::addColumn<int>("loopMs");      // this loop's rest after each pass (a program loop running late)
    QTest::addColumn<int>("pausesMs");    // a pause and play in each half of the recording
    QTest::addColumn<int>("lateMs");      // the capture thread this late to the stream's start
    // The generic model's file: at most 15 frames a second.
    QTest::newRow("7.5 fps") << 7.5 << 7.5 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("15 fps") << 15.0 << 15.0 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("29.97 fps") << 29.97 << 29.97 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("recording 0.3 s after the live start") << 10.0 << 10.0 << 300 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("recording before the capture thread read the camera's rate")
        << 10.0 << 10.0 << 100 << 0 << 0 << 0 << 0 << 500;
    QTest::newRow("15 fps, 7.5 from halfway (a longer exposure)") << 15.0 << 7.5 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("7.5 fps, 30 from halfway (a shorter exposure)") << 7.5 << 30.0 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("30 fps, 10 from halfway") << 30.0 << 10.0 << 1500 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("400 ms pause and play before the click") << 10.0 << 10.0 << 1500 << 400 << 0 << 0 << 0 << 0;
    // The picture before repeats over each pause, and the frames that come
    // while the encoder catches up with it wait.
    QTest::newRow("15 fps, paused a second twice while recording") << 15.0 << 15.0 << 1500 << 0 << 0 << 0 << 1000 << 0;
    // The camera replaces the frames a slow capture thread leaves: the file
    // still holds the camera's rate, the picture before repeating on those
    // frames' ticks.
    QTest::newRow("15 fps, a reader that takes 100 ms a frame") << 15.0 << 15.0 << 1500 << 0 << 100 << 0 << 0 << 0;
    QTest::newRow("15 fps, a reader that takes 150 ms a frame") << 15.0 << 15.0 << 1500 << 0 << 150 << 0 << 0 << 0;
    QTest::newRow("15 fps, a reader that takes 300 ms a frame") << 15.0 << 15.0 << 1500 << 0 << 300 << 0 << 0 << 0;
    QTest::newRow("30 fps, a reader that takes 100 ms a frame") << 30.0 << 30.0 << 1500 << 0 << 100 << 0 << 0 << 0;
    // This loop reads a frame every quarter second: the recorder gets one
    // in four, and the driver says the others were missed.
    QTest::newRow("15 fps, this loop reading every quarter second") << 15.0 << 15.0 << 1500 << 0 << 0 << 250 << 0 << 0;
    QTest::newRow("15 fps, 7.5 from halfway, this loop reading every quarter second")
        << 15.0 << 7.5 << 1500 << 0 << 0 << 250 << 0 << 0;
}

void TstUvcCamera::v4l2RecordingsKeepRealTime() {
    // A camera through the V4L2 capture (its stand-in stamps each buffer and
    // states its rate as a whole number, as drivers do), the USB driver and
    // the program's recorder; the end counts add up to the frames the camera
    // sent.
    QFETCH(double, fpsBefore);
    QFETCH(double, fpsAfter);
    QFETCH(int, liveMs);
    QFETCH(int, pausedMs);
    QFETCH(int, takeMs);
    QFETCH(int, loopMs);
    QFETCH(int, pausesMs);
    QFETCH(int, lateMs);
    auto stall = std::make_shared<StallSwitch>();
    stall->takeMs = takeMs;
    stall->lateMs = lateMs;
    CaptureDevice::setFactory([stall] {
        return std::make_unique<V4l2CaptureDevice>(
            0, simStreams(SimUsbBus::instance()->cameras().value(0), stall));
    });
    struct Restore {
        ~Restore() { CaptureDevice::setFactory({}); }
    } restore;
    Rig rig(PixFmtMJPG, QString("14:fps=%1").arg(fpsBefore));
    QVERIFY(rig.opened);
    OfferedFrames offeredFrames;
    const QList<int64_t>& offered = offeredFrames.times;
    UsbWorkerFactory workers;
    workers.recorder = [&offeredFrames] { return std::make_unique<TimedUsbRecorder>(&offeredFrames); };
    UVCCamera::setWorkerFactory(workers);
    // The program's loop: a pass for each frame that comes, for ms.
    auto runFor = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (!rig.cam->waitFrameArrival(20))
                QTest::qWait(16); // paused: the loop's own step
            rig.pass();
            if (loopMs > 0)
                QThread::msleep(unsigned(loopMs)); // the program busy elsewhere
        }
    };
    runFor(liveMs);
    if (pausedMs > 0) {
        rig.cam->pause();
        runFor(pausedMs);
        rig.cam->play();
    }
    LogCatcher log;
    const int sentBefore = rig.sim->framesDelivered();
    const uint64_t replacedBefore = rig.sim->framesMissed();
    const QString path = QDir::current().filePath("v4l2.mp4");
    QVERIFY(rig.cam->startRecord(path));
    const int seconds = 8;
    // Frames the camera sent while the picture was paused were never meant
    // for anyone.
    int sentWhilePaused = 0;
    auto runAndPause = [&](int ms) {
        runFor(ms / 2);
        if (pausesMs > 0) {
            rig.cam->pause();
            const int before = rig.sim->framesDelivered();
            runFor(pausesMs);
            sentWhilePaused += rig.sim->framesDelivered() - before;
            rig.cam->play();
        }
        runFor(ms / 2);
    };
    runAndPause(seconds * 500);
    if (fpsAfter != fpsBefore)
        rig.sim->setFramesPerSecond(fpsAfter);
    runAndPause(seconds * 500);
    // Capture times are on the program's millisecond clock.
    const qint64 stopMs = qint64(SleepClock::ticksMs());
    rig.cam->stopRecord();
    const int sent = rig.sim->framesDelivered() - sentBefore - sentWhilePaused;
    // Frames the camera replaced before the capture thread came for them
    // (as a driver with no free buffer does): never sent.
    const uint64_t replaced = rig.sim->framesMissed() - replacedBefore;
    QTRY_VERIFY_WITH_TIMEOUT((rig.pass(), !rig.cam->hasRecorder()), 60000);

    // The file holds one picture each tick of the camera's rate (at most
    // the file's 15) from the first frame offered to the last, and states
    // that rate: a plain conversion keeps every frame, a plain decode reads
    // it without a word, and every steady second carries 12 Mbit/s, however
    // late the frames reached the recorder or the camera's rate changed.
    const ProbeResult probe = probeVideo(path);
    QVERIFY2(probe.ok, qPrintable(probe.errors));
    QVERIFY(offered.size() > 2);
    const RecordingEnd end = recordingEnd(log.lines().filter(path));
    QVERIFY2(end.ok, "the recorder says what became of every frame");
    const double rate = qMin(15.0, fpsBefore);
    const int ticks = int(std::lround((offered.last() - offered.first()) * rate / 1000.0)) + 1;
    const QStringList faults = constantRateFaults(path, rate, end);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    QVERIFY2(qAbs(probe.frames - ticks) <= 1, qPrintable(QString("%1 frames, %2 ticks").arg(probe.frames).arg(ticks)));
    // A capture thread that keeps up loses no frame of the camera's, nor
    // does the recorder.
    QVERIFY2(end.dropped == 0 && (takeMs > 0 || replaced == 0),
             qPrintable(QString("%1 dropped, %2 missed, %3 replaced by the camera")
                            .arg(end.dropped)
                            .arg(end.missed)
                            .arg(replaced)));
    // The frames in flight at the click and at the stop may fall either way:
    // those the driver took before the click and this loop had not read yet
    // are among the ones it says were missed before the first frame offered
    // (many, where this loop ran late); those the camera sent after the last
    // one the recorder was offered were still on their way at the stop.
    const int accounted = end.sent();
    const int atClick = offeredFrames.missedBeforeFirst;
    const int inFlight = int(std::floor(qMax<qint64>(0, stopMs - offered.last()) * fpsAfter / 1000.0));
    // A frame in flight at a pause or a play may fall either way too.
    const int atPauses = pausesMs > 0 ? 2 : 0;
    QVERIFY2(accounted - sent <= 2 + atClick + atPauses && sent - accounted <= 2 + inFlight + atPauses,
             qPrintable(QString("%1 frames sent, %2 accounted for, %3 missed before the first offered, %4 still on "
                                "their way at the stop")
                            .arg(sent)
                            .arg(accounted)
                            .arg(atClick)
                            .arg(inFlight)));
}

void TstUvcCamera::genericControlsUseStandardProperties() {
    Rig rig(PixFmtMJPG, "1:fps=0");
    rig.sim->clearTraffic();
    rig.cam->setParam(CtlGreenGain, 300); // no standard property: nothing sent
    QVERIFY(rig.sim->traffic().isEmpty());
    rig.cam->setParam(CtlTarget, 900);
    rig.cam->setParam(CtlGain, 12);
    rig.cam->setParam(CtlBlueGain, 700);
    const QVector<SimTraffic> expected{{SimTraffic::Set, 21, 0.25},
                                       {SimTraffic::Set, 10, 900},
                                       {SimTraffic::Set, 14, 12},
                                       {SimTraffic::Set, 17, 700}};
    QCOMPARE(rig.sim->traffic(), expected);
    rig.sim->clearTraffic();
    rig.cam->setAE(true);
    const QVector<SimTraffic> ae{{SimTraffic::Get, 10, 900}, {SimTraffic::Set, 57, 900}};
    QCOMPARE(rig.sim->traffic(), ae);
    // The picture shows the gain.
    QCOMPARE(rig.sim->property(14), 12.0);
}

void TstUvcCamera::edgeSearchFollowsThePicture_data() {
    QTest::addColumn<QRect>("picture");
    QTest::addColumn<int>("startX");
    QTest::addColumn<int>("expected"); // the edge's first bright column, picture coordinates
    // A vertical step at picture x = 120 (dark left, bright right) and one at x = 6.
    QTest::newRow("at the origin") << QRect(0, 0, 400, 300) << 112 << 120;
    QTest::newRow("centred") << QRect(100, 50, 400, 300) << 112 << 120;
    QTest::newRow("zoomed and panned") << QRect(-60, -40, 800, 600) << 128 << 120;
    // Near the left border the window is shifted; the point still lands on
    // the edge beside it (measured from the window centre it would end at 3).
    QTest::newRow("border") << QRect(100, 50, 400, 300) << 12 << 6;
}

void TstUvcCamera::edgeSearchFollowsThePicture() {
    QFETCH(QRect, picture);
    QFETCH(int, startX);
    QFETCH(int, expected);
    // The picture may lie partly off the host: read from a padded canvas.
    const QPoint pad(200, 200);
    QImage canvas(1200, 1000, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            const int px = x - pad.x() - picture.x();
            if ((px >= 6 && px < 60) || px >= 120)
                canvas.setPixel(x, y, qRgb(255, 255, 255));
        }
    const auto readBack = [&](QImage& target, const QRect& area) {
        target = canvas.copy(area.translated(pad));
        return true;
    };
    int x = startX, y = 150;
    QVERIFY(VideoZoom::snapToEdge(readBack, picture, QSize(31, 31), x, y));
    QVERIFY2(qAbs(x - expected) <= 1, qPrintable(QString::number(x)));
    QCOMPARE(y, 150);
}

QTEST_MAIN(TstUvcCamera)
#include "tst_uvc_camera.moc"
