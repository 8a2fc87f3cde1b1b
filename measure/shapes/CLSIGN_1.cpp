#include "measure/shapes/CLSIGN_1.h"

#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"

#include <QPainter>

CLSIGN_1::CLSIGN_1() {
    kind = KindSign1;
}

void CLSIGN_1::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
}

void CLSIGN_1::AddPoint(const QPointF& point) {
    points.append(point);
    curPoint = point;
}

int CLSIGN_1::HitTest(const QPoint& view) {
    if (points.size() != 1)
        return 0;
    const QPoint v = ImageToView(points[0]);
    const double dx = v.x() - view.x(), dy = v.y() - view.y();
    return dx * dx + dy * dy <= 25.0 ? 3 : 0;
}

void CLSIGN_1::DrawOutline(QPainter* painter, const QPoint& at) {
    DrawCircle(painter, at, 15);
}

void CLSIGN_1::DrawObj(QPainter* painter, bool) {
    if (points.size() != 1)
        return;
    const QPoint at = ImageToView(points[0]);
    DrawOutline(painter, at);
    const QFont saved = painter->font();
    QFont font = saved;
    font.setPixelSize(25);
    painter->setFont(font);
    painter->drawText(QRect(at.x() - 15, at.y() - 15, 30, 30), Qt::AlignCenter, QString::number(signNumber));
    painter->setFont(saved);
}

void CLSIGN_1::CollectObjRects(QList<QRect>& rects) {
    if (points.size() == 1)
        AddPointRect(rects, ImageToView(points[0]), 30);
}
