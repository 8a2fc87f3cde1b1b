// Raw NV12 and YUY2 frames made into pictures off the interface thread:
// colours are BT.601 limited range (expected values
// computed here from the standard's coefficients), a zoomed view converts
// only its visible part and puts each source pixel where the zoom says,
// every frame read is shown in order, and no picture is announced once the
// camera is detached.
#include "FakeUsbWorkers.h"
#include "ShownPicture.h"
#include "FrameServerCamera.h"
#include "tests/support/TestEnv.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"

#include <QSettings>
#include <QtTest>


#include <algorithm>
#include <chrono>
#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr int kW = 512;
constexpr int kH = 256;
constexpr int kBlock = 64; // eight vertical bars, each a whole number of chroma blocks

struct Yuv {
    int y, u, v;
};

// Saturated and pale colours, black and white, limited-range extremes.
const Yuv kBars[8] = {{235, 128, 128}, {16, 128, 128}, {81, 90, 240}, {145, 54, 34},
                      {41, 240, 110}, {170, 166, 16}, {106, 202, 222}, {126, 128, 128}};

// BT.601, limited range (ITU-R BT.601 with the 219/224 scaling).
QRgb bt601(const Yuv& c) {
    const double y = 255.0 / 219.0 * (c.y - 16), u = c.u - 128.0, v = c.v - 128.0;
    auto clamp = [](double x) { return int(std::lround(std::clamp(x, 0.0, 255.0))); };
    const double kr = 0.299, kb = 0.114, kg = 1 - kr - kb;
    const double r = y + 255.0 / 112.0 * (1 - kr) * v;
    const double b = y + 255.0 / 112.0 * (1 - kb) * u;
    const double g = y - 255.0 / 112.0 * (1 - kb) * kb / kg * u - 255.0 / 112.0 * (1 - kr) * kr / kg * v;
    return qRgb(clamp(r), clamp(g), clamp(b));
}

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The bars as a raw frame; `lift` is added to every luma value (frames told
// apart by their brightness).
QByteArray barFrame(int format, int lift = 0) {
    QByteArray out;
    if (format == PixFmtNV12) {
        out = QByteArray(kW * kH * 3 / 2, Qt::Uninitialized);
        auto* y = reinterpret_cast<uint8_t*>(out.data());
        uint8_t* uv = y + kW * kH;
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; ++x)
                y[r * kW + x] = uint8_t(std::min(255, kBars[x / kBlock].y + lift));
        for (int r = 0; r < kH / 2; ++r)
            for (int x = 0; x < kW; x += 2) {
                uv[r * kW + x] = uint8_t(kBars[x / kBlock].u);
                uv[r * kW + x + 1] = uint8_t(kBars[x / kBlock].v);
            }
    } else {
        out = QByteArray(kW * kH * 2, Qt::Uninitialized);
        auto* p = reinterpret_cast<uint8_t*>(out.data());
        for (int r = 0; r < kH; ++r)
            for (int x = 0; x < kW; x += 2) {
                const Yuv& c = kBars[x / kBlock];
                uint8_t* m = p + (r * kW + x) * 2;
                m[0] = m[2] = uint8_t(std::min(255, c.y + lift));
                m[1] = uint8_t(c.u);
                m[3] = uint8_t(c.v);
            }
    }
    return out;
}

std::unique_ptr<SDLBackground> makeWindow(QRectF dest) {
    auto w = std::make_unique<SDLBackground>();
    w->setCanvasSize(QSize(kW, kH));
    w->move(dest.topLeft().toPoint());
    w->resize(dest.size().toSize());
    w->show();
    return w;
}

// Rests and passes as the program's loop runs them, until a picture is shown.
bool showNext(SDLBackground& w) {
    const int before = w.uploadCount();
    for (int i = 0; i < 200 && w.uploadCount() == before; ++i) {
        w.waitForWorkUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
        w.renderFrame();
    }
    return w.uploadCount() > before;
}

} // namespace

class TstVideoConvertOffThread : public QObject {
    Q_OBJECT
private slots:
    void coloursAndPlacement_data();
    void coloursAndPlacement();
    void everyFrameReadIsShownInOrder_data();
    void everyFrameReadIsShownInOrder();
    void simulatedCameraShowsItsPicture_data();
    void simulatedCameraShowsItsPicture();
    void noPictureAnnouncedAfterDetach();
};

