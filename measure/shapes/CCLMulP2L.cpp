#include "measure/shapes/CCLMulP2L.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

CCLMulP2L::CCLMulP2L() {
    kind = KindMulP2L;
}

void CCLMulP2L::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("多点线距"), QStringLiteral("MP2L"), QStringLiteral("多點線距"));
}

bool CCLMulP2L::ItemInside(const QPointF& p, const QPointF& a, const QPointF& b) const {
    return ShapeGeom::InsideImage(Foot(p, a, b));
}

int CCLMulP2L::HitTestVertex(const QPoint& view, int& index) {
    return ShapeHit::AnyPoint(points, view, index);
}

bool CCLMulP2L::HitItem(const QPoint& view, const QPointF& p) {
    const QPoint f = ImageToView(Foot(p, points[0], points[1]));
    return HitTestLine(view, f, ImageToView(p)) || HitTestLine(view, f, ImageToView(points[0]));
}

void CCLMulP2L::SketchItem(ShapeSketch& s, const QPointF& p, bool live) {
    const QPoint vp = ImageToView(p), vf = ImageToView(Foot(p, points[0], points[1]));
    s.line(vf, vp);
    if (!live) {
        s.handle(vf);
        s.handle(vp);
    }
    s.line(vf, ImageToView(points[0]));
}
