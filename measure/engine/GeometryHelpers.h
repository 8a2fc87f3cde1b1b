#pragma once

#include <QPoint>
#include <QPointF>

// Plane geometry on image points (y up) and hit tests in view pixels.
// Angles are degrees unless the name says radians. Pure functions.

double GetDistance(const QPointF& a, const QPointF& b); // computed in double
int GetDistanceI(const QPoint& a, const QPoint& b);    // truncated
double GetVectorLength(const QPointF& v);
double GetVectorLength2(const QPointF& a, const QPointF& b);
// Unit vector; a vector of squared length exactly 1 comes back unchanged,
// one shorter than 2e-37 gives (0, 0).
QPointF NormalizeVector(const QPointF& v);
// Signed angle in radians from a to b; |result| < 1.1920928955078125e-7 is 0.
double GetVectorAngle(const QPointF& a, const QPointF& b);
QPointF RotateLeft90(const QPointF& v);  // (x, y) -> (-y, x)
QPointF RotateRight90(const QPointF& v); // (x, y) -> (y, -x)
// b * (a.b) / (b.b); (0, 0) for a zero b.
QPointF ProjectVector(const QPointF& a, const QPointF& b);
// Intersection of lines p1p2 and p3p4 by determinants; parallel lines give p2.
QPointF GetCrossPoint(const QPointF& p1, const QPointF& p2, const QPointF& p3, const QPointF& p4);
// Intersection of lines p0p1 and p2p3 in single precision; false (and (0, 0))
// for parallel lines (slopes within 0.001) or two vertical ones.
bool GetLineIntersection(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                         QPointF& out);
// Foot of the perpendicular from p onto the line ab.
QPointF GetFootPoint(const QPointF& p, const QPointF& a, const QPointF& b);
// False when a and b are 5 px or less apart; else whether p's offsets from a
// and from b have the same sign (in y for a near-vertical ab, else in x).
bool IsSameSide(const QPointF& a, const QPointF& b, const QPointF& p);
// For each segment the end farther from their intersection x.
void GetAngleArmEnds(const QPointF& a0, const QPointF& a1, const QPointF& b0, const QPointF& b1,
                     const QPointF& x, QPointF& endA, QPointF& endB);
// The one collinearity rule of every three-point figure (circles, arcs,
// point-to-line calibration): the doubled triangle area |(a-c) x (b-c)| is
// below 0.001 x max(1, longest side), i.e. one point lies within 0.001 px of
// the line through the other two (and tiny triangles below 0.001 px^2).
bool AreCollinear(const QPointF& a, const QPointF& b, const QPointF& c);
// Centre of the circle through three points, computed relative to c; for
// collinear points (AreCollinear) c itself, with *ok false.
QPointF GetCircleCenter(const QPointF& a, const QPointF& b, const QPointF& c, bool* ok = nullptr);
QPoint GetCircleCenterI(const QPoint& a, const QPoint& b, const QPoint& c);
// The two circle points on the line through the centre and q; both (-1, -1)
// when q is on the centre or the radius is below 0.0001.
void GetNearFarPoints(const QPointF& q, const QPointF& centre, double radius, QPointF& nearPoint,
                      QPointF& farPoint);
// Angle at b between b->a and b->c in degrees; 0 for a degenerate side.
double GetTriangleAngle(const QPointF& a, const QPointF& b, const QPointF& c);
double GetTriangleAngleI(const QPoint& a, const QPoint& b, const QPoint& c);
// Direction of a view segment against the horizontal, negated when the end
// lies below the start.
float GetSegmentAngleI(const QPoint& a, const QPoint& b);
// Direction of a view segment, 0..360 clockwise on screen (the angle that
// QPainter::rotate takes to lay the x axis along the segment).
float GetLineAngleI(const QPoint& a, const QPoint& b);
// Central angle in radians of the arc p0 -> p2 through p1.
double GetArcAngleRad(const QPointF& p0, const QPointF& p1, const QPointF& p2);
double GetOuterArcRad(double angleDegrees);
double GetOuterArcRad(const QPoint& p0, const QPoint& p1, const QPoint& p2);

// Hit tests in view pixels.
bool IsNearPoint(const QPoint& a, const QPoint& b);    // within 5 in x and y
bool IsNearPointF(const QPointF& a, const QPointF& b); // within 5.0 in x and y
// Distance from the centre strictly within 10 px of the radius.
bool HitTestRing(const QPoint& p, const QPoint& centre, double radius);
// Inside the segment's box grown by 10 px and closer than 10 px to it.
bool HitTestLine(const QPoint& p, const QPoint& a, const QPoint& b);
bool IsInCircle(const QPointF& a, const QPointF& b, double radius);
