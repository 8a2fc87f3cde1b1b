#include "imaging/StitchMosaicItem.h"

#include <QPaintEngine>

#include <cmath>

namespace {

bool isPlain32(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

// The source pixel Qt's scaling shows in each of `length` view pixels along
// one axis (-1: none), measured: a strip of a picture `source` wide (or
// high), whose pixels hold their own column (or row) number, drawn with the
// same scale and offset along that axis and the same hints into a strip of
// the view's length. Across the axis the strip is a few pixels thick; Qt
// picks the same source column for every view row (and the same row for
// every column), so one line of the strip tells them all.
std::vector<int> sampledSource(Qt::Orientation along, int source, int across, QImage::Format format, int length,
                               const QTransform& t, QPainter::RenderHints hints) {
    const bool columns = along == Qt::Horizontal;
    const double scaleAcross = columns ? t.m22() : t.m11();
    // Enough source lines across that the strip covers at least four view lines.
    const int thick = std::min(across, int(std::ceil(4.0 / scaleAcross)) + 1);
    QImage strip(columns ? QSize(source, thick) : QSize(thick, source), format);
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x)
            line[x] = 0xff000000u | quint32(columns ? x : y);
    }
    const int stripAcross = int(std::ceil(thick * scaleAcross)) + 4;
    QImage shown(columns ? QSize(length, stripAcross) : QSize(stripAcross, length), QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    {
        QPainter p(&shown);
        p.setRenderHints(hints);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.setWorldTransform(columns ? QTransform(t.m11(), 0, 0, t.m22(), t.dx(), 1)
                                    : QTransform(t.m11(), 0, 0, t.m22(), 1, t.dy()));
        p.drawPixmap(QPointF(0, 0), QPixmap::fromImage(strip));
    }
    std::vector<int> sampled(size_t(length), -1);
    for (int i = 0; i < length; ++i) {
        const QRgb v = columns ? shown.pixel(i, 2) : shown.pixel(2, i);
        if (qAlpha(v) != 0)
            sampled[size_t(i)] = int(v & 0xffffffu);
    }
    return sampled;
}

// The first and last index whose value lies in [from, to] (values rise
// along the vector), or {-1, -1}.
std::pair<int, int> spanShowing(const std::vector<int>& sampled, int from, int to) {
    int first = -1, last = -1;
    for (int i = 0; i < int(sampled.size()); ++i) {
        if (sampled[size_t(i)] >= from && sampled[size_t(i)] <= to) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return {first, last};
}

} // namespace

StitchMosaicItem::StitchMosaicItem(const QPixmap& pixmap, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_pixmap(pixmap) {}

void StitchMosaicItem::setPixmap(const QPixmap& pixmap) {
    prepareGeometryChange();
    m_pixmap = pixmap;
    update();
}

QRectF StitchMosaicItem::boundingRect() const {
    if (m_pixmap.isNull())
        return QRectF();
    return QRectF(QPointF(0, 0), QSizeF(m_pixmap.size()) / m_pixmap.devicePixelRatioF());
}

void StitchMosaicItem::drawPicture(QPainter* painter) const {
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawPixmap(QPointF(0, 0), m_pixmap);
    painter->restore();
}

void StitchMosaicItem::measureSampling() {
    m_sourceColumn.clear();
    m_sourceRow.clear();
    const QSize source = m_pixmap.size();
    const QRectF shown = m_transform.mapRect(QRectF(QPointF(0, 0), QSizeF(source)));
    // Qt scales pictures beyond 32767 pixels another way; and a picture of
    // another format is converted as it is drawn, not copied.
    if (m_transform.type() > QTransform::TxScale || m_transform.m11() <= 0 || m_transform.m22() <= 0 ||
        std::min(shown.width(), shown.height()) < 4 ||
        std::max({double(source.width()), double(source.height()), shown.width(), shown.height()}) >= 0x7fff ||
        m_pixmap.devicePixelRatioF() != 1.0 || !isPlain32(m_pixmap.toImage().format()))
        return;
    const QImage::Format format = m_pixmap.toImage().format();
    m_sourceColumn = sampledSource(Qt::Horizontal, source.width(), source.height(), format, m_view.width(),
                                   m_transform, m_hints);
    m_sourceRow = sampledSource(Qt::Vertical, source.height(), source.width(), format, m_view.height(), m_transform,
                                m_hints);
}

void StitchMosaicItem::paste(const QImage& from, const QRect& changed) {
    const QRect r = changed & QRect(QPoint(0, 0), m_pixmap.size());
    if (r.isEmpty() || from.size() != m_pixmap.size())
        return; // a reduced picture (see setPixmap's callers) is drawn anew, never pasted into
    const bool kept = !m_view.isNull() && m_key == m_pixmap.cacheKey() && !m_sourceColumn.empty();
    {
        QPainter p(&m_pixmap);
        p.drawImage(r.topLeft(), from, r);
    }
    if (!kept) {
        // Drawn whole at the next repaint. A view pixel shows a source pixel
        // less than one source pixel from its centre.
        update(QRectF(r).adjusted(-2, -2, 2, 2));
        return;
    }
    m_key = m_pixmap.cacheKey();
    const auto [x0, x1] = spanShowing(m_sourceColumn, r.left(), r.right());
    const auto [y0, y1] = spanShowing(m_sourceRow, r.top(), r.bottom());
    if (x0 < 0 || y0 < 0)
        return; // out of the view
    {
        const QImage source = m_pixmap.toImage(); // shares the pixmap's pixels while it lives
        for (int y = y0; y <= y1; ++y) {
            const auto* s = reinterpret_cast<const quint32*>(source.constScanLine(m_sourceRow[size_t(y)]));
            auto* d = reinterpret_cast<quint32*>(m_view.scanLine(y));
            for (int x = x0; x <= x1; ++x)
                d[x] = s[m_sourceColumn[size_t(x)]];
        }
    }
    const QRectF renewed(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    update(m_transform.inverted().mapRect(renewed.adjusted(-1, -1, 1, 1)));
}

void StitchMosaicItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget* widget) {
    if (m_pixmap.isNull())
        return;
    QPaintDevice* device = painter->device();
    const QTransform t = painter->worldTransform();
    // Only a view's plain raster painting is kept: anything else (a rotated
    // or translucent item, a high-density screen, a picture rendered from
    // the scene) is painted as a pixmap item paints itself.
    if (!widget || !device || painter->paintEngine()->type() != QPaintEngine::Raster ||
        t.type() > QTransform::TxScale || painter->opacity() != 1.0 || device->devicePixelRatioF() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver) {
        m_view = QImage();
        m_sourceColumn.clear();
        m_sourceRow.clear();
        drawPicture(painter);
        return;
    }
    const QSize size(device->width(), device->height());
    if (m_view.size() != size || t != m_transform || painter->renderHints() != m_hints ||
        m_pixmap.cacheKey() != m_key) {
        m_view = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_view.fill(Qt::transparent);
        m_transform = t;
        m_hints = painter->renderHints();
        m_key = m_pixmap.cacheKey();
        {
            QPainter p(&m_view);
            p.setRenderHints(m_hints);
            p.setWorldTransform(m_transform);
            drawPicture(&p);
        }
        measureSampling();
    }
    painter->save();
    painter->setWorldTransform(QTransform());
    painter->drawImage(QPoint(0, 0), m_view);
    painter->restore();
}
