#pragma once

#include "export/xlsx/CellStyle.h"

#include <cstdint>
#include <vector>

namespace SimpleXlsx {

// Turns cell styles into style indexes, keeping one copy of each distinct
// font, fill, border and number format and one cell format per distinct
// combination. Indexes never change once returned. A member of CWorkbook,
// which writes it as "/xl/styles.xml"; used by the workbook's thread.
class StyleRegistry {
public:
    struct StyleTuple {
        uint64_t border = 0;
        uint64_t font = 0;
        uint64_t fill = 0;
        uint64_t numFormatId = 0;
        bool operator==(const StyleTuple& o) const
        {
            return border == o.border && font == o.font && fill == o.fill && numFormatId == o.numFormatId;
        }
    };

    StyleRegistry() = default;

    // Returns the style index for cells. A custom number format (id 164 or
    // more) gets the next free custom id, which is written back into style.
    uint64_t Register(CellStyle& style);

    const std::vector<BorderRecord>& Borders() const { return m_borders; }
    const std::vector<FontRecord>& Fonts() const { return m_fonts; }
    const std::vector<FillRecord>& Fills() const { return m_fills; }
    const std::vector<NumFormatRecord>& NumFormats() const { return m_numFormats; }
    const std::vector<StyleTuple>& Styles() const { return m_styles; }
    const std::vector<AlignmentRecord>& Alignments() const { return m_alignments; }

private:
    uint64_t m_nextCustomId = 164;
    std::vector<BorderRecord> m_borders;
    std::vector<FontRecord> m_fonts;
    std::vector<FillRecord> m_fills;
    std::vector<NumFormatRecord> m_numFormats;
    std::vector<StyleTuple> m_styles;
    std::vector<AlignmentRecord> m_alignments;
};

// The format code of a number format: its own code, or "#,##" when grouped,
// "0", and "." with decimals zeros ("0.00" for the default record).
std::string BuildNumberFormatCode(const NumFormatRecord& record);

// Names used in the styles part; "none" / nullptr outside the tables.
const char* FillPatternName(uint32_t pattern);
const char* BorderStyleName(uint32_t style);

} // namespace SimpleXlsx
