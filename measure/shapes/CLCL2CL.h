#pragma once

#include "measure/engine/CCLBaseObject.h"

class ShapeSketch;

// Distance between two band centre lines (kind 27). p0-p1 give the
// direction, p2 the far edge of the first band (centre line A midway between
// p0-p1 and its parallel through p2), p3 and p4 the edges of the second band
// (centre line B). All lines are parallel to p0-p1; the result is the
// distance X-G between the centre lines at the projection G of p4 on B.
// Derived points A0, A1, B0, B1 (drawn extents), X, G; p5 the label anchor.
class CLCL2CL : public CCLBaseObject {
public:
    CLCL2CL();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override;
    void CollectCreatingRects(QList<QRect>& rects) override;
    void CollectObjRects(QList<QRect>& rects) override;
    bool IsFinished() override;
    void CalcResult() override;
    // Always "L<number>:L=<value><unit>", whatever the label style.
    QString GetShowText(double value, bool force = false) override;
    int HitTest(const QPoint& view) override;
    void DrawObj(QPainter* painter, bool withLabel) override;
    void DrawCreating(QPainter* painter) override;
    void AddPoint(const QPointF& point) override;
    void MoveCurPoint(const QPointF& point) override;
    bool SetValue(int part, double value) override;
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    int GetObjType() override { return 9; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 5; }
    void SetLanguage(int lang) override;

    struct CentreLine {
        QPointF a, b;       // two points of the line
        QPointF from, to;   // drawn extent
        bool first = false; // the extent's first choice was taken
    };
    // Centre line A of the band between p0-p1 and the parallel through q.
    static CentreLine BandA(const QPointF& p0, const QPointF& p1, const QPointF& q);
    // Centre line B of the band between the parallels (half direction h)
    // through e0 and e1; its extent ends near the projection of e1.
    static CentreLine BandB(const QPointF& h, const QPointF& e0, const QPointF& e1);

private:
    QPointF halfDirection() const;
    void sketchObj(ShapeSketch& s, bool withLabel);
    void sketchCreating(ShapeSketch& s);
    void parallel(ShapeSketch& s, const QPointF& through);
};
