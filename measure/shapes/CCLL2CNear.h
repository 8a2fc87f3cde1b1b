#pragma once

#include "measure/shapes/CCLL2C.h"

// Line to the nearest point of a circle (kind 22), along the perpendicular from
// the centre; a line through the centre is refused.
class CCLL2CNear : public CCLBaseObject {
public:
    CCLL2CNear();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override { return CCLL2C::Snap(*this, point, snapped); }
    void CollectCreatingRects(QList<QRect>& rects) override { CCLL2C::Collect(*this, V, true, rects); }
    void CollectObjRects(QList<QRect>& rects) override { CCLL2C::Collect(*this, V, false, rects); }
    bool IsFinished() override { return CCLL2C::Finished(*this); }
    bool IsMovePointValid(const QPointF& point, int index) override {
        return CCLL2C::MoveValid(*this, V, point, index);
    }
    bool IsAddPointValid(const QPointF& point, int = 0) override { return CCLL2C::AddValid(*this, V, point); }
    void CalcResult() override { CCLL2C::Calc(*this, V); }
    QString GetShowText(double value, bool = false) override { return CCLL2C::Text(*this, V, value); }
    int HitTest(const QPoint& view) override { return CCLL2C::Hit(*this, V, view); }
    void DrawObj(QPainter* painter, bool withLabel) override { CCLL2C::Draw(*this, V, painter, withLabel); }
    void DrawCreating(QPainter* painter) override { CCLL2C::DrawNew(*this, V, painter); }
    void AddPoint(const QPointF& point) override { CCLL2C::Add(*this, point, true); }
    void MoveCurPoint(const QPointF& point) override { CCLL2C::Add(*this, point, false); }
    bool SetValue(int part, double value) override { return CCLL2C::Set(*this, V, part, value); }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    bool IsPointsEnough() override { return points.size() == 5; }
    void SetLanguage(int lang) override { CCLL2C::Name(*this, lang); }

private:
    static constexpr int V = CCLL2C::Nearest;
};
