#pragma once

#include "measure/engine/CCLBaseObject.h"

struct ShapeFigure;

// Line to circle (kind 5): p0, p1, p2 on the circle, p3 and p4 on the line,
// p5 the label anchor; the distance from the centre c to the foot f of the
// perpendicular on the line. The static members are the family's shared
// operations, also used by the nearest-point and farthest-point variants
// (CCLL2CNear, CCLL2CFar), which measure from f to the rim point q on the
// line through c and f and never take a line through c. The line's end is
// refused while its foot would leave the image.
class CCLL2C : public CCLBaseObject {
public:
    enum Variant { Centre = 0, Nearest = 1, Farthest = 2 };

    CCLL2C();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override { return Snap(*this, point, snapped); }
    void CollectCreatingRects(QList<QRect>& rects) override { Collect(*this, Centre, true, rects); }
    void CollectObjRects(QList<QRect>& rects) override { Collect(*this, Centre, false, rects); }
    bool IsFinished() override { return Finished(*this); }
    bool IsMovePointValid(const QPointF& point, int index) override {
        return MoveValid(*this, Centre, point, index);
    }
    bool IsAddPointValid(const QPointF& point, int = 0) override { return AddValid(*this, Centre, point); }
    void CalcResult() override { Calc(*this, Centre); }
    QString GetShowText(double value, bool = false) override { return Text(*this, Centre, value); }
    int HitTest(const QPoint& view) override { return Hit(*this, Centre, view); }
    void DrawObj(QPainter* painter, bool withLabel) override { Draw(*this, Centre, painter, withLabel); }
    void DrawCreating(QPainter* painter) override { DrawNew(*this, Centre, painter); }
    void AddPoint(const QPointF& point) override { Add(*this, point, true); }
    void MoveCurPoint(const QPointF& point) override { Add(*this, point, false); }
    bool SetValue(int part, double value) override { return Set(*this, Centre, part, value); }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    int GetObjType() override { return 7; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 5; }
    void SetLanguage(int lang) override { Name(*this, lang); }

    // ---- the family's shared operations ----
    static bool Finished(CCLBaseObject& s);
    static bool Snap(CCLBaseObject& s, const QPointF& point, QPointF& snapped);
    // Circle points must make a circle; the variants refuse a line through c.
    static bool AddValid(CCLBaseObject& s, int variant, const QPointF& point);
    static bool MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index);
    static void Calc(CCLBaseObject& s, int variant);
    // Variants: the style-0 form whatever the label style.
    static QString Text(CCLBaseObject& s, int variant, double value);
    static int Hit(CCLBaseObject& s, int variant, const QPoint& view);
    static void Draw(CCLBaseObject& s, int variant, QPainter* painter, bool withLabel);
    static void DrawNew(CCLBaseObject& s, int variant, QPainter* painter);
    static void Collect(CCLBaseObject& s, int variant, bool creating, QList<QRect>& rects);
    static void Add(CCLBaseObject& s, const QPointF& point, bool append);
    // Moves the line parallel to itself. The farthest distance is never below
    // r: such a value is refused.
    static bool Set(CCLBaseObject& s, int variant, int part, double value);
    static void Name(CCLBaseObject& s, int lang);

private:
    static ShapeFigure Figure(CCLBaseObject& s, int variant, bool creating);
};
