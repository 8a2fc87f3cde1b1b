#pragma once

// The sizes the measurement settings panel offers, as stored in
// "/INI/MeasureSet.ini" (group "MeasureSet"). The panel's boxes use them;
// the overlay clamps what it reads from the file to them.
namespace MeasureSetRanges {
struct Range {
    int low;
    int high;
};
constexpr Range PenSize{1, 3};
// Stored values: the box shows 15 and 16 for the stored 14 and 15.
constexpr Range FontSize{14, 128};
constexpr Range ChiSize{1, 3};
constexpr Range AutoEdge{5, 30};
} // namespace MeasureSetRanges
