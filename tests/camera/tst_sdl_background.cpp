// The video window's render step against prepared frames: colours of every
// format, rejected frames, hidden and paused passes, placement, zoom and the
// painted widget.
#include "ColourBars.h"
#include "FrameServerCamera.h"
#include "camera/SDLBackground.h"
#include "camera/VideoWidget.h"
#include "platform/YuvPack.h"

#include <QApplication>
#include <QtTest>

#include <memory>

namespace {

constexpr int kW = 256;
constexpr int kH = 128;

// A window with a canvas of the frame's size, showing the frame at 1:1.
std::unique_ptr<SDLBackground> makeWindow(QSize canvas = QSize(kW, kH)) {
    auto w = std::make_unique<SDLBackground>();
    w->setCanvasSize(canvas);
    w->move(QPoint(0, 0));
    w->resize(QSize(kW, kH));
    w->show();
    return w;
}

// Largest channel error over the bar centres of the picture drawn at x0 with
// the given width, on canvas row y.
int worstBarError(const QImage& image, double x0, double width, int y) {
    int worst = 0;
    const QVector<QColor> colours = ColourBars::colours();
    for (int i = 0; i < 8; ++i)
        worst = std::max(worst, ColourBars::colourDistance(
                                    image.pixel(ColourBars::barCentre(i, x0, width), y), colours[i]));
    return worst;
}

QImage canvasCopy(const SDLBackground& w) {
    QImage out;
    w.readBack(out, QRect(QPoint(0, 0), w.canvasSize()));
    return out;
}

} // namespace

class TstSdlBackground : public QObject {
    Q_OBJECT
private slots:
    void coloursOfEachUsbFormat_data();
    void coloursOfEachUsbFormat();
    void networkFrameInBgr();
    void badFramesLeaveThePreviousPicture_data();
    void badFramesLeaveThePreviousPicture();
    void failedReadDoesNotStallLiveVideo();
    void hiddenWindowReadsNothing();
    void pausedRedrawsFromTheRingWithoutReading();
    void destinationPlacesAndScalesThePicture();
    void zoomConvertsOnlyTheVisiblePart();
    void smallPictureIsDecimatedWithTrueColours();
    void attachedCameraLeavesNoStaleReference();
    void readBackOutsideTheCanvasFails();
    void widgetPaintsTheCanvasIntoGrab();
};

void TstSdlBackground::coloursOfEachUsbFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("chroma422");
    QTest::newRow("YUY2") << int(PixFmtYUYV) << false;
    QTest::newRow("NV12") << int(PixFmtNV12) << false;
    QTest::newRow("IYUV from 4:2:0 JPEG") << int(PixFmtMJPG) << false;
    QTest::newRow("IYUV from 4:2:2 JPEG") << int(PixFmtMJPG) << true;
}

void TstSdlBackground::coloursOfEachUsbFormat() {
    QFETCH(int, format);
    QFETCH(bool, chroma422);
    // At 1:1 the picture is converted straight into the canvas; scaled, it
    // goes through the streaming texture.
    for (const double scale : {1.0, 1.5}) {
        auto w = makeWindow(QSize(int(kW * scale), int(kH * scale)));
        w->resize(QSize(int(kW * scale), int(kH * scale)));
        FrameServerCamera cam(format, kW, kH);
        cam.queueFrame(ColourBars::frame(format, kW, kH, chroma422), kW, kH);
        w->attachUsbCamera(&cam, kW, kH);
        w->renderFrame();
        QCOMPARE(cam.reads, 1);
        QCOMPARE(cam.steps, 1);
        QCOMPARE(w->uploadCount(), 1);
        const QImage img = canvasCopy(*w);
        QVERIFY2(worstBarError(img, 0, kW * scale, int(kH * scale / 2)) <= 2, "bar colours off by more than 2");
        QVERIFY(worstBarError(img, 0, kW * scale, 3) <= 2);
    }
}

void TstSdlBackground::networkFrameInBgr() {
    for (const double scale : {1.0, 1.5}) {
        auto w = makeWindow(QSize(int(kW * scale), int(kH * scale)));
        w->resize(QSize(int(kW * scale), int(kH * scale)));
        FrameServerNetFeed net;
        const cv::Mat bgr = ColourBars::picture(kW, kH);
        net.setFrame(QByteArray(reinterpret_cast<const char*>(bgr.data), int(bgr.total() * 3)), kW, kH);
        w->attachNetCamera(&net, kW, kH);
        w->renderFrame();
        QCOMPARE(worstBarError(canvasCopy(*w), 0, kW * scale, kH / 2), 0);
        // The same frame index is not fetched again.
        w->renderFrame();
        QCOMPARE(net.fetches, 1);
    }
}

