#pragma once

#include "measure/shapes/CLC2C.h"

// Farthest points of two circles on their line of centres (kind 25); coinciding
// centres have no such points and show no result.
class CLC2CFar : public CCLBaseObject {
public:
    CLC2CFar();

    void CollectCreatingRects(QList<QRect>& rects) override { CLC2C::Collect(*this, V, true, rects); }
    void CollectObjRects(QList<QRect>& rects) override { CLC2C::Collect(*this, V, false, rects); }
    bool IsFinished() override { return CLC2C::Finished(*this); }
    bool IsMovePointValid(const QPointF& point, int index) override {
        return CLC2C::MoveValid(*this, V, point, index);
    }
    bool IsAddPointValid(const QPointF& point, int = 0) override { return CLC2C::AddValid(*this, V, point); }
    void CalcResult() override { CLC2C::Calc(*this, V); }
    QString GetShowText(double value, bool = false) override { return CLC2C::Text(*this, V, value); }
    int HitTest(const QPoint& view) override { return CLC2C::Hit(*this, V, view); }
    void DrawObj(QPainter* painter, bool withLabel) override { CLC2C::Draw(*this, V, painter, withLabel); }
    void DrawCreating(QPainter* painter) override { CLC2C::DrawNew(*this, V, painter); }
    void AddPoint(const QPointF& point) override { CLC2C::Add(*this, point, true); }
    void MoveCurPoint(const QPointF& point) override { CLC2C::Add(*this, point, false); }
    bool SetValue(int part, double value) override { return CLC2C::Set(*this, V, part, value); }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    bool IsPointsEnough() override { return points.size() == 6; }
    void SetLanguage(int lang) override { CLC2C::Name(*this, lang); }

private:
    static constexpr int V = CLC2C::Farthest;
};
