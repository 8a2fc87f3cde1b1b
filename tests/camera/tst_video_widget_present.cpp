// The video widget paints the newest finished picture as the decoder made
// it, without the canvas holding a copy first: what it paints is, pixel for
// pixel, the canvas as a reader gets it, for every new picture and after the
// picture moved (the uncovered canvas black).
#include "ShownPicture.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "camera/VideoWidget.h"
#include "platform/SimUsbCamera.h"

#include <QtTest>

class TstVideoWidgetPresent : public QObject {
    Q_OBJECT
private slots:
    void paintedPictureIsTheCanvas_data();
    void paintedPictureIsTheCanvas();
};

void TstVideoWidgetPresent::paintedPictureIsTheCanvas_data() {
    QTest::addColumn<QString>("spec");
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << "4:fps=0" << int(PixFmtNV12);
    QTest::newRow("MJPG") << "1:fps=0" << int(PixFmtMJPG);
}

void TstVideoWidgetPresent::paintedPictureIsTheCanvas() {
    QFETCH(QString, spec);
    QFETCH(int, format);
    const QSize canvas(1320, 760);
    SimVideoRig rig(spec, canvas);
    QVERIFY(rig.sim);
    rig.sim->setMovingMark(true); // every frame differs from the one before
    SDLBackground& window = rig.window;
    VideoWidget widget(&window);
    widget.resize(canvas);
    UVCCamera cam;
    QVERIFY(cam.open(0, format));
    cam.startLive();
    // Two places of the picture: the second uncovers canvas the first had.
    const QRect places[] = {QRect(10, 20, 1265, 712), QRect(50, 40, 1265, 712)};
    QImage previous;
    for (const QRect& place : places) {
        window.move(place.topLeft());
        window.resize(place.size());
        for (int frame = 0; frame < 4; ++frame) {
            const int shown = window.uploadCount();
            QTRY_VERIFY_WITH_TIMEOUT((window.renderFrame(), window.uploadCount() > shown), 20000);
            QCOMPARE(window.lastCrop().target.toRect(), place);
            // Painted before anyone reads the canvas: the picture comes
            // straight from the decoder.
            const QImage painted = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QImage read = window.canvas().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(painted.size(), canvas);
            QVERIFY2(painted == read, qPrintable(QString("place %1,%2 frame %3").arg(place.x()).arg(place.y()).arg(frame)));
            QVERIFY(painted != previous); // a new picture each time
            previous = painted;
        }
        // Around the picture the canvas is black.
        QCOMPARE(QColor(previous.pixel(place.left() - 1, place.top() - 1)), QColor(Qt::black));
        QCOMPARE(QColor(previous.pixel(place.right() + 2, place.bottom() + 2)), QColor(Qt::black));
    }
}

QTEST_MAIN(TstVideoWidgetPresent)
#include "tst_video_widget_present.moc"