void TstVideoConvertOffThread::coloursAndPlacement_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QRectF>("dest");
    for (int format : {PixFmtNV12, PixFmtYUYV}) {
        const char* f = format == PixFmtNV12 ? "NV12" : "YUY2";
        QTest::newRow(qPrintable(QString("%1 1:1").arg(f))) << format << QRectF(0, 0, kW, kH);
        QTest::newRow(qPrintable(QString("%1 shrunk").arg(f))) << format << QRectF(31, 17, 300, 150);
        QTest::newRow(qPrintable(QString("%1 shrunk past half").arg(f))) << format << QRectF(10, 12, 200, 100);
        QTest::newRow(qPrintable(QString("%1 shrunk past a quarter").arg(f))) << format << QRectF(40, 8, 120, 60);
        QTest::newRow(qPrintable(QString("%1 zoomed x4").arg(f))) << format << QRectF(-600, -300, 4 * kW, 4 * kH);
        QTest::newRow(qPrintable(QString("%1 zoomed x1.5").arg(f))) << format << QRectF(-100, -40, 768, 384);
    }
}

void TstVideoConvertOffThread::coloursAndPlacement() {
    QFETCH(int, format);
    QFETCH(QRectF, dest);
    auto w = makeWindow(dest);
    FrameServerCamera cam(format, kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    cam.queueFrame(barFrame(format), kW, kH);
    QVERIFY(showNext(*w));
    // Only the visible part was converted.
    const QRectF visible = dest.intersected(QRectF(0, 0, kW, kH));
    if (visible.width() < dest.width())
        QVERIFY(w->lastCrop().source.width() < kW);
    const QImage& canvas = w->canvas();
    const double perPixel = kW / dest.width(); // source pixels per canvas pixel
    const int y = int(visible.center().y());
    int checked = 0;
    for (int bar = 0; bar < 8; ++bar) {
        // The canvas span of the bar's middle half.
        const double x0 = dest.x() + (bar * kBlock + kBlock / 4) / perPixel;
        const double x1 = dest.x() + (bar * kBlock + 3 * kBlock / 4) / perPixel;
        const int a = int(std::ceil(std::max(x0, visible.left()))), b = int(std::floor(std::min(x1, visible.right() - 1)));
        for (int x = a; x <= b; x += std::max(1, (b - a) / 4)) {
            const QRgb got = canvas.pixel(x, y);
            QVERIFY2(distance(got, bt601(kBars[bar])) <= 3,
                     qPrintable(QString("bar %1 at %2: got %3,%4,%5 want %6,%7,%8")
                                    .arg(bar).arg(x).arg(qRed(got)).arg(qGreen(got)).arg(qBlue(got))
                                    .arg(qRed(bt601(kBars[bar]))).arg(qGreen(bt601(kBars[bar])))
                                    .arg(qBlue(bt601(kBars[bar])))));
            ++checked;
        }
    }
    QVERIFY(checked >= 3);
    // Outside the picture the canvas is black.
    if (dest.left() > 0)
        QCOMPARE(canvas.pixel(int(dest.left()) - 1, y), qRgb(0, 0, 0));
}

void TstVideoConvertOffThread::everyFrameReadIsShownInOrder_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << int(PixFmtNV12);
    QTest::newRow("YUY2") << int(PixFmtYUYV);
}