void TstSdlBackground::badFramesLeaveThePreviousPicture_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<int>("badWidth");
    QTest::addColumn<int>("badHeight");
    const QByteArray yuyv = ColourBars::frame(PixFmtYUYV, kW, kH);
    const QByteArray nv12 = ColourBars::frame(PixFmtNV12, kW, kH);
    QTest::newRow("YUYV short by one byte") << int(PixFmtYUYV) << yuyv.left(yuyv.size() - 1) << kW << kH;
    QTest::newRow("YUYV of another size") << int(PixFmtYUYV) << ColourBars::frame(PixFmtYUYV, kW, kH / 2) << kW
                                          << kH / 2;
    QTest::newRow("NV12 one row long") << int(PixFmtNV12) << nv12 + QByteArray(kW, '\x80') << kW << kH;
    QTest::newRow("NV12 one byte short") << int(PixFmtNV12) << nv12.left(nv12.size() - 1) << kW << kH;
    QTest::newRow("JPEG of another width") << int(PixFmtMJPG) << ColourBars::frame(PixFmtMJPG, kW * 2, kH) << kW
                                           << kH;
    QTest::newRow("JPEG of another height") << int(PixFmtMJPG) << ColourBars::frame(PixFmtMJPG, kW, kH * 2) << kW
                                            << kH;
    QTest::newRow("not a JPEG") << int(PixFmtMJPG) << QByteArray(5000, '\x11') << kW << kH;
}

void TstSdlBackground::badFramesLeaveThePreviousPicture() {
    QFETCH(int, format);
    QFETCH(QByteArray, bad);
    QFETCH(int, badWidth);
    QFETCH(int, badHeight);
    auto w = makeWindow();
    FrameServerCamera cam(format, kW, kH);
    cam.queueFrame(ColourBars::frame(format, kW, kH), kW, kH);
    cam.queueFrame(bad, badWidth, badHeight);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame();
    const QImage before = canvasCopy(*w);
    w->renderFrame();
    QCOMPARE(cam.reads, 2);
    QCOMPARE(w->uploadCount(), 1);
    QVERIFY(canvasCopy(*w) == before);
    // The ring went on: the next good frame is shown again.
    cam.queueFrame(ColourBars::frame(format, kW, kH), kW, kH);
    w->renderFrame();
    QCOMPARE(w->uploadCount(), 2);
}

