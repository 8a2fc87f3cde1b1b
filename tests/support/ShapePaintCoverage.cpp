#include "tests/support/ShapePaintCoverage.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

PaintCoverage CheckPaintCoverage(CCLBaseObject& shape, bool creating) {
    QImage img(int(viewWidth), int(viewHeight), QImage::Format_ARGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        QFont font(measureFontFamily);
        font.setPixelSize(measureSys ? measureSys->shapeFontSize() : 22);
        p.setFont(font);
        p.setPen(QPen(shape.color, shape.penWidth));
        if (creating)
            shape.DrawCreating(&p);
        else
            shape.DrawObj(&p, true);
    }
    QList<QRect> rects;
    if (creating)
        shape.CollectCreatingRects(rects);
    else
        shape.CollectObjRects(rects);
    QRegion covered;
    for (const QRect& r : rects)
        covered += r;
    PaintCoverage result;
    const QRgb white = QColor(Qt::white).rgba();
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (line[x] == white)
                continue;
            ++result.painted;
            if (!covered.contains(QPoint(x, y))) {
                if (!result.outside)
                    result.firstOutside = QPoint(x, y);
                ++result.outside;
            }
        }
    }
    return result;
}

QString PaintCoverage::failure() const {
    if (painted == 0)
        return QStringLiteral("nothing painted");
    if (outside == 0)
        return QString();
    return QString("%1 of %2 painted pixels outside the update rectangles, first at %3,%4")
        .arg(outside)
        .arg(painted)
        .arg(firstOutside.x())
        .arg(firstOutside.y());
}
