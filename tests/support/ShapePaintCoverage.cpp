#include "tests/support/ShapePaintCoverage.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

PaintCoverage CheckPaintCoverage(CCLBaseObject& shape, bool creating, QSize view, int margin) {
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
