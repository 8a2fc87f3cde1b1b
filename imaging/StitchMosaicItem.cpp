#include "imaging/StitchMosaicItem.h"

#include <QPaintEngine>

StitchMosaicItem::StitchMosaicItem(const QPixmap& pixmap, QGraphicsItem* parent)
    : QGraphicsPixmapItem(pixmap, parent) {}

void StitchMosaicItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) {
    QPaintDevice* device = painter->device();
    const QTransform t = painter->worldTransform();
    // Only a view's plain raster painting is kept: anything else (a rotated
    // or translucent item, a high-density screen, a picture rendered from
    // the scene) is painted as the pixmap item paints itself.
    if (!widget || !device || painter->paintEngine()->type() != QPaintEngine::Raster ||
        t.type() > QTransform::TxScale || painter->opacity() != 1.0 || device->devicePixelRatioF() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver || pixmap().isNull()) {
        m_view = QImage();
        QGraphicsPixmapItem::paint(painter, option, widget);
        return;
    }
    const QSize size(device->width(), device->height());
    if (m_view.size() != size || t != m_transform || painter->renderHints() != m_hints ||
        pixmap().cacheKey() != m_key) {
        m_view = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_view.fill(Qt::transparent);
        m_transform = t;
        m_hints = painter->renderHints();
        m_key = pixmap().cacheKey();
        QPainter p(&m_view);
        p.setRenderHints(m_hints);
        p.setWorldTransform(m_transform);
        QGraphicsPixmapItem::paint(&p, option, nullptr);
    }
    painter->save();
    painter->setWorldTransform(QTransform());
    painter->drawImage(QPoint(0, 0), m_view);
    painter->restore();
}