void TstVideoConvertOffThread::everyFrameReadIsShownInOrder() {
    QFETCH(int, format);
    auto w = makeWindow(QRectF(0, 0, kW / 2, kH / 2));
    FrameServerCamera cam(format, kW, kH);
    w->attachUsbCamera(&cam, kW, kH);
    constexpr int kFrames = 12;
    for (int i = 0; i < kFrames; ++i)
        cam.queueFrame(barFrame(format, 0), kW, kH);
    // Each frame lifts the black bar's luma a step: the picture tells which frame it is.
    for (int i = 0; i < kFrames; ++i) {
        QByteArray f = barFrame(format, 0);
        const QByteArray lifted = barFrame(format, 8 * i);
        // Only the black bar (bar 1) is lifted, so the others stay in range.
        for (int r = 0; r < kH; ++r) {
            const int from = format == PixFmtNV12 ? r * kW + kBlock : (r * kW + kBlock) * 2;
            const int len = format == PixFmtNV12 ? kBlock : kBlock * 2;
            std::memcpy(f.data() + from, lifted.constData() + from, size_t(len));
        }
        cam.queued[i].data = f;
    }
    // Each pass shows the newest picture made and reads the next frame, and a
    // frame read while the one before waits to be made replaces it (live
    // video shows the newest): each pass here comes once the picture of the
    // frame read before is made, however long the decoder waited for the core.
    w->renderFrame();
    for (int i = 0; i < kFrames; ++i) {
        QVERIFY2(w->waitDecoded(60000), qPrintable(QString("frame %1 made").arg(i)));
        w->renderFrame();
        QVERIFY2(w->uploadCount() == i + 1, qPrintable(QString("frame %1 shown").arg(i)));
        const int shownLuma = qGreen(w->canvas().pixel(kBlock / 2 + kBlock / 4, kH / 4));
        const int want = qGreen(bt601({16 + 8 * i, 128, 128}));
        QVERIFY2(std::abs(shownLuma - want) <= 3, qPrintable(QString("frame %1: %2, want %3").arg(i).arg(shownLuma).arg(want)));
    }
    QCOMPARE(w->uploadCount(), kFrames);
    QCOMPARE(cam.reads - cam.failedReads, kFrames);
}

void TstVideoConvertOffThread::simulatedCameraShowsItsPicture_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QSize>("canvas");
    QTest::newRow("NV12 1:1") << int(PixFmtNV12) << QSize(1920, 1080);
    QTest::newRow("NV12 fitted") << int(PixFmtNV12) << QSize(1326, 745);
    QTest::newRow("YUY2 fitted") << int(PixFmtYUYV) << QSize(1326, 745);
}

// The driver's ring buffer is handed over shared: the picture is the camera's
// and every frame read is shown.
void TstVideoConvertOffThread::simulatedCameraShowsItsPicture() {
    QFETCH(int, format);
    QFETCH(QSize, canvas);
    SimVideoRig rig("4:fps=0", canvas);
    SDLBackground& window = rig.window;
    auto sim = rig.sim;
    QVERIFY(sim);
    {
        UVCCamera cam;
        QVERIFY(cam.open(0, format));
        cam.startLive();
        window.move(QPoint(0, 0));
        window.resize(canvas);
        window.renderFrame();
        QCOMPARE(window.uploadCount(), 0); // the pass that reads a frame does not show it
        QVERIFY(showNext(window));
        const double mean = shownPictureError(window, sim->currentPicture());
        QVERIFY2(mean < 3 * 6.0, qPrintable(QString::number(mean)));
        const int shownBefore = window.uploadCount();
        for (int i = 0; i < 10; ++i)
            QVERIFY(showNext(window));
        QCOMPARE(window.uploadCount(), shownBefore + 10);
    }
}

void TstVideoConvertOffThread::noPictureAnnouncedAfterDetach() {
    // 4K frames: the conversion takes long enough for the detach to land in it.
    constexpr int W = 3840, H = 2160;
    for (int round = 0; round < 20; ++round) {
        auto w = std::make_unique<SDLBackground>();
        w->setCanvasSize(QSize(960, 540));
        w->move(QPoint(0, 0));
        w->resize(QSize(960, 540));
        w->show();
        std::atomic<int> announced{0};
        connect(w.get(), &SDLBackground::pictureFinished, w.get(), [&] { ++announced; }, Qt::DirectConnection);
        FrameServerCamera cam(PixFmtNV12, W, H);
        w->attachUsbCamera(&cam, W, H);
        cam.queueFrame(QByteArray(W * H * 3 / 2, char(100)), W, H);
        w->renderFrame(); // read and handed over
        QCOMPARE(cam.reads, 1);
        w->detach(&cam);
        const int atDetach = announced;
        // Attached again (with nothing to read) only to wait for the worker
        // to go idle: what it was making for the detached camera is not shown.
        w->attachUsbCamera(&cam, W, H);
        QVERIFY(!w->waitDecoded(2000));
        w->renderFrame();
        QCOMPARE(announced.load(), atDetach);
        QCOMPARE(w->uploadCount(), 0);
        w.reset();
        QCOMPARE(announced.load(), atDetach);
    }
}

QTEST_MAIN(TstVideoConvertOffThread)
#include "tst_video_convert_off_thread.moc"
