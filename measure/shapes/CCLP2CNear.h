#pragma once

#include "measure/shapes/CCLP2C.h"

// Point to the nearest point of a circle (kind 20): the distance from p3 to the rim
// point on p3's side of the centre; p3 on the centre is refused.
class CCLP2CNear : public CCLBaseObject {
public:
    CCLP2CNear();

    bool SnapPoint(const QPointF& point, QPointF& snapped) override { return CCLP2C::Snap(*this, point, snapped); }
    void CollectCreatingRects(QList<QRect>& rects) override { CCLP2C::Collect(*this, V, true, rects); }
    void CollectObjRects(QList<QRect>& rects) override { CCLP2C::Collect(*this, V, false, rects); }
    bool IsFinished() override { return CCLP2C::Finished(*this); }
    bool IsMovePointValid(const QPointF& point, int index) override {
        return CCLP2C::MoveValid(*this, V, point, index);
    }
    bool IsAddPointValid(const QPointF& point, int = 0) override { return CCLP2C::AddValid(*this, V, point); }
    void CalcResult() override { CCLP2C::Calc(*this, V); }
    QString GetShowText(double value, bool = false) override { return CCLP2C::Text(*this, V, value); }
    int HitTest(const QPoint& view) override { return CCLP2C::Hit(*this, V, view); }
    void DrawObj(QPainter* painter, bool withLabel) override { CCLP2C::Draw(*this, V, painter, withLabel); }
    void DrawCreating(QPainter* painter) override { CCLP2C::DrawNew(*this, V, painter); }
    void AddPoint(const QPointF& point) override { CCLP2C::Add(*this, point, true); }
    void MoveCurPoint(const QPointF& point) override { CCLP2C::Add(*this, point, false); }
    bool SetValue(int part, double value) override { return CCLP2C::Set(*this, V, part, value); }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    bool IsPointsEnough() override { return points.size() == 4; }
    void SetLanguage(int lang) override { CCLP2C::Name(*this, lang); }

private:
    static constexpr int V = CCLP2C::Nearest;
};
