#include "measure/shapes/CLConCircle.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

CLConCircle::CLConCircle() {
    kind = KindConCircle;
    name = QStringLiteral("R");
    basePoints = 1;
    labelsWhenFinished = false;
}

void CLConCircle::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("同心圆"), QStringLiteral("R"), QStringLiteral("同心圓"));
}

bool CLConCircle::SnapPoint(const QPointF& point, QPointF& snapped) {
    snapped = point;
    return false;
}

QString CLConCircle::GetItemText(double value, int item) {
    static const char* const tags = "ABCDEFGHIJ";
    if (item < 0 || item > 9)
        return QString();
    const QString text =
        QString("R%1%2=%3").arg(labelNumber).arg(QChar(tags[item])).arg(ShapeText::ValueText(value, numbits));
    return QString("%1%2").arg(text, unit);
}

void CLConCircle::NormalLine(QPointF& a, QPointF& b) const {
    // Left normal (1, 0): a radius point on the centre goes to (c.x + value, c.y).
    a = points[0] + QPointF(0, 1);
    b = points[0];
}

bool CLConCircle::HitItem(const QPoint& view, const QPointF& p) {
    const QPoint c = ImageToView(points[0]), v = ImageToView(p);
    return HitTestLine(view, c, v) || HitTestRing(view, c, GetDistanceI(c, v));
}

void CLConCircle::SketchBase(ShapeSketch& s, bool) {
    s.handle(ImageToView(points[0]));
}

void CLConCircle::SketchItem(ShapeSketch& s, const QPointF& p, bool live) {
    const QPoint c = ImageToView(points[0]), v = ImageToView(p);
    s.line(c, v);
    if (!live)
        s.handle(v);
    s.circle(c, GetDistanceI(c, v));
}
