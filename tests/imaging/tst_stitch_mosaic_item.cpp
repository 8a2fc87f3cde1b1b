// The stitching view's mosaic item shows exactly what a plain pixmap item
// shows in the same view: fitted as the panel fits it, after frames are
// pasted into it, zoomed and dragged. The picture is noise, so a pixel
// sampled from a neighbour of the right one shows.
#include "imaging/StitchMosaicItem.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {

QImage noise(int side, quint32 seed) {
    QImage img(side, side, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return img;
}

// A view set up as the stitching panel's, showing `item` alone.
struct View {
    QGraphicsScene scene;
    QGraphicsView view;
    View(QGraphicsPixmapItem* item, int side, QSize size) {
        scene.setSceneRect(0, 0, side, side);
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
    QImage shown() { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Pastes `frame` at `at` into the item's pixmap in place, as the panel does.
void paste(QGraphicsPixmapItem* item, const QImage& frame, QPoint at) {
    QPixmap pixmap = item->pixmap();
    item->setPixmap(QPixmap());
    {
        QPainter p(&pixmap);
        p.drawImage(at, frame);
    }
    item->setPixmap(pixmap);
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
        const QPixmap picture = QPixmap::fromImage(noise(side, 7));
        auto* plainItem = new QGraphicsPixmapItem(picture);
        auto* keptItem = new StitchMosaicItem(picture);
        View plain(plainItem, side, viewSize), kept(keptItem, side, viewSize);
        QCOMPARE(kept.shown(), plain.shown());

        // Frames pasted at odd places, twice over the same view.
        const QImage frame = noise(side / 5, 11), other = noise(side / 7, 13);
        for (const auto& [img, at] : {std::pair{frame, QPoint(side / 3 + 1, side / 4 + 3)},
                                      std::pair{other, QPoint(7, side - side / 7 - 5)}}) {
            paste(plainItem, img, at);
            paste(keptItem, img, at);
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
        paste(keptItem, frame, QPoint(side / 2, side / 2));
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
};

QTEST_MAIN(TestStitchMosaicItem)
#include "tst_stitch_mosaic_item.moc"
