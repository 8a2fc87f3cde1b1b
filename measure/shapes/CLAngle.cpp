#include "measure/shapes/CLAngle.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <QLineF>

#include <cmath>

CLAngle::CLAngle() {
    kind = KindAngle;
    name = QStringLiteral("A");
}

void CLAngle::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("角"), QStringLiteral("Angle"), QStringLiteral("角"));
}

bool CLAngle::SnapPoint(const QPointF& point, QPointF& snapped) {
    if (points.size() != 1 && points.size() != 3) {
        snapped = point;
        return false;
    }
    return ShapeSnap::ToReference(points.last(), point, snapped);
}

bool CLAngle::IsFinished() {
    return ShapeCreate::FinishFixed(points, 4);
}

bool CLAngle::IsMovePointValid(const QPointF& point, int index) {
    if (index < 0 || index > 4 || points.size() < 4)
        return false;
    if (index == 4)
        return true;
    QPointF q[4] = {points[0], points[1], points[2], points[3]};
    q[index] = point;
    QPointF x;
    return GetLineIntersection(q[0], q[1], q[2], q[3], x);
}

bool CLAngle::IsAddPointValid(const QPointF& point, int) {
    if (points.size() != 3)
        return true;
    QPointF x;
    return GetLineIntersection(points[0], points[1], points[2], point, x);
}

double CLAngle::AngleBetween(const QPointF& d1, const QPointF& d2) {
    double a = GetVectorAngle(d2, d1) * (180.0 / M_PI);
    a = std::fmod(a + 3600.0, 360.0);
    return a <= 180.0 ? a : 360.0 - a;
}

void CLAngle::CalcResult() {
    if (!IsFinished())
        return;
    derivedPoints.clear();
    results.clear();
    QPointF x;
    if (!GetLineIntersection(points[0], points[1], points[2], points[3], x))
        return;
    derivedPoints << x << points[0] << points[2];
    // The click directions themselves: an intersection far behind a short
    // segment must not turn the directions round.
    results.append(AngleBetween(points[1] - points[0], points[3] - points[2]));
}

QString CLAngle::GetAngleText(double angle) {
    const QString a = ShapeText::ValueText(angle, numbits);
    const QString b = ShapeText::ValueText(180.0 - angle, numbits);
    const QString deg = QStringLiteral("°");
    switch (ShapeText::CurrentStyle()) {
    case 0:
        return QString("%1%2:A=%3%4\nB=%5%6").arg(name).arg(labelNumber).arg(a, deg, b, deg);
    case 1:
        return QString("%1:A=%2%3\nB=%4%5").arg(labelNumber).arg(a, deg, b, deg);
    case 2:
        return QString("A=%1%2\nB=%3%4").arg(a, deg, b, deg);
    case 3:
        return QString("%1%2\n%3%4").arg(a, deg, b, deg);
    default:
        return QString("A%1=%2%3\nB%4=%5%6").arg(labelNumber).arg(a, deg).arg(labelNumber).arg(b, deg);
    }
}

QString CLAngle::GetShowText(double value, bool force) {
    if (GetFamilyCounter() < 0 && !force)
        return QString();
    return QString("%1:A=%2%3").arg(name, ShapeText::ValueText(value, numbits), QStringLiteral("°"));
}

int CLAngle::HitTestLabel(const QPoint& view, int& index) {
    if (points.isEmpty() || results.isEmpty())
        return 0;
    index = points.size() - 1;
    return ShapeLabel::Box(*this, points.last(), GetAngleText(results[0])).contains(view) ? 2 : 0;
}

int CLAngle::HitTest(const QPoint& view) {
    if (points.size() < 4 || derivedPoints.size() != 3)
        return 0;
    const QPoint x = ImageToView(derivedPoints[0]);
    const QPoint p[4] = {ImageToView(points[0]), ImageToView(points[1]), ImageToView(points[2]),
                         ImageToView(points[3])};
    return HitTestLine(view, p[0], p[1]) || HitTestLine(view, p[2], p[3]) || HitTestLine(view, x, p[0]) ||
                   HitTestLine(view, x, p[2])
               ? 3
               : 0;
}

void CLAngle::sketchMark(ShapeSketch& s, const QPoint& x, const QPoint& a0, const QPoint& a1, const QPoint& b0,
                         const QPoint& b1) {
    double a = GetVectorAngle(QPointF(b1 - b0), QPointF(a1 - a0)) * (180.0 / M_PI);
    a = std::fmod(a + 3600.0, 360.0);
    if (a > 180.0)
        a -= 360.0;
    const double start = QLineF(a0, a1).angle();
    s.pie(x, 10, int(start * 16.0), int(a * 16.0));
}

void CLAngle::sketchObj(ShapeSketch& s, bool withLabel) {
    const QPoint x = ImageToView(derivedPoints[0]);
    const QPoint p[4] = {ImageToView(points[0]), ImageToView(points[1]), ImageToView(points[2]),
                         ImageToView(points[3])};
    s.line(p[0], p[1]);
    s.line(p[2], p[3]);
    s.line(x, p[0]);
    s.line(x, p[2]);
    if (withLabel)
        s.label(*this, points[4], GetAngleText(results[0]));
    sketchMark(s, x, p[0], p[1], p[2], p[3]);
    for (const QPoint& v : p)
        s.handle(v);
}

void CLAngle::DrawObj(QPainter* painter, bool withLabel) {
    if (!IsFinished() || derivedPoints.size() != 3 || results.size() != GetValuesPerRow())
        return;
    ShapeSketch s(painter);
    sketchObj(s, withLabel);
}

void CLAngle::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 5 || derivedPoints.size() != 3 || results.isEmpty())
        return;
    ShapeSketch s(rects, penWidth);
    sketchObj(s, true);
}

void CLAngle::sketchCreating(ShapeSketch& s) {
    const int n = points.size();
    if (n < 1 || n > 3)
        return;
    const QPoint c = ImageToView(curPoint);
    QPoint p[3];
    for (int i = 0; i < n; ++i)
        p[i] = ImageToView(points[i]);
    if (n == 1 && !IsNearPoint(c, p[0])) {
        s.line(p[0], c);
        s.extendedLine(p[0], c);
    }
    if (n >= 2) {
        s.line(p[0], p[1]);
        s.extendedLine(p[0], p[1]);
    }
    if (n == 3 && !IsNearPoint(c, p[2])) {
        s.line(p[2], c);
        s.extendedLine(p[2], c);
        QPointF xi;
        if (GetLineIntersection(points[0], points[1], points[2], curPoint, xi)) {
            const QPoint x = ImageToView(xi);
            s.line(x, p[0]);
            s.line(x, p[2]);
            sketchMark(s, x, p[0], p[1], p[2], c);
            // The label shows the smaller angle between the rubber lines.
            s.label(*this, curPoint, GetAngleText(AngleBetween(QPointF(p[1] - p[0]), QPointF(c - p[2]))), false);
        }
    }
    for (int i = 0; i < n; ++i)
        s.handle(p[i]);
}

void CLAngle::DrawCreating(QPainter* painter) {
    ShapeSketch s(painter);
    sketchCreating(s);
}

void CLAngle::CollectCreatingRects(QList<QRect>& rects) {
    ShapeSketch s(rects, penWidth);
    sketchCreating(s);
}

void CLAngle::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLAngle::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}

void CLAngle::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 5)
        return;
    for (int i = 0; i < 4; ++i)
        out.append(FlipImageY(points[i]));
}
