// The video window's render step against prepared frames, the window built as
// the program builds it (USB frames made into pictures on the decoder's
// thread): colours of every format at every zoom, dropped frames, hidden and
// paused passes, placement and the painted widget.
#include "ColourBars.h"
#include "FrameServerCamera.h"
#include "camera/SDLBackground.h"
#include "camera/VideoWidget.h"
#include "platform/YuvPack.h"

#include <QApplication>
#include <QtTest>

#include <memory>
#include <tuple>

namespace {

constexpr int kW = 256;
constexpr int kH = 128;

// Long enough for any decode on a loaded machine; a picture that never comes
// fails the test at once instead (the decoder says when it is idle).
constexpr int kDecodeWaitMs = 30000;

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

// Largest channel error over the centres of the bars that lie on the canvas.
int worstVisibleBarError(const QImage& image, const QRectF& dest, int y, int* checked) {
    int worst = 0;
    *checked = 0;
    const QVector<QColor> colours = ColourBars::colours();
    for (int i = 0; i < 8; ++i) {
        const int x = ColourBars::barCentre(i, dest.x(), dest.width());
        if (x < 0 || x >= image.width())
            continue;
        worst = std::max(worst, ColourBars::colourDistance(image.pixel(x, y), colours[i]));
        ++*checked;
    }
    return worst;
}

QImage canvasCopy(const SDLBackground& w) {
    QImage out;
    w.readBack(out, QRect(QPoint(0, 0), w.canvasSize()));
    return out;
}

// The program's loop on a frame: the pass that reads it and hands it to the
// decoder, the rest in which the decoder finishes (or drops) it, and the
// pass that shows what it made.
void passAndShow(SDLBackground& w) {
    w.renderFrame();
    w.waitDecoded(kDecodeWaitMs);
    w.renderFrame();
}

int goodReads(const FrameServerCamera& cam) { return cam.reads - cam.failedReads; }

} // namespace

class TstSdlBackground : public QObject {
    Q_OBJECT
private slots:
    void coloursOfEachUsbFormat_data();
    void coloursOfEachUsbFormat();
    void networkFrameInBgr();
    void badFramesLeaveThePreviousPicture_data();
    void badFramesLeaveThePreviousPicture();
    void badFirstFrameShowsNothing();
    void failedReadDoesNotStallLiveVideo();
    void hiddenWindowReadsNothing();
    void pausedRedrawsFromTheRingWithoutReading();
    void destinationPlacesAndScalesThePicture();
    void zoomConvertsOnlyTheVisiblePart_data();
    void zoomConvertsOnlyTheVisiblePart();
    void smallPictureIsDecimatedWithTrueColours();
    void attachedCameraLeavesNoStaleReference();
    void readBackOutsideTheCanvasFails();
    void widgetPaintsTheCanvasIntoGrab();
};

void TstSdlBackground::coloursOfEachUsbFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("chroma422");
    QTest::addColumn<QSize>("canvas");
    QTest::addColumn<QRectF>("dest");
    const QList<std::tuple<const char*, int, bool>> formats{{"YUY2", int(PixFmtYUYV), false},
                                                          {"NV12", int(PixFmtNV12), false},
                                                          {"4:2:0 JPEG", int(PixFmtMJPG), false},
                                                          {"4:2:2 JPEG", int(PixFmtMJPG), true}};
    // 1:1, enlarged, zoomed in past the canvas off centre, reduced past half
    // and past a quarter (frames taken every other or every fourth row).
    const QList<std::tuple<const char*, QSize, QRectF>> views{
        {"1:1", QSize(kW, kH), QRectF(0, 0, kW, kH)},
        {"enlarged 1.5", QSize(kW * 3 / 2, kH * 3 / 2), QRectF(0, 0, kW * 3 / 2, kH * 3 / 2)},
        {"zoomed in 3 off centre", QSize(kW, kH), QRectF(-200, -100, 3 * kW, 3 * kH)},
        {"reduced to a half", QSize(kW, kH), QRectF(20, 10, kW / 2, kH / 2)},
        {"reduced to a quarter", QSize(kW, kH), QRectF(8, 4, kW / 4, kH / 4)}};
    for (const auto& [fname, format, chroma422] : formats)
        for (const auto& [vname, canvas, dest] : views)
            QTest::newRow(qPrintable(QString("%1 %2").arg(fname, vname))) << format << chroma422 << canvas << dest;
}

