// The stitching view's mosaic item shows exactly what a plain pixmap item
// shows in the same view: fitted as the panel fits it, after frames are
// pasted into it, zoomed and dragged; and on the screen after a paste that
// repainted only around the pasted frame. The picture is noise, so a pixel
// sampled from a neighbour of the right one shows.
#include "imaging/StitchMosaic.h"
#include "imaging/StitchMosaicItem.h"
#include "imaging/StitchStart.h"
#include "imaging/StitchViewPicture.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

#include <cmath>
#include <memory>
#include <utility>

namespace {

QImage noise(QSize size, quint32 seed) {
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return img;
}

QImage noise(int side, quint32 seed) { return noise(QSize(side, side), seed); }

// A view set up as the stitching panel's, showing `item` alone.
struct View {
    QGraphicsScene scene;
    QGraphicsView view;
    View(QGraphicsItem* item, int side, QSize size) : View(item, QSize(side, side), size) {}
    View(QGraphicsItem* item, QSize picture, QSize size) {
        scene.setSceneRect(0, 0, picture.width(), picture.height());
        scene.setBackgroundBrush(Qt::black);
        scene.addItem(item);
        view.setScene(&scene);
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setDragMode(QGraphicsView::ScrollHandDrag);
        view.setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
        view.resize(size);
        view.show();
        fit();
    }
    void fit() {
        view.resetTransform();
        const QRectF r = scene.sceneRect();
        const double s = std::min(view.width() / r.width(), view.height() / r.height());
        view.scale(s, s);
    }
    // The view painted afresh.
    QImage shown() { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // What the screen holds of the view: what its repaints left there.
    QImage onScreen() {
        const QRect vp = view.viewport()->geometry();
        return view.screen()
            ->grabWindow(view.winId(), vp.x(), vp.y(), vp.width(), vp.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
};

// The parts of a widget repainted since the last take().
class Repaints : public QObject {
public:
    explicit Repaints(QWidget* widget) { widget->installEventFilter(this); }
    QRegion take() { return std::exchange(m_region, QRegion()); }
    bool any() const { return !m_region.isEmpty(); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QRegion m_region;
};

// Pastes `frame` at `at` into a plain item's pixmap in place.
void paste(QGraphicsPixmapItem* item, const QImage& frame, QPoint at) {
    QPixmap pixmap = item->pixmap();
    item->setPixmap(QPixmap());
    {
        QPainter p(&pixmap);
        p.drawImage(at, frame);
    }
    item->setPixmap(pixmap);
}

// Pastes `frame` at `at` into `mosaic` and from it into the kept item, as
// the panel does.
void paste(StitchMosaicItem* item, QImage* mosaic, const QImage& frame, QPoint at) {
    {
        QPainter p(mosaic);
        p.drawImage(at, frame);
    }
    item->paste(*mosaic, QRect(at, frame.size()));
}

} // namespace

class TestStitchMosaicItem : public QObject {
    Q_OBJECT

private slots:
    void showsWhatAPixmapItemShows_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<QSize>("viewSize");
        QTest::newRow("Precision mosaic in the program's view") << 5000 << QSize(1345, 1050);
        QTest::newRow("Fast mosaic in the program's view") << 2500 << QSize(1345, 1050);
        QTest::newRow("Precision mosaic in a small view") << 5000 << QSize(640, 400);
    }
    void showsWhatAPixmapItemShows() {
        QFETCH(int, side);
        QFETCH(QSize, viewSize);
        QImage mosaic = noise(side, 7);
        const QPixmap picture = QPixmap::fromImage(mosaic);
        auto* plainItem = new QGraphicsPixmapItem(picture);
        auto* keptItem = new StitchMosaicItem(picture);
        View plain(plainItem, side, viewSize), kept(keptItem, side, viewSize);
        QCOMPARE(kept.shown(), plain.shown());

        // Frames pasted at odd places, twice over the same view.
        const QImage frame = noise(side / 5, 11), other = noise(side / 7, 13);
        for (const auto& [img, at] : {std::pair{frame, QPoint(side / 3 + 1, side / 4 + 3)},
                                      std::pair{other, QPoint(7, side - side / 7 - 5)}}) {
            paste(plainItem, img, at);
            paste(keptItem, &mosaic, img, at);
            QCOMPARE(kept.shown(), plain.shown());
        }

        // Zoomed in three wheel steps, then dragged.
        for (View* v : {&plain, &kept})
            v->view.scale(1.1 * 1.1 * 1.1, 1.1 * 1.1 * 1.1);
        QCOMPARE(kept.shown(), plain.shown());
        for (View* v : {&plain, &kept})
            v->view.translate(-37.5, 12.25);
        QCOMPARE(kept.shown(), plain.shown());
        paste(plainItem, frame, QPoint(side / 2, side / 2));
        paste(keptItem, &mosaic, frame, QPoint(side / 2, side / 2));
        QCOMPARE(kept.shown(), plain.shown());

        // Back to the fitted view, and a new (grown) picture.
        for (View* v : {&plain, &kept})
            v->fit();
        QCOMPARE(kept.shown(), plain.shown());
        const QPixmap grown = QPixmap::fromImage(noise(side, 17));
        plainItem->setPixmap(grown);
        keptItem->setPixmap(grown);
        QCOMPARE(kept.shown(), plain.shown());
    }
    // A paste repaints the view only around the pasted frame, and leaves on
    // the screen what a whole repaint of a plain pixmap item leaves: at the
    // fitted scales of both mosaics, at scales of whole and of no whole
    // numbers, zoomed in and out, with the frame inside the view, across
    // its edges and at the mosaic's corner.
    void repaintsOnlyAroundAPastedFrame_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<double>("scale"); // view pixels per mosaic pixel
        QTest::addColumn<QPointF>("centre"); // the mosaic's point in the view's centre
        QTest::addColumn<QSize>("frame");
        QTest::newRow("Precision mosaic fitted") << QSize(5000, 5000) << 1050.0 / 5000 << QPointF(2500, 2500) << QSize(960, 540);
        QTest::newRow("Fast mosaic fitted") << QSize(2500, 2500) << 1050.0 / 2500 << QPointF(1250, 1250) << QSize(480, 270);
        QTest::newRow("one third") << QSize(1800, 1500) << 1.0 / 3 << QPointF(900.5, 750.25) << QSize(301, 203);
        QTest::newRow("0.7371") << QSize(1800, 1500) << 0.7371 << QPointF(611.3, 702.9) << QSize(257, 181);
        QTest::newRow("whole pixels") << QSize(1800, 1500) << 1.0 << QPointF(700, 500) << QSize(200, 150);
        QTest::newRow("1.37, zoomed in") << QSize(1800, 1500) << 1.37 << QPointF(800.4, 600.6) << QSize(157, 111);
        QTest::newRow("2.5, zoomed in") << QSize(1800, 1500) << 2.5 << QPointF(777.7, 555.5) << QSize(90, 70);
        QTest::newRow("1.37 at the mosaic's corner") << QSize(1800, 1500) << 1.37 << QPointF(1700.3, 1400.8) << QSize(157, 111);
    }
    void repaintsOnlyAroundAPastedFrame() {
        QFETCH(QSize, picture);
        QFETCH(double, scale);
        QFETCH(QPointF, centre);
        QFETCH(QSize, frame);
        QImage mosaic = noise(picture, 3);
        auto* plainItem = new QGraphicsPixmapItem(QPixmap::fromImage(mosaic));
        auto* keptItem = new StitchMosaicItem(QPixmap::fromImage(mosaic));
        View plain(plainItem, picture, QSize(1345, 1050)), kept(keptItem, picture, QSize(1345, 1050));
        for (View* v : {&plain, &kept}) {
            v->view.setTransform(QTransform::fromScale(scale, scale));
            v->view.centerOn(centre);
            QVERIFY(QTest::qWaitForWindowExposed(&v->view));
        }
        Repaints plainPaints(plain.view.viewport()), keptPaints(kept.view.viewport());
        QTRY_COMPARE(kept.onScreen(), plain.onScreen());

        const QRect visible = kept.view.mapToScene(kept.view.viewport()->rect()).boundingRect().toRect() &
                              QRect(QPoint(0, 0), picture);
        const QImage img = noise(frame, 5);
        const QPoint inside = visible.center() - QPoint(frame.width() / 3, frame.height() / 4);
        const QPoint acrossLeftTop = visible.topLeft() - QPoint(frame.width() / 3 + 1, frame.height() / 2 + 1);
        const QPoint acrossRightBottom = visible.bottomRight() - QPoint(frame.width() / 2 - 3, frame.height() / 3 - 1);
        const QPoint farInside = visible.topLeft() + QPoint(visible.width() * 3 / 5 + 7, visible.height() * 3 / 5 + 3);
        const QPoint nearTopLeft = visible.topLeft() + QPoint(visible.width() / 9 + 2, visible.height() / 11 + 5);
        for (const QPoint& at : {inside, acrossLeftTop, acrossRightBottom, inside + QPoint(1, 1), farInside, nearTopLeft}) {
            plainPaints.take();
            keptPaints.take();
            paste(plainItem, img, at);
            paste(keptItem, &mosaic, img, at);
            QTRY_VERIFY(plainPaints.any() && keptPaints.any());
            QCOMPARE(kept.onScreen(), plain.onScreen());
            const int margin = int(std::ceil(2 * scale)) + 3;
            const QRect around = kept.view.mapFromScene(QRectF(at, frame)).boundingRect().adjusted(-margin, -margin,
                                                                                                   margin, margin);
            const QRect repainted = keptPaints.take().boundingRect();
            QVERIFY2(around.contains(repainted), qPrintable(QString("repainted %1,%2 %3x%4 of the view, the frame is at "
                                                                    "%5,%6 %7x%8")
                                                                .arg(repainted.x()).arg(repainted.y())
                                                                .arg(repainted.width()).arg(repainted.height())
                                                                .arg(around.x()).arg(around.y())
                                                                .arg(around.width()).arg(around.height())));
        }
        QCOMPARE(kept.shown(), plain.shown());
    }

    // The worker's picture of a grown mosaic shares its pixels with the one
    // the item shows, handed over as the panel does (adopted, each placed
    // frame pasted into it in place): every grown picture holds the frames
    // pasted before, and once the frame placed with the growth is pasted
    // too, the item shows the whole mosaic.
    // The picture shown where the whole one is refused: the longer side
    // fits into 2048 pixels, the proportions stay, a small mosaic stays as
    // it is; each pixel the mean of what it covers (left half red, right
    // half blue).
    void reducedPictureFitsItsLongerSide_data() {
        QTest::addColumn<QSize>("mosaic");
        QTest::addColumn<QSize>("reduced");
        QTest::newRow("square") << QSize(5000, 5000) << QSize(2048, 2048);
        QTest::newRow("wide") << QSize(6000, 3000) << QSize(2048, 1024);
        QTest::newRow("tall") << QSize(2100, 8400) << QSize(512, 2048);
        QTest::newRow("small") << QSize(1500, 900) << QSize(1500, 900);
    }
    void reducedPictureFitsItsLongerSide() {
        QFETCH(QSize, mosaic);
        QFETCH(QSize, reduced);
        cv::Mat m(mosaic.height(), mosaic.width(), CV_8UC3, cv::Scalar(0, 0, 200));
        m.colRange(0, m.cols / 2).setTo(cv::Scalar(200, 0, 0));
        const QImage out = StitchViewPicture::reduced(m);
        QCOMPARE(out.size(), reduced);
        QCOMPARE(out.pixelColor(0, out.height() - 1), QColor(200, 0, 0));
        QCOMPARE(out.pixelColor(out.width() - 1, 0), QColor(0, 0, 200));
        const QColor middle = out.pixelColor(out.width() / 2 - 1, out.height() / 2);
        QCOMPARE(middle, QColor(200, 0, 0));
    }

    void grownPicturesHoldTheFramesPastedBefore() {
        const QImage::Format format = QPixmap(1, 1).toImage().format();
        StitchMosaic m;
        const cv::Mat weights(40, 60, CV_32FC1, cv::Scalar(1.0f));
        m.setFeatherMasks(weights, weights);
        cv::RNG rng(5);
        auto frame = [&] {
            cv::Mat f(40, 60, CV_8UC3);
            rng.fill(f, cv::RNG::UNIFORM, 1, 256);
            return f;
        };
        m.rebuild(frame(), 400);
        auto* item = new StitchMosaicItem(QPixmap::fromImage(StitchStart::picture(m.mosaic(), format)));
        View view(item, 400, QSize(300, 300));
        StitchViewPicture pictures;
        int grown = 0;
        for (int i = 0; i < 24; ++i) {
            const QSize s = m.size();
            QPoint at(rng.uniform(0, s.width() - 60), rng.uniform(0, s.height() - 40));
            if (i % 3 == 1)
                at.setX(s.width() - 60 + rng.uniform(1, 100));
            if (i % 3 == 2)
                at.setY(s.height() - 40 + rng.uniform(1, 100));
            const StitchPlacement p = m.growStitchCanvas(frame(), -at.x(), -at.y(), QRect(0, 0, 1, 1));
            QVERIFY(p.pasted);
            const QRect placed(p.pos, QSize(60, 40));
            if (p.grew) {
                ++grown;
                QImage picture = pictures.grown(m, format);
                QImage expected = StitchStart::picture(m.mosaic(), format);
                QImage got = picture.copy();
                {
                    QPainter(&expected).fillRect(placed, Qt::black);
                    QPainter(&got).fillRect(placed, Qt::black);
                }
                QCOMPARE(got, expected);
                {
                    QPixmap pixmap = item->pixmap();
                    item->setPixmap(QPixmap());
                    pixmap = QPixmap::fromImage(std::move(picture));
                    item->setPixmap(pixmap);
                }
                view.scene.setSceneRect(0, 0, m.size().width(), m.size().height());
                view.fit();
                view.shown();
            }
            item->paste(m.mosaicView(), placed);
            QCOMPARE(item->pixmap().toImage().convertToFormat(format), StitchStart::picture(m.mosaic(), format));
        }
        QVERIFY(grown >= 8);
    }
};

QTEST_MAIN(TestStitchMosaicItem)
#include "tst_stitch_mosaic_item.moc"
