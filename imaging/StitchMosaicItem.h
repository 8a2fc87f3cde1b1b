#pragma once

#include <QGraphicsPixmapItem>
#include <QImage>
#include <QPainter>
#include <QTransform>

// The stitching panel's mosaic in its scene: the whole-resolution picture
// (pixmap()), painted into the view through a picture kept at the view's
// scale. Scaling the five-thousand-pixel mosaic into the view at every
// repaint took the interface thread's time at every video frame; now a
// repaint copies the kept picture, which is drawn again only when the
// pixmap changes (a pasted frame, a grown mosaic) or the view's transform
// or size does. It is drawn whole, by the same painting code and transform
// as the view's own, so the view shows the same pixels: Qt's scaling picks
// its source pixels from where the drawn area starts, and a picture renewed
// only around the pasted frame would sample a few columns and rows of it
// one source pixel off.
//
// Thread: GUI thread only.
class StitchMosaicItem : public QGraphicsPixmapItem {
public:
    explicit StitchMosaicItem(const QPixmap& pixmap, QGraphicsItem* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QImage m_view;               // the item in the view's pixels, transparent where it does not reach
    QTransform m_transform;      // the painter's transform m_view is drawn with
    QPainter::RenderHints m_hints;
    qint64 m_key = 0;            // cacheKey of the pixmap m_view shows
};
