#include "measure/shapes/CLParallelLine_H.h"

#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <cstdlib>

CLParallelLine_H::CLParallelLine_H() {
    kind = KindParallelH;
}

void CLParallelLine_H::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("水平平行线"), QStringLiteral("Paralle H"), QStringLiteral("水準平行線"));
}

QPointF CLParallelLine_H::Foot(const QPointF& p, const QPointF& a, const QPointF&) const {
    return vertical ? QPointF(a.x(), p.y()) : QPointF(p.x(), a.y());
}

QPointF CLParallelLine_H::Constrain(const QPointF& p) const {
    if (points.isEmpty())
        return p;
    return vertical ? QPointF(points[0].x(), p.y()) : QPointF(p.x(), points[0].y());
}

void CLParallelLine_H::NormalLine(QPointF& a, QPointF& b) const {
    // Left normals (0, 1) and (1, 0): an item on the base goes up or right.
    a = vertical ? points[0] + QPointF(0, 1) : points[0];
    b = vertical ? points[0] : points[0] + QPointF(1, 0);
}

int CLParallelLine_H::halfWidth() const {
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
    return std::abs(vertical ? v0.y() - v1.y() : v0.x() - v1.x()) / 2;
}

bool CLParallelLine_H::inBand(const QPoint& view, const QPoint& centre) const {
    const int w = halfWidth();
    const int across = vertical ? view.x() - centre.x() : view.y() - centre.y();
    const int along = vertical ? view.y() - centre.y() : view.x() - centre.x();
    return std::abs(across) < 5 && std::abs(along) < w;
}

bool CLParallelLine_H::HitBase(const QPoint& view) {
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
    return inBand(view, QPoint((v0.x() + v1.x()) / 2, (v0.y() + v1.y()) / 2));
}

bool CLParallelLine_H::HitItem(const QPoint& view, const QPointF& p) {
    return inBand(view, ImageToView(p));
}

void CLParallelLine_H::SketchBase(ShapeSketch& s, bool) {
    const QPoint v0 = ImageToView(points[0]), v1 = ImageToView(points[1]);
    s.line(v0, v1);
    s.handle(v0);
    s.handle(v1);
}

void CLParallelLine_H::SketchItem(ShapeSketch& s, const QPointF& p, bool live) {
    const int w = halfWidth();
    const QPoint t = ImageToView(p);
    const QPoint v0 = ImageToView(points[0]);
    const QPoint step = vertical ? QPoint(0, w) : QPoint(w, 0);
    const QPoint g = vertical ? QPoint(v0.x(), t.y()) : QPoint(t.x(), v0.y());
    s.line(t + step, t - step);
    if (!live) {
        s.handle(t);
        s.handle(g);
    }
    s.dashLine(g, t);
    s.line(g, v0);
}
