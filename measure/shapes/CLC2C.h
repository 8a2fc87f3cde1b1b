#pragma once

#include "measure/engine/CCLBaseObject.h"

struct ShapeFigure;

// Circle to circle (kind 6): p0, p1, p2 on circle 1, p3, p4, p5 on circle
// 2, p6 the label anchor; the distance between the centres c1 and c2. The
// static members are the family's shared operations, also used by the
// nearest-point and farthest-point variants (CLC2CNear, CLC2CFar), which
// measure between the rim points on the line of centres; with coinciding
// centres there are none, and the variants show no result (NaN).
class CLC2C : public CCLBaseObject {
public:
    enum Variant { Centre = 0, Nearest = 1, Farthest = 2 };

    CLC2C();

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
    int GetObjType() override { return 9; }
    void CollectKeyPoints(QList<QPointF>& out) override;
    bool IsPointsEnough() override { return points.size() == 6; }
    void SetLanguage(int lang) override { Name(*this, lang); }

    // ---- the family's shared operations ----
    static bool Finished(CCLBaseObject& s);
    // Each circle's points must make a circle.
    static bool AddValid(CCLBaseObject& s, int variant, const QPointF& point);
    static bool MoveValid(CCLBaseObject& s, int variant, const QPointF& point, int index);
    static void Calc(CCLBaseObject& s, int variant);
    // Variants: the style-0 form whatever the label style; no value for NaN.
    static QString Text(CCLBaseObject& s, int variant, double value);
    static int Hit(CCLBaseObject& s, int variant, const QPoint& view);
    static void Draw(CCLBaseObject& s, int variant, QPainter* painter, bool withLabel);
    static void DrawNew(CCLBaseObject& s, int variant, QPainter* painter);
    static void Collect(CCLBaseObject& s, int variant, bool creating, QList<QRect>& rects);
    static void Add(CCLBaseObject& s, const QPointF& point, bool append);
    // Moves circle 2 along the line of centres. The farthest distance is
    // never below r1 + r2: such a value is refused.
    static bool Set(CCLBaseObject& s, int variant, int part, double value);
    static void Name(CCLBaseObject& s, int lang);

private:
    static ShapeFigure Figure(CCLBaseObject& s, int variant, bool creating);
};
