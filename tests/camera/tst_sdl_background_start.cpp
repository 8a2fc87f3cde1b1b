// What the video window does before its first picture: its canvas is black,
// to the byte, wherever nothing was drawn, when it is first read, whether it
// was just made, resized, or laid over memory that held something else; a
// picture drawn into a new canvas stays. SDL starts when it is first shown.
#include "ColourBars.h"
#include "FrameServerCamera.h"
#include "camera/SDLBackground.h"

#include <QApplication>
#include <SDL.h>
#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kW = 256;
constexpr int kH = 128;
constexpr int kDecodeWaitMs = 30000;
constexpr quint32 kOpaqueBlack = 0xFF000000u;

// Pixels of image inside area that are not opaque black, read as stored.
int notBlack(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            count += row[x] != kOpaqueBlack;
    }
    return count;
}

// Leaves large freed blocks full of a pattern behind, so that the next large
// allocation may be given memory that is not zero.
void dirtyTheHeap() {
    for (int i = 0; i < 3; ++i) {
        const size_t bytes = size_t(40) << 20;
        void* p = std::malloc(bytes);
        QVERIFY(p);
        std::memset(p, 0x5A, bytes);
        std::free(p);
    }
}

} // namespace

class TstSdlBackgroundStart : public QObject {
    Q_OBJECT
private slots:
    void newCanvasReadsBlack_data();
    void newCanvasReadsBlack();
    void pictureDrawnIntoANewCanvasStays();
    void sdlStartsWhenFirstShownAndStopsOnRelease();
};

void TstSdlBackgroundStart::newCanvasReadsBlack_data() {
    QTest::addColumn<QSize>("resizeTo");
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<bool>("shown");
    QTest::newRow("as made") << QSize() << false << false;
    QTest::newRow("resized") << QSize(1280, 720) << false << false;
    QTest::newRow("resized over used memory") << QSize(1920, 1080) << true << false;
    QTest::newRow("shown, resized over used memory") << QSize(1600, 900) << true << true;
}

void TstSdlBackgroundStart::newCanvasReadsBlack() {
    QFETCH(QSize, resizeTo);
    QFETCH(bool, dirty);
    QFETCH(bool, shown);
    SDLBackground w;
    if (shown)
        w.show();
    if (dirty)
        dirtyTheHeap();
    if (resizeTo.isValid())
        w.setCanvasSize(resizeTo);
    const QSize size = w.canvasSize();
    QVERIFY(!size.isEmpty());
    if (resizeTo.isValid())
        QCOMPARE(size, resizeTo);
    // Read back first, then the canvas itself: each is the first read in
    // one of two windows.
    QImage back;
    QVERIFY(w.readBack(back, QRect(QPoint(0, 0), size)));
    QCOMPARE(notBlack(back, back.rect()), 0);
    QCOMPARE(notBlack(w.canvas(), w.canvas().rect()), 0);

    SDLBackground other;
    if (dirty)
        dirtyTheHeap();
    if (resizeTo.isValid())
        other.setCanvasSize(resizeTo);
    if (shown) {
        other.show();
        other.renderFrame(); // no camera: nothing is drawn
    }
    QCOMPARE(notBlack(other.canvas(), other.canvas().rect()), 0);
}

// The first pass into a resized canvas draws the picture; the black the
// canvas gets before it does not cover it, and the rest of the canvas is black.
void TstSdlBackgroundStart::pictureDrawnIntoANewCanvasStays() {
    SDLBackground w;
    dirtyTheHeap();
    w.setCanvasSize(QSize(2 * kW, 2 * kH));
    w.move(QPoint(0, 0));
    w.resize(QSize(kW, kH));
    w.show();
    FrameServerCamera cam(PixFmtNV12, kW, kH);
    cam.queueFrame(ColourBars::frame(PixFmtNV12, kW, kH), kW, kH);
    w.attachUsbCamera(&cam, kW, kH);
    w.renderFrame();
    QVERIFY(w.waitDecoded(kDecodeWaitMs));
    w.renderFrame();
    QCOMPARE(w.uploadCount(), 1);
    const QImage& canvas = w.canvas();
    const QRect picture(0, 0, kW, kH);
    // Colour bars: almost nothing of the picture is black.
    QVERIFY2(notBlack(canvas, picture) > kW * kH * 3 / 4, "the picture was covered");
    QCOMPARE(notBlack(canvas, QRect(kW, 0, kW, 2 * kH)), 0);
    QCOMPARE(notBlack(canvas, QRect(0, kH, kW, kH)), 0);
}

void TstSdlBackgroundStart::sdlStartsWhenFirstShownAndStopsOnRelease() {
    const Uint32 subsystems = SDL_INIT_EVENTS | SDL_INIT_TIMER;
    QCOMPARE(SDL_WasInit(subsystems), Uint32(0));
    SDLBackground w;
    w.setCanvasSize(QSize(kW, kH));
    QCOMPARE(SDL_WasInit(subsystems), Uint32(0));
    w.show();
    QCOMPARE(SDL_WasInit(subsystems), subsystems);
    w.hide();
    w.show();
    w.release();
    QCOMPARE(SDL_WasInit(subsystems), Uint32(0));
    w.hide();
    w.show(); // released: SDL stays down
    QCOMPARE(SDL_WasInit(subsystems), Uint32(0));
}

QTEST_MAIN(TstSdlBackgroundStart)
#include "tst_sdl_background_start.moc"
