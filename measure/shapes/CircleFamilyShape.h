#pragma once

#include "measure/shapes/FigureShape.h"

namespace CircleFamily {
// What a family's shape measures to: the centre, or the nearest or the
// farthest rim point.
enum Variant { Centre = 0, Nearest = 1, Farthest = 2 };
// The variant's point of the circle (c, r) on the line through c and
// `from`: the nearest on from's side, the farthest opposite; (-1, -1) when
// `from` is on c.
QPointF RimPoint(int variant, const QPointF& from, const QPointF& c, double r);
} // namespace CircleFamily

// One variant of a family of shapes measuring to circles (point, line or
// circle to circle): each operation forwards to the family's shared one.
// Family supplies kPoints (points clicked) and the static Snap,
// AddValid, MoveValid, Calc, Text, Hit, Figure, Set and Name, each taking
// the shape and, where the variants differ, the variant. One value per row,
// the length column, edited as part 0.
template <class Family, int Variant> class CircleFamilyShape : public FigureShape {
public:
    bool SnapPoint(const QPointF& point, QPointF& snapped) override {
        return Family::Snap(*this, point, snapped);
    }
    bool IsFinished() override { return FinishWithAnchor(*this, Family::kPoints); }
    bool IsMovePointValid(const QPointF& point, int index) override {
        return Family::MoveValid(*this, Variant, point, index);
    }
    bool IsAddPointValid(const QPointF& point, int = 0) override {
        return Family::AddValid(*this, Variant, point);
    }
    void CalcResult() override { Family::Calc(*this, Variant); }
    QString GetShowText(double value, bool = false) override { return Family::Text(*this, Variant, value); }
    int HitTest(const QPoint& view) override { return Family::Hit(*this, Variant, view); }
    bool SetValue(int part, double value) override { return Family::Set(*this, Variant, part, value); }
    int GetValuesPerRow() override { return 1; }
    int GetResultColumn(int j) override { return j == 0 ? ColLength : -1; }
    int GetEditPart(int column, int) override { return column == ColLength ? 0 : -1; }
    bool IsPointsEnough() override { return points.size() == Family::kPoints; }
    void SetLanguage(int lang) override { Family::Name(*this, lang); }

protected:
    void sketch(ShapeSketch& k, bool creating) override { Family::Figure(*this, k, Variant, creating); }
};
