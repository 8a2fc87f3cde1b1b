#pragma once

#include "export/xlsx/XlsxTypes.h"

#include <cstdint>
#include <string>

namespace SimpleXlsx {

// Font attribute bits.
enum FontAttributes : uint32_t {
    FONT_BOLD = 1,
    FONT_ITALIC = 2,
    FONT_UNDERLINE = 4,
    FONT_STRIKE = 8,
    FONT_OUTLINE = 16,
    FONT_SHADOW = 32,
    FONT_CONDENSE = 64,
    FONT_EXTEND = 128,
};

// Horizontal and vertical alignment (0: not set).
enum AlignH : uint32_t { ALIGN_H_NONE = 0, ALIGN_H_LEFT = 1, ALIGN_H_CENTER = 2, ALIGN_H_RIGHT = 3 };
enum AlignV : uint32_t { ALIGN_V_NONE = 0, ALIGN_V_TOP = 1, ALIGN_V_CENTER = 2, ALIGN_V_BOTTOM = 3 };

struct FontRecord {
    DualString name = "Calibri";
    std::string colour; // ARGB hex, e.g. FF0000FF; used only when theme is false
    uint32_t size = 11;
    uint32_t attributes = 0;
    bool theme = true; // take the theme's text colour
    void Reset() { *this = FontRecord(); }
    bool operator==(const FontRecord& o) const
    {
        return size == o.size && name.narrow == o.name.narrow && theme == o.theme && colour == o.colour
               && attributes == o.attributes;
    }
};

// Patterns 0..18: none, solid, mediumGray, darkGray, lightGray, darkHorizontal,
// darkVertical, darkDown, darkUp, darkGrid, darkTrellis, lightHorizontal,
// lightVertical, lightDown, lightUp, lightGrid, lightTrellis, gray125, gray0625.
struct FillRecord {
    uint32_t pattern = 0;
    std::string fgColour;
    std::string bgColour;
    bool operator==(const FillRecord& o) const
    {
        return pattern == o.pattern && fgColour == o.fgColour && bgColour == o.bgColour;
    }
};

// Line styles 1..13: thin, medium, dashed, dotted, thick, double, hair,
// mediumDashed, dashDot, mediumDashDot, dashDotDot, mediumDashDotDot,
// slantDashDot; 0 no line.
struct BorderSide {
    uint32_t style = 0;
    std::string colour;
    bool operator==(const BorderSide& o) const { return style == o.style && colour == o.colour; }
};

struct BorderRecord {
    BorderSide left, right, bottom, top, diagonal;
    bool diagonalUp = false;
    bool diagonalDown = false;
    void Reset() { *this = BorderRecord(); }
    bool operator==(const BorderRecord& o) const
    {
        return diagonalUp == o.diagonalUp && diagonalDown == o.diagonalDown && left == o.left && right == o.right
               && bottom == o.bottom && top == o.top && diagonal == o.diagonal;
    }
};

// Ids below 164 are the built-in formats; 164 and up are the workbook's own.
struct NumFormatRecord {
    uint64_t id = 164;
    std::string formatCode; // empty: built from the two fields below
    bool thousands = false;
    uint64_t decimals = 2;
};

struct AlignmentRecord {
    uint32_t horizontal = ALIGN_H_NONE;
    uint32_t vertical = ALIGN_V_NONE;
    bool wrapText = false;
    uint32_t rotation = 0;
    bool IsSet() const { return horizontal != 0 || vertical != 0 || wrapText || rotation != 0; }
    bool operator==(const AlignmentRecord& o) const
    {
        return horizontal == o.horizontal && vertical == o.vertical && wrapText == o.wrapText && rotation == o.rotation;
    }
};

// A cell's look. Default-constructed: Calibri 11 in the theme colour, no
// fill, no border, number format 0.00, no alignment.
struct CellStyle {
    FontRecord font;
    FillRecord fill;
    BorderRecord border;
    NumFormatRecord numFormat;
    AlignmentRecord alignment;

    void Reset()
    {
        font.Reset();
        fill = FillRecord();
        border.Reset();
        alignment = AlignmentRecord();
    }
};

} // namespace SimpleXlsx
