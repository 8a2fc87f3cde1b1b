#include "measure/engine/GeometryHelpers.h"

#include <QRect>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = M_PI;
}

double GetDistance(const QPointF& a, const QPointF& b) {
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    return std::sqrt(dx * dx + dy * dy);
}

int GetDistanceI(const QPoint& a, const QPoint& b) {
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    return int(std::sqrt(dx * dx + dy * dy));
}

double GetVectorLength(const QPointF& v) {
    return std::sqrt(v.x() * v.x() + v.y() * v.y());
}

double GetVectorLength2(const QPointF& a, const QPointF& b) {
    return GetVectorLength(b - a);
}

QPointF NormalizeVector(const QPointF& v) {
    const double sq = v.x() * v.x() + v.y() * v.y();
    if (sq == 1.0)
        return v;
    const double len = std::sqrt(sq);
    if (len < 2e-37)
        return QPointF(0, 0);
    return QPointF(v.x() / len, v.y() / len);
}

double GetVectorAngle(const QPointF& a, const QPointF& b) {
    const QPointF u = NormalizeVector(a);
    const QPointF w = NormalizeVector(b);
    const double cross = u.x() * w.y() - u.y() * w.x();
    const double dot = u.x() * w.x() + u.y() * w.y();
    const double r = std::atan2(cross, dot);
    return std::fabs(r) < 1.1920928955078125e-7 ? 0.0 : r;
}

QPointF RotateLeft90(const QPointF& v) {
    return QPointF(-v.y(), v.x());
}
QPointF RotateRight90(const QPointF& v) {
    return QPointF(v.y(), -v.x());
}

QPointF ProjectVector(const QPointF& a, const QPointF& b) {
    const double bb = b.x() * b.x() + b.y() * b.y();
    if (bb == 0.0)
        return QPointF(0, 0);
    const double ab = a.x() * b.x() + a.y() * b.y();
    return b * (ab / bb);
}

QPointF GetCrossPoint(const QPointF& p1, const QPointF& p2, const QPointF& p3, const QPointF& p4) {
    const double d = (p1.x() - p2.x()) * (p3.y() - p4.y()) - (p1.y() - p2.y()) * (p3.x() - p4.x());
    if (d == 0.0)
        return p2;
    const double a = p1.x() * p2.y() - p1.y() * p2.x();
    const double b = p3.x() * p4.y() - p3.y() * p4.x();
    return QPointF((a * (p3.x() - p4.x()) - (p1.x() - p2.x()) * b) / d,
                   (a * (p3.y() - p4.y()) - (p1.y() - p2.y()) * b) / d);
}

bool GetLineIntersection(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                         QPointF& out) {
    out = QPointF(0, 0);
    const float dx1 = float(p1.x()) - float(p0.x());
    const float dx2 = float(p3.x()) - float(p2.x());
    const bool vertical1 = std::fabs(dx1) < 0.001f;
    const bool vertical2 = std::fabs(dx2) < 0.001f;
    if (vertical1 && vertical2)
        return false;
    if (!vertical1 && !vertical2) {
        const float k1 = (float(p1.y()) - float(p0.y())) / dx1;
        const float k2 = (float(p3.y()) - float(p2.y())) / dx2;
        if (std::fabs(k1 - k2) < 0.001f)
            return false;
        const float b1 = float(p1.y()) - k1 * float(p1.x());
        const float b2 = float(p3.y()) - k2 * float(p3.x());
        out = QPointF((b1 - b2) / (k2 - k1), (b1 * k2 - b2 * k1) / (k2 - k1));
        return true;
    }
    if (vertical2) {
        const float k1 = (float(p1.y()) - float(p0.y())) / dx1;
        out = QPointF(p3.x(), k1 * (float(p3.x()) - float(p0.x())) + float(p0.y()));
        return true;
    }
    const float k2 = (float(p3.y()) - float(p2.y())) / dx2;
    out = QPointF(p1.x(), k2 * (float(p1.x()) - float(p2.x())) + float(p2.y()));
    return true;
}

