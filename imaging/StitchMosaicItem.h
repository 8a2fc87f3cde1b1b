#pragma once

#include <QGraphicsItem>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTransform>

#include <vector>

// The stitching panel's mosaic in its scene: the whole-resolution picture
// (pixmap()), painted into the view through a picture kept at the view's
// scale. Scaling the five-thousand-pixel mosaic into the view at every
// repaint took the interface thread's time at every video frame; now a
// repaint copies the kept picture. It is drawn whole, by the same painting
// code and transform as a plain pixmap item's, when the view's transform or
// size changes or a new picture comes (setPixmap()). A pasted frame
// (paste()) renews only the view pixels that show it, and only those are
// repainted: each view column and row shows the source column and row that
// Qt's own scaling picked for it when the picture was drawn whole, so the
// view shows the same pixels as after a whole redraw. (Drawn again by Qt
// around the frame alone, a few columns and rows would come out one source
// pixel off: its scaling steps from where the drawn area starts.)
//
// Painted as a pixmap item in fast transformation mode, at (0, 0).
// Thread: GUI thread only.
class StitchMosaicItem : public QGraphicsItem {
public:
    explicit StitchMosaicItem(const QPixmap& pixmap, QGraphicsItem* parent = nullptr);

    QPixmap pixmap() const { return m_pixmap; }
    // A new picture: repainted whole.
    void setPixmap(const QPixmap& pixmap);
    // Copies the `changed` part of `from` (a picture of the pixmap's size)
    // into the pixmap at the same place, drawing into it in place: the
    // pixmap must not be shared then, or its hundred megabytes are copied.
    // Only the view pixels that show that part are repainted.
    void paste(const QImage& from, const QRect& changed);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void drawPicture(QPainter* painter) const;
    void measureSampling();

    QPixmap m_pixmap;
    QImage m_view;               // the item in the view's pixels, transparent where it does not reach
    QTransform m_transform;      // the painter's transform m_view is drawn with
    QPainter::RenderHints m_hints;
    qint64 m_key = 0;            // cacheKey of the pixmap m_view shows
    // Per column and row of m_view: the pixmap's column and row shown there
    // (-1: none). Empty when m_view cannot be renewed in part.
    std::vector<int> m_sourceColumn, m_sourceRow;
};