void TstSdlBackground::failedReadDoesNotStallLiveVideo() {
    auto w = makeWindow();
    FrameServerCamera cam(PixFmtNV12, kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame(); // nothing queued: the read fails
    QCOMPARE(cam.failedReads, 1);
    QCOMPARE(cam.steps, 0);
    cam.queueFrame(ColourBars::frame(PixFmtNV12, kW, kH), kW, kH);
    w->renderFrame();
    QCOMPARE(cam.reads, 2);
    QCOMPARE(w->uploadCount(), 1);
    QVERIFY(worstBarError(canvasCopy(*w), 0, kW, kH / 2) <= 2);
}

void TstSdlBackground::hiddenWindowReadsNothing() {
    auto w = makeWindow();
    FrameServerCamera cam(PixFmtYUYV, kW, kH);
    cam.queueFrame(ColourBars::frame(PixFmtYUYV, kW, kH), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->hide();
    w->renderFrame();
    w->renderFrame();
    QCOMPARE(cam.reads, 0);
    QCOMPARE(cam.steps, 0);
    cam.capture = false; // a camera without capture is not touched either
    w->show();
    w->renderFrame();
    QCOMPARE(cam.reads, 0);
}

void TstSdlBackground::pausedRedrawsFromTheRingWithoutReading() {
    auto w = makeWindow(QSize(kW * 2, kH));
    FrameServerCamera cam(PixFmtYUYV, kW, kH);
    cam.queueFrame(ColourBars::frame(PixFmtYUYV, kW, kH), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame();
    cam.pause();
    w->renderFrame();
    w->renderFrame();
    QCOMPARE(cam.reads, 1);
    QCOMPARE(cam.steps, 3); // the frame step runs on every paused pass
    QCOMPARE(w->uploadCount(), 1); // nothing changed: nothing redrawn
    w->move(QPoint(kW, 0));
    w->renderFrame();
    QCOMPARE(cam.reads, 1);
    QCOMPARE(w->uploadCount(), 2);
    const QImage img = canvasCopy(*w);
    QVERIFY(worstBarError(img, kW, kW, kH / 2) <= 2);
    QCOMPARE(img.pixel(kW / 2, kH / 2), qRgb(0, 0, 0)); // the old place is cleared
}

void TstSdlBackground::destinationPlacesAndScalesThePicture() {
    auto w = makeWindow(QSize(400, 300));
    FrameServerCamera cam(PixFmtNV12, kW, kH);
    cam.queueFrame(ColourBars::frame(PixFmtNV12, kW, kH), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->move(QPoint(40, 50));
    w->resize(QSize(320, 160)); // 1.25 times
    w->renderFrame();
    const QImage img = canvasCopy(*w);
    QVERIFY(worstBarError(img, 40, 320, 50 + 80) <= 2);
    QCOMPARE(img.pixel(39, 100), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(100, 49), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(360, 100), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(100, 210), qRgb(0, 0, 0));
    QVERIFY(ColourBars::colourDistance(img.pixel(41, 51), ColourBars::colours()[0]) <= 2);
    QVERIFY(ColourBars::colourDistance(img.pixel(358, 208), ColourBars::colours()[7]) <= 2);
}

void TstSdlBackground::zoomConvertsOnlyTheVisiblePart() {
    constexpr int fw = 1024, fh = 512;
    auto w = makeWindow(QSize(256, 128));
    FrameServerCamera cam(PixFmtYUYV, fw, fh);
    cam.queueFrame(ColourBars::frame(PixFmtYUYV, fw, fh), fw, fh);
    w->attachUsbCamera(&cam, fw, fh);
    // Twice the frame size: bars are 256 canvas pixels wide; the canvas
    // shows frame columns 576 to 704, the right half of bar 4 and the left
    // half of bar 5.
    w->move(QPoint(-1152, -200));
    w->resize(QSize(2048, 1024));
    w->renderFrame();
    const VideoCrop crop = w->lastCrop();
    QCOMPARE(crop.step, 1);
    QVERIFY(crop.source.width() < fw / 2);
    QVERIFY(crop.source.height() < fh / 2);
    QVERIFY(crop.source.contains(QRect(576, 100, 128, 64)));
    const QImage img = canvasCopy(*w);
    QVERIFY(ColourBars::colourDistance(img.pixel(60, 64), ColourBars::colours()[4]) <= 2);
    QVERIFY(ColourBars::colourDistance(img.pixel(200, 64), ColourBars::colours()[5]) <= 2);
}

void TstSdlBackground::smallPictureIsDecimatedWithTrueColours() {
    constexpr int fw = 1024, fh = 512;
    for (int format : {int(PixFmtYUYV), int(PixFmtNV12), int(PixFmtMJPG)}) {
        auto w = makeWindow(QSize(256, 128));
        FrameServerCamera cam(format, fw, fh);
        cam.queueFrame(ColourBars::frame(format, fw, fh), fw, fh);
        w->attachUsbCamera(&cam, fw, fh);
        w->resize(QSize(256, 128));
        w->renderFrame();
        QCOMPARE(w->lastCrop().step, 4);
        QCOMPARE(w->lastCrop().textureSize(), QSize(256, 128));
        QVERIFY2(worstBarError(canvasCopy(*w), 0, 256, 64) <= 2, qPrintable(QString::number(format)));
    }
}

void TstSdlBackground::attachedCameraLeavesNoStaleReference() {
    auto w = makeWindow();
    auto cam = std::make_unique<FrameServerCamera>(PixFmtNV12, kW, kH);
    w->attachUsbCamera(cam.get(), kW, kH);
    QCOMPARE(w->usbCamera(), static_cast<UsbVideoFeed*>(cam.get()));
    cam.reset();
    QCOMPARE(w->usbCamera(), nullptr);
    w->renderFrame(); // nothing attached: nothing happens

    FrameServerCamera usb(PixFmtNV12, kW, kH);
    FrameServerNetFeed net;
    w->attachUsbCamera(&usb, kW, kH);
    w->attachNetCamera(&net, kW, kH);
    QCOMPARE(w->usbCamera(), nullptr);
    w->attachUsbCamera(&usb, kW, kH);
    QCOMPARE(w->netCamera(), nullptr);
    w->detach(&usb);
    QCOMPARE(w->usbCamera(), nullptr);
}

void TstSdlBackground::readBackOutsideTheCanvasFails() {
    auto w = makeWindow();
    QImage out;
    QTest::ignoreMessage(QtWarningMsg, "读取失败: area outside the video surface");
    QVERIFY(!w->readBack(out, QRect(kW - 4, 0, 8, 8)));
    QVERIFY(w->readBack(out, QRect(kW - 8, kH - 8, 8, 8)));
    QCOMPARE(out.size(), QSize(8, 8));
}

void TstSdlBackground::widgetPaintsTheCanvasIntoGrab() {
    auto w = makeWindow();
    QWidget host;
    host.resize(kW, kH);
    auto* video = new VideoWidget(w.get(), &host);
    video->setGeometry(0, 0, kW, kH);
    QCOMPARE(w->canvasSize(), QSize(kW, kH));
    host.show();
    FrameServerCamera cam(PixFmtNV12, kW, kH);
    cam.queueFrame(ColourBars::frame(PixFmtNV12, kW, kH), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame();
    QVERIFY(video->isVisible());
    const QImage shot = host.grab().toImage();
    QVERIFY(worstBarError(shot, 0, kW, kH / 2) <= 2);
    w->hide();
    QVERIFY(!video->isVisible());
}

QTEST_MAIN(TstSdlBackground)
#include "tst_sdl_background.moc"
