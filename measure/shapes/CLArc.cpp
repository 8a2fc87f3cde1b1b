#include "measure/shapes/CLArc.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ThreePointCircle.h"

#include <cmath>

namespace {
constexpr double kDegPerRad = 180.0 / M_PI;
}

CLArc::CLArc() {
    kind = KindArc;
    name = QStringLiteral("Arc");
}

bool CLArc::IsFinished() {
    return FinishWithAnchor(*this, 3);
}

bool CLArc::IsAddPointValid(const QPointF& point, int) {
    return points.size() > 2 || ThreePointCircle::CanAdd(points, 0, point);
}

bool CLArc::IsMovePointValid(const QPointF& point, int index) {
    return ThreePointCircle::KeepsCircle(points, 0, index, point);
}

void CLArc::CalcResult() {
    if (IsFinished())
        CalcArc();
}

void CLArc::CalcArc() {
    derivedPoints.clear();
    results.clear();
    const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], points[2]);
    if (!circle.valid)
        return;
    derivedPoints.append(circle.centre);
    R = GetDistance(points[0], circle.centre);
    D = 2.0 * R;
    A = GetArcAngleRad(points[0], points[1], points[2]);
    N = A * kDegPerRad;
    E = 360.0 - N;
    const double k = GetUnitRate();
    results << A << N << E << R * k << D * k;
}

int CLArc::GetResultColumn(int j) {
    switch (j) {
    case 0:
        return ColRadian;
    case 1:
        return ColAngle;
    case 3:
        return ColRadius;
    case 4:
        return ColDiameter;
    default:
        return -1;
    }
}

QString CLArc::GetShowText(double, bool) {
    const double k = GetUnitRate();
    const auto v = [&](double x) { return ShapeText::ValueText(x, numbits); };
    return QString("A%1=%2\n").arg(labelNumber).arg(v(A)) + QString("N%1=%2°\n").arg(labelNumber).arg(v(N)) +
           QString("E%1=%2°\n").arg(labelNumber).arg(v(E)) +
           QString("R%1=%2%3\n").arg(labelNumber).arg(v(R * k), unit) +
           QString("D%1=%2%3").arg(labelNumber).arg(v(D * k), unit);
}

// One line per switched-on value, in the label style's form.
QString CLArc::linesText(double a, double n, double e, double r, double d, bool breakAfterD) const {
    const int style = ShapeText::CurrentStyle();
    const auto line = [&](const char* key, const QString& tag, double value, const QString& suffix,
                          bool brk) {
        if (!ShapeLabel::Switch(QString("CLArc/") + key, true))
            return QString();
        const QString vt = ShapeText::ValueText(value, numbits);
        QString text;
        switch (style) {
        case 0:
            text = QString("%1%2%3=%4").arg(name, tag).arg(labelNumber).arg(vt);
            break;
        case 2:
            text = QString("%1=%2").arg(tag, vt);
            break;
        case 3:
            text = vt;
            break;
        default:
            text = QString("%1%2=%3").arg(tag).arg(labelNumber).arg(vt);
        }
        return text + suffix + (brk ? "\n" : "");
    };
    return line("A", "A", a, QString(), true) + line("N", "N", n, "°", true) + line("E", "E", e, "°", true) +
           line("R", "R", r, unit, true) + line("D", "D", d, unit, breakAfterD);
}

QString CLArc::BuildShowText() {
    if (results.size() != 5)
        return QString();
    return linesText(results[0], results[1], results[2], results[3], results[4], false);
}

QString CLArc::GetCreatingText() {
    if (points.size() < 2)
        return QString();
    const QPointF q = points.size() == 2 ? curPoint : points[2];
    const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], q);
    if (!circle.valid)
        return QString();
    const double r = GetDistance(points[0], circle.centre);
    const double a = GetOuterArcRad(ImageToView(points[0]), ImageToView(points[1]), ImageToView(q));
    const double n = a * kDegPerRad;
    const double k = GetUnitRate();
    return linesText(a, n, 360.0 - n, r * k, 2.0 * r * k, true);
}