void TstSdlBackground::coloursOfEachUsbFormat() {
    QFETCH(int, format);
    QFETCH(bool, chroma422);
    QFETCH(QSize, canvas);
    QFETCH(QRectF, dest);
    auto w = makeWindow(canvas);
    w->move(dest.topLeft().toPoint());
    w->resize(dest.size().toSize());
    FrameServerCamera cam(format, kW, kH);
    cam.queueFrame(ColourBars::frame(format, kW, kH, chroma422), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame();
    QCOMPARE(w->uploadCount(), 0); // the pass that reads a frame does not show it
    w->waitDecoded(kDecodeWaitMs);
    w->renderFrame();
    QCOMPARE(goodReads(cam), 1);
    QCOMPARE(cam.steps, 1);
    QCOMPARE(w->uploadCount(), 1);
    const QImage img = canvasCopy(*w);
    const QRectF visible = dest.intersected(QRectF(QPointF(0, 0), QSizeF(canvas)));
    int checked = 0;
    QVERIFY2(worstVisibleBarError(img, dest, int(visible.center().y()), &checked) <= 2,
             "bar colours off by more than 2");
    QVERIFY(checked >= 2);
    QVERIFY(worstVisibleBarError(img, dest, int(visible.top()) + 1, &checked) <= 2);
    // Around the picture the canvas is black.
    if (dest.right() < canvas.width() - 1)
        QCOMPARE(img.pixel(int(dest.right()) + 1, int(visible.center().y())), qRgb(0, 0, 0));
    if (dest.bottom() < canvas.height() - 1)
        QCOMPARE(img.pixel(int(visible.center().x()), int(dest.bottom()) + 1), qRgb(0, 0, 0));
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
    const QByteArray jpeg = ColourBars::frame(PixFmtMJPG, kW, kH);
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
    QTest::newRow("JPEG cut inside its header") << int(PixFmtMJPG) << jpeg.left(100) << kW << kH;
}

// A frame that cannot be made into a picture is dropped: the previous picture
// stays on the canvas (nothing black, nothing counted as shown).
void TstSdlBackground::badFramesLeaveThePreviousPicture() {
    QFETCH(int, format);
    QFETCH(QByteArray, bad);
    QFETCH(int, badWidth);
    QFETCH(int, badHeight);
    auto w = makeWindow();
    FrameServerCamera cam(format, kW, kH);
    cam.queueFrame(ColourBars::frame(format, kW, kH), kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    passAndShow(*w);
    QCOMPARE(w->uploadCount(), 1);
    const QImage before = canvasCopy(*w);
    QVERIFY(worstBarError(before, 0, kW, kH / 2) <= 2);
    cam.queueFrame(bad, badWidth, badHeight);
    w->renderFrame();
    QCOMPARE(goodReads(cam), 2);
    // The decoder is done with it and has nothing to show.
    QVERIFY(!w->waitDecoded(kDecodeWaitMs));
    w->renderFrame();
    QCOMPARE(w->uploadCount(), 1);
    QVERIFY(canvasCopy(*w) == before);
    // The ring went on: the next good frame is shown again.
    cam.queueFrame(ColourBars::frame(format, kW, kH), kW, kH);
    passAndShow(*w);
    QCOMPARE(goodReads(cam), 3);
    QCOMPARE(w->uploadCount(), 2);
    QVERIFY(worstBarError(canvasCopy(*w), 0, kW, kH / 2) <= 2);
}

// A bad first frame leaves nothing shown; the camera's next frame is shown.
void TstSdlBackground::badFirstFrameShowsNothing() {
    for (int format : {int(PixFmtYUYV), int(PixFmtNV12), int(PixFmtMJPG)}) {
        auto w = makeWindow();
        FrameServerCamera cam(format, kW, kH);
        cam.queueFrame(ColourBars::frame(format, kW, kH).left(100), kW, kH);
        w->attachUsbCamera(&cam, kW, kH);
        w->renderFrame();
        QCOMPARE(goodReads(cam), 1);
        QVERIFY(!w->waitDecoded(kDecodeWaitMs));
        w->renderFrame();
        QCOMPARE(w->uploadCount(), 0);
        cam.queueFrame(ColourBars::frame(format, kW, kH), kW, kH);
        passAndShow(*w);
        QCOMPARE(w->uploadCount(), 1);
        QVERIFY(worstBarError(canvasCopy(*w), 0, kW, kH / 2) <= 2);
    }
}

void TstSdlBackground::failedReadDoesNotStallLiveVideo() {
    auto w = makeWindow();
    FrameServerCamera cam(PixFmtNV12, kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    w->renderFrame(); // nothing queued: the read fails
    QCOMPARE(cam.failedReads, 1);
    QCOMPARE(cam.steps, 0);
    cam.queueFrame(ColourBars::frame(PixFmtNV12, kW, kH), kW, kH);
    passAndShow(*w);
    QCOMPARE(goodReads(cam), 1);
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
    passAndShow(*w);
    QCOMPARE(w->uploadCount(), 1);
    cam.pause();
    const int readsBefore = cam.reads;
    w->renderFrame();
    w->renderFrame();
    QCOMPARE(cam.reads, readsBefore);
    QCOMPARE(goodReads(cam), 1);
    QCOMPARE(cam.steps, 3); // the frame step runs on every paused pass
    QVERIFY(!w->waitDecoded(kDecodeWaitMs)); // nothing changed: nothing made again
    w->renderFrame();
    QCOMPARE(w->uploadCount(), 1);
    w->move(QPoint(kW, 0));
    passAndShow(*w);
    QCOMPARE(cam.reads, readsBefore);
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
    passAndShow(*w);
    const QImage img = canvasCopy(*w);
    QVERIFY(worstBarError(img, 40, 320, 50 + 80) <= 2);
    QCOMPARE(img.pixel(39, 100), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(100, 49), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(360, 100), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(100, 210), qRgb(0, 0, 0));
    QVERIFY(ColourBars::colourDistance(img.pixel(41, 51), ColourBars::colours()[0]) <= 2);
    QVERIFY(ColourBars::colourDistance(img.pixel(358, 208), ColourBars::colours()[7]) <= 2);
}

void TstSdlBackground::zoomConvertsOnlyTheVisiblePart_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("YUY2") << int(PixFmtYUYV);
    QTest::newRow("NV12") << int(PixFmtNV12);
    QTest::newRow("JPEG") << int(PixFmtMJPG);
}

void TstSdlBackground::zoomConvertsOnlyTheVisiblePart() {
    QFETCH(int, format);
    constexpr int fw = 1024, fh = 512;
    auto w = makeWindow(QSize(256, 128));
    FrameServerCamera cam(format, fw, fh);
    cam.queueFrame(ColourBars::frame(format, fw, fh), fw, fh);
    w->attachUsbCamera(&cam, fw, fh);
    // Twice the frame size: bars are 256 canvas pixels wide; the canvas
    // shows frame columns 576 to 704, the right half of bar 4 and the left
    // half of bar 5.
    w->move(QPoint(-1152, -200));
    w->resize(QSize(2048, 1024));
    passAndShow(*w);
    QCOMPARE(w->uploadCount(), 1);
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
        passAndShow(*w);
        QCOMPARE(w->uploadCount(), 1);
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
    passAndShow(*w);
    QVERIFY(video->isVisible());
    const QImage shot = host.grab().toImage();
    QVERIFY(worstBarError(shot, 0, kW, kH / 2) <= 2);
    w->hide();
    QVERIFY(!video->isVisible());
}

QTEST_MAIN(TstSdlBackground)
#include "tst_sdl_background.moc"