QPointF GetFootPoint(const QPointF& p, const QPointF& a, const QPointF& b) {
    if (std::fabs(a.x() - b.x()) < 0.0001)
        return QPointF(a.x(), p.y());
    if (std::fabs(a.y() - b.y()) < 0.0001)
        return QPointF(p.x(), a.y());
    const QPointF d = b - a;
    const double t = ((p.x() - a.x()) * d.x() + (p.y() - a.y()) * d.y()) / (d.x() * d.x() + d.y() * d.y());
    return a + d * t;
}

bool IsSameSide(const QPointF& a, const QPointF& b, const QPointF& p) {
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    if (dx * dx + dy * dy <= 25.0)
        return false;
    if (std::fabs(dx) < 0.001)
        return (p.y() - a.y()) * (p.y() - b.y()) > 0;
    return (p.x() - a.x()) * (p.x() - b.x()) > 0;
}

void GetAngleArmEnds(const QPointF& a0, const QPointF& a1, const QPointF& b0, const QPointF& b1,
                     const QPointF& x, QPointF& endA, QPointF& endB) {
    endA = GetDistance(a0, x) > GetDistance(a1, x) ? a0 : a1;
    endB = GetDistance(b0, x) > GetDistance(b1, x) ? b0 : b1;
}

bool AreCollinear(const QPointF& a, const QPointF& b, const QPointF& c) {
    const double ux = a.x() - c.x(), uy = a.y() - c.y();
    const double vx = b.x() - c.x(), vy = b.y() - c.y();
    const double cross = std::fabs(uy * vx - ux * vy);
    const double longest =
        std::max({std::hypot(ux, uy), std::hypot(vx, vy), std::hypot(a.x() - b.x(), a.y() - b.y())});
    return !(cross >= 0.001 * std::max(1.0, longest)); // NaN counts as collinear
}

QPointF GetCircleCenter(const QPointF& a, const QPointF& b, const QPointF& c, bool* ok) {
    const double ux = a.x() - c.x(), uy = a.y() - c.y();
    const double vx = b.x() - c.x(), vy = b.y() - c.y();
    if (AreCollinear(a, b, c)) {
        if (ok)
            *ok = false;
        return c;
    }
    const double uu = ux * ux + uy * uy;
    const double vv = vx * vx + vy * vy;
    const double d = 2.0 * (ux * vy - uy * vx);
    if (ok)
        *ok = true;
    return QPointF(c.x() + (vy * uu - uy * vv) / d, c.y() + (ux * vv - vx * uu) / d);
}

QPoint GetCircleCenterI(const QPoint& a, const QPoint& b, const QPoint& c) {
    return GetCircleCenter(QPointF(a), QPointF(b), QPointF(c)).toPoint();
}

void GetNearFarPoints(const QPointF& q, const QPointF& centre, double radius, QPointF& nearPoint,
                      QPointF& farPoint) {
    const double dx = q.x() - centre.x();
    const double dy = q.y() - centre.y();
    if (std::sqrt(dx * dx + dy * dy) < 0.0001 || radius < 0.0001) {
        nearPoint = farPoint = QPointF(-1, -1);
        return;
    }
    if (std::fabs(dx) < 0.0001) {
        const double s = dy > 0 ? 1.0 : -1.0;
        nearPoint = QPointF(centre.x(), centre.y() + s * radius);
        farPoint = QPointF(centre.x(), centre.y() - s * radius);
        return;
    }
    if (std::fabs(dy) < 0.0001) {
        const double s = dx > 0 ? 1.0 : -1.0;
        nearPoint = QPointF(centre.x() + s * radius, centre.y());
        farPoint = QPointF(centre.x() - s * radius, centre.y());
        return;
    }
    const double len = std::sqrt(dx * dx + dy * dy);
    const QPointF u(dx / len * radius, dy / len * radius);
    nearPoint = centre + u;
    farPoint = centre - u;
}