void CLArc::CollectLabelRect(QList<QRect>& rects) {
    if (!points.isEmpty())
        rects.append(ShapeLabel::Box(*this, curPoint, BuildShowText()));
}

bool CLArc::SetValue(int part, double value) {
    if (part != 1 || !(value > 0.0001) || !IsFinished() || derivedPoints.isEmpty() || R <= 0.001)
        return false;
    const QPointF c = derivedPoints[0];
    for (int i = 0; i < 3; ++i)
        points[i] = ShapeEdit::ScaleAbout(c, points[i], value, R);
    CalcResult();
    return true;
}

int CLArc::HitTest(const QPoint& view) {
    if (points.size() < 3 || derivedPoints.isEmpty())
        return 0;
    const QPoint c = ImageToView(derivedPoints[0]);
    if (!HitTestRing(view, c, GetDistanceI(c, ImageToView(points[0]))))
        return 0;
    const QPointF m = ViewToImage(view);
    const double t1 = GetTriangleAngle(points[0], points[1], points[2]);
    const double t2 = GetTriangleAngle(points[0], m, points[2]);
    if (std::fabs(t2 - t1) >= 5.0)
        return 0;
    if (std::fabs(t2 - 90.0) >= 10.0 || std::fabs(t1 - 90.0) >= 10.0)
        return 3;
    // A near half circle: the chord through p1 and m tells the two sides apart.
    QPointF x;
    if (!GetLineIntersection(points[0], points[2], m, points[1], x))
        return 0;
    return GetDistance(derivedPoints[0], x) > GetDistance(derivedPoints[0], points[0]) ? 3 : 0;
}

void CLArc::sketch(ShapeSketch& k, bool creating) {
    ShapeSketch::HandlesLast handles(k);
    const int n = points.size();
    if (!creating) {
        if (n != 4 || derivedPoints.size() != 1)
            return;
        const QPoint c = ImageToView(derivedPoints[0]);
        const QPoint p0 = ImageToView(points[0]);
        const QPoint p1 = ImageToView(points[1]);
        const QPoint p2 = ImageToView(points[2]);
        handles.points << c;
        k.arcThrough(c, GetDistanceI(c, p0), p0, p1, p2);
        k.dashLine(p0, c);
        k.dashLine(p2, c);
        // Sized as the multi-line text it is, so that no line is clipped.
        k.label(*this, points[3], BuildShowText());
        handles.points << p0 << p1 << p2;
        return;
    }
    for (int i = 0; i < n && i < 3; ++i)
        handles.points << ImageToView(points[i]);
    if (n < 2)
        return;
    const QPoint m = ImageToView(curPoint);
    if (n == 2 && (IsNearPoint(m, handles.points[0]) || IsNearPoint(m, handles.points[1])))
        return;
    const QPointF q = n == 2 ? curPoint : points[2];
    const ThreePointCircle circle = ThreePointCircle::Through(points[0], points[1], q);
    if (!circle.valid)
        return;
    const QPoint c = ImageToView(circle.centre);
    const QPoint vq = ImageToView(q);
    handles.points << c;
    k.arcThrough(c, GetDistanceI(c, handles.points[0]), handles.points[0], handles.points[1], vq);
    k.dashLine(handles.points[0], c);
    k.dashLine(vq, c);
    k.label(*this, q, GetCreatingText(), false);
}

void CLArc::CollectKeyPoints(QList<QPointF>& out) {
    if (points.size() != 4 || derivedPoints.isEmpty())
        return;
    out << FlipImageY(derivedPoints[0]) << FlipImageY(points[0]) << FlipImageY(points[2]);
}

void CLArc::SetLanguage(int lang) {
    language = lang;
    name = lang == 1 ? QStringLiteral("Arc") : QStringLiteral("弧");
}
