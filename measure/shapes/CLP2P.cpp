#include "measure/shapes/CLP2P.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <QPainter>

#include <cmath>

CLP2P::CLP2P() {
    kind = KindP2P;
    name = QStringLiteral("L");
}

bool CLP2P::IsShowHalf() {
    return ShapeLabel::Switch("P2P/C", false);
}

bool CLP2P::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (points.size() != 1) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points[0], point, snapped);
}

bool CLP2P::IsFinished() {
    if (points.size() == 3)
        return true;
    if (points.size() == 2) {
        points.append(points[1]);
        return true;
    }
    return false;
}

void CLP2P::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    results.append(GetDistance(points[0], points[1]));
}

QString CLP2P::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    const bool showLength = ShapeLabel::Switch("P2P/P", true);
    const bool showHalf = ShapeLabel::Switch("P2P/C", false);
    const int style = ShapeText::CurrentStyle();
    const QString v = ShapeText::ValueText(value, numbits);
    const QString h = ShapeText::ValueText(value * 0.5, numbits);
    if (showLength) {
        QString text = QString("%1%2\n").arg(ShapeText::StyledLine(style, name, labelNumber, "L", v), unit);
        if (showHalf) {
            const QString half = style == 3 ? h : QString("Half=%1").arg(h);
            text += QString("%1%2").arg(half, unit);
        }
        return text;
    }
    if (showHalf)
        return QString("%1%2\n").arg(ShapeText::StyledLine(style, name, labelNumber, "Half", h), unit);
    return QString();
}

QPoint CLP2P::midpoint(const QPoint& a, const QPoint& b) {
    return QPoint(int(std::lround((a.x() + b.x()) * 0.5)), int(std::lround((a.y() + b.y()) * 0.5)));
}

// Two 2000-px dashed guides across the rubber band, through its two ends.
void CLP2P::guideLines(const QPoint& p0, const QPoint& c, QPointF ends[4]) const {
    const QPointF u = NormalizeVector(QPointF(c - p0));
    const QPointF l = RotateLeft90(u) * 1000.0;
    const QPointF r = RotateRight90(u) * 1000.0;
    ends[0] = QPointF(p0) + l;
    ends[1] = QPointF(p0) + r;
    ends[2] = QPointF(c) + l;
    ends[3] = QPointF(c) + r;
}

int CLP2P::HitTest(const QPoint& view) {
    if (points.size() < 2)
        return 0;
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])) ? 3 : 0;
}

void CLP2P::sketchObj(ShapeSketch& s, bool withLabel) {
    const QPoint a = ImageToView(points[0]);
    const QPoint b = ImageToView(points[1]);
    s.dimensionLine(a, b);
    s.handle(a);
    s.handle(b);
    if (withLabel)
        s.label(*this, points[2], GetShowText(results[0] * GetUnitRate(), false));
    if (IsShowHalf())
        s.handle(midpoint(a, b));
}

void CLP2P::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLP2P::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 3 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLP2P::sketchCreating(ShapeSketch& s) {
    const QPoint c = ImageToView(curPoint);
    if (points.size() == 1) {
        const QPoint p0 = ImageToView(points[0]);
        if (!IsNearPoint(c, p0)) {
            s.dimensionLine(p0, c);
            QPointF ends[4];
            guideLines(p0, c, ends);
            s.dashLine(ends[0], ends[1]);
            s.dashLine(ends[2], ends[3]);
            s.label(*this, curPoint, GetShowText(GetDistance(points[0], curPoint) * GetUnitRate(), false), false);
            if (IsShowHalf())
                s.handle(midpoint(p0, c));
        }
        s.handle(p0);
    } else if (points.size() == 2) {
        const QPoint p0 = ImageToView(points[0]);
        const QPoint p1 = ImageToView(points[1]);
        s.dimensionLine(p0, p1);
        s.label(*this, curPoint, GetShowText(GetDistance(points[0], points[1]) * GetUnitRate(), false), false);
        s.handle(p0);
        s.handle(p1);
        if (IsShowHalf())
            s.handle(midpoint(p0, p1));
    }
}

void CLP2P::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLP2P::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLP2P::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLP2P::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

bool CLP2P::SetValue(int part, double value) {
    if (!ShapeEdit::Accepts(IsFinished(), results.size() >= GetValuesPerRow(), part == 0, value))
        return false;
    points[1] = ShapeEdit::ScaleAbout(points[0], points[1], value, results[0]);
    CalcResult();
    return true;
}

void CLP2P::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 3)
        return;
    out.append(FlipImageY(points[0]));
    out.append(FlipImageY(points[1]));
}

void CLP2P::SetLanguage(int lang) {
    language = lang;
    switch (mode) {
    case 0:
        name = ShapeText::Pick(lang, QStringLiteral("直线"), QStringLiteral("Line"), QStringLiteral("直線"));
        break;
    case 1:
        name = ShapeText::Pick(lang, QStringLiteral("熔深"), QStringLiteral("MD"), QStringLiteral("熔深"));
        break;
    default:
        name = ShapeText::Pick(lang, QStringLiteral("熔宽"), QStringLiteral("MW"), QStringLiteral("熔寬"));
        break;
    }
}
