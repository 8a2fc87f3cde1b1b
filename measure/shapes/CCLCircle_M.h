#pragma once

#include "measure/shapes/FigureShape.h"

// Multi-circle roundness (kind 12): groups of three outline clicks, one
// circle each, ended by the right-button release (FinishMulti). Results are
// R, 2 pi R and pi R^2 per circle; the label of the last circle adds the
// roundness RD = smallest / largest radius. Only the last circle is drawn.
class CCLCircle_M : public FigureShape {
public:
    CCLCircle_M();

    bool FinishMulti() override;
    int Reset() override;
    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    int HitTestLabel(const QPoint& view, int& index) override;
    int HitTestVertex(const QPoint& view, int& index) override;
    bool IsFinished() override;
    bool IsMovePointValid(const QPointF& point, int index) override;
    bool IsAddPointValid(const QPointF& point, int reserved = 0) override;
    void CalcResult() override;
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    bool SetValue(int part, double value) override { return SetFirstRadius(*this, part, value); }
    int GetValuesPerRow() override { return 3; }
    int GetResultColumn(int j) override { return CircleColumn(j); }
    int GetEditPart(int column, int rowInShape) override { return column == ColLength ? rowInShape : -1; }
    int GetObjType() override { return 6; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() >= 3 && points.size() % 3 == 0; }
    bool CalcMinMax(double&, double&, double&) override { return true; }
    void SetLanguage(int lang) override;

    // Smallest / largest radius; 1 while unfinished, 0 when every radius is 0.
    double Roundness() const;

    // Shared with the single circle: results R, 2 pi R, pi R^2 of the
    // circle through three points (empty for collinear points) and its
    // centre appended to the derived points.
    static void AppendCircle(CCLBaseObject& shape, const QPointF& a, const QPointF& b, const QPointF& c);
    // Columns of one circle row: R -> Radius, 2 pi R -> Girth, pi R^2 -> Area.
    static int CircleColumn(int j);
    // The radius of the first circle typed: p0, p1, p2 scaled about its
    // centre. Refused unless finished with a circle, part 0, value >= 0.0001
    // and an old radius above 0.001 (three points on one spot have no ray).
    static bool SetFirstRadius(CCLBaseObject& shape, int part, double value);
    // The R and D lines of a circle label ("Circle/R", "Circle/D"); the D line
    // of the multi-circle is followed by `tail`.
    static QString RadiusText(const CCLBaseObject& shape, double value, const QString& tail = QString());

    bool finished = false;
    int count = 0;

protected:
    void sketch(ShapeSketch& k, bool creating) override;
};