static double triangleAngle(double ax, double ay, double bx, double by, double cx, double cy) {
    const double ab = (ax - bx) * (ax - bx) + (ay - by) * (ay - by);
    const double bc = (cx - bx) * (cx - bx) + (cy - by) * (cy - by);
    const double ac = (ax - cx) * (ax - cx) + (ay - cy) * (ay - cy);
    if (std::fabs(ab) <= 0.0001 || std::fabs(bc) <= 0.0001 || std::fabs(ac) <= 0.0001)
        return 0.0;
    double cosv = (ab + bc - ac) / (2.0 * std::sqrt(ab) * std::sqrt(bc));
    cosv = std::clamp(cosv, -1.0, 1.0);
    return std::acos(cosv) * 180.0 / kPi;
}

double GetTriangleAngle(const QPointF& a, const QPointF& b, const QPointF& c) {
    return triangleAngle(a.x(), a.y(), b.x(), b.y(), c.x(), c.y());
}

double GetTriangleAngleI(const QPoint& a, const QPoint& b, const QPoint& c) {
    return triangleAngle(a.x(), a.y(), b.x(), b.y(), c.x(), c.y());
}

float GetSegmentAngleI(const QPoint& a, const QPoint& b) {
    if (a.y() == b.y())
        return b.x() >= a.x() ? 0.0f : 180.0f;
    float angle = float(GetTriangleAngleI(b, a, a + QPoint(100, 0)));
    if (b.y() > a.y())
        angle = -angle;
    return angle;
}

float GetLineAngleI(const QPoint& a, const QPoint& b) {
    const int dx = b.x() - a.x();
    const int dy = b.y() - a.y();
    if (dx == 0)
        return dy >= 0 ? 90.0f : 270.0f;
    if (dy == 0)
        return dx > 0 ? 0.0f : 180.0f;
    double deg = std::atan(double(dy) / double(dx)) * 180.0 / kPi;
    if (dx < 0)
        deg += 180.0;
    else if (dy < 0)
        deg += 360.0;
    return float(deg);
}

double GetArcAngleRad(const QPointF& p0, const QPointF& p1, const QPointF& p2) {
    return (360.0 - 2.0 * GetTriangleAngle(p0, p1, p2)) * kPi / 180.0;
}

double GetOuterArcRad(double angleDegrees) {
    return (360.0 - 2.0 * angleDegrees) * kPi / 180.0;
}

double GetOuterArcRad(const QPoint& p0, const QPoint& p1, const QPoint& p2) {
    return GetOuterArcRad(GetTriangleAngleI(p0, p1, p2));
}

bool IsNearPoint(const QPoint& a, const QPoint& b) {
    return std::abs(a.x() - b.x()) <= 5 && std::abs(a.y() - b.y()) <= 5;
}

bool IsNearPointF(const QPointF& a, const QPointF& b) {
    return std::fabs(a.x() - b.x()) <= 5.0 && std::fabs(a.y() - b.y()) <= 5.0;
}

bool HitTestRing(const QPoint& p, const QPoint& centre, double radius) {
    const double d = GetDistance(QPointF(p), QPointF(centre));
    return d > radius - 10.0 && d < radius + 10.0;
}

bool HitTestLine(const QPoint& p, const QPoint& a, const QPoint& b) {
    const QRect box = QRect(a, b).normalized().adjusted(-10, -10, 10, 10);
    if (!box.contains(p))
        return false;
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double len2 = dx * dx + dy * dy;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((p.x() - a.x()) * dx + (p.y() - a.y()) * dy) / len2, 0.0, 1.0);
    const double ex = a.x() + t * dx - p.x();
    const double ey = a.y() + t * dy - p.y();
    return ex * ex + ey * ey < 100.0;
}

bool IsInCircle(const QPointF& a, const QPointF& b, double radius) {
    const float dx = float(a.x() - b.x());
    const float dy = float(a.y() - b.y());
    return dx * dx + dy * dy <= radius * radius;
}
