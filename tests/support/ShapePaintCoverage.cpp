#include "tests/support/ShapePaintCoverage.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <memory>

QImage PaintShape(CCLBaseObject& shape, bool creating, QSize view) {
    QImage image(view, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QFont font(measureFontFamily);
        font.setPixelSize(measureSys ? measureSys->shapeFontSize() : 22);
        painter.setFont(font);
        painter.setPen(QPen(shape.color, shape.penWidth));
        if (creating)
            shape.DrawCreating(&painter);
        else
            shape.DrawObj(&painter, true);
    }
    return image;
}

PaintCoverage CheckPaintCoverage(CCLBaseObject& shape, bool creating, QSize view, int margin) {
    const QImage image = PaintShape(shape, creating, view);
    QList<QRect> rects;
    if (creating)
        shape.CollectCreatingRects(rects);
    else
        shape.CollectObjRects(rects);
    QRegion covered;
    for (const QRect& r : rects)
        covered += r.normalized().adjusted(-margin, -margin, margin, margin);
    PaintCoverage result;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            ++result.painted;
            if (!covered.contains(QPoint(x, y)))
                result.outside.append(QPoint(x, y));
        }
    }
    return result;
}

int UncoveredWhileCreating(int kind, const QPolygonF& points, const QPointF& cursor, int penWidth) {
    int outside = 0;
    for (int placed = 1; placed <= points.size(); ++placed) {
        std::unique_ptr<CCLBaseObject> shape(ShapeRegistry::create(kind));
        if (!shape)
            return -1;
        shape->penWidth = penWidth;
        for (int i = 0; i < placed; ++i)
            shape->AddPoint(points[i]);
        shape->MoveCurPoint(placed == points.size() ? points.last() : cursor);
        const PaintCoverage state = CheckPaintCoverage(*shape, true);
        if (state.painted == 0)
            return -1;
        outside += state.outside.size();
    }
    return outside;
}
