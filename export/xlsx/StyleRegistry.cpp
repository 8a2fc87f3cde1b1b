#include "export/xlsx/StyleRegistry.h"

namespace SimpleXlsx {

namespace {
template <typename T>
uint64_t findOrAppend(std::vector<T>& list, const T& item)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == item)
            return i;
    list.push_back(item);
    return list.size() - 1;
}
} // namespace

uint64_t StyleRegistry::Register(CellStyle& style)
{
    StyleTuple t;
    t.border = findOrAppend(m_borders, style.border);
    t.font = findOrAppend(m_fonts, style.font);
    t.fill = findOrAppend(m_fills, style.fill);

    const NumFormatRecord& nf = style.numFormat;
    bool found = false;
    // A built-in format is the same format only under the same id; a custom
    // one is the same when its code would come out the same.
    const bool builtIn = nf.id < 164;
    for (const NumFormatRecord& r : m_numFormats) {
        const bool same = builtIn ? r.id == nf.id
                                  : r.id >= 164 && r.formatCode == nf.formatCode && r.thousands == nf.thousands
                                        && r.decimals == nf.decimals;
        if (same) {
            style.numFormat.id = r.id;
            found = true;
            break;
        }
    }
    if (!found) {
        if (style.numFormat.id >= 164)
            style.numFormat.id = m_nextCustomId++;
        m_numFormats.push_back(style.numFormat);
    }
    t.numFormatId = style.numFormat.id;

    for (size_t i = 0; i < m_styles.size(); ++i)
        if (m_styles[i] == t && m_alignments[i] == style.alignment)
            return i;
    m_styles.push_back(t);
    m_alignments.push_back(style.alignment);
    return m_styles.size() - 1;
}

std::string BuildNumberFormatCode(const NumFormatRecord& record)
{
    if (!record.formatCode.empty())
        return record.formatCode;
    std::string code = record.thousands ? "#,##0" : "0";
    if (record.decimals > 0)
        code += "." + std::string(static_cast<size_t>(record.decimals), '0');
    return code;
}

const char* FillPatternName(uint32_t pattern)
{
    static const char* const names[] = {"none",         "solid",          "mediumGray",    "darkGray",
                                        "lightGray",    "darkHorizontal", "darkVertical",  "darkDown",
                                        "darkUp",       "darkGrid",       "darkTrellis",   "lightHorizontal",
                                        "lightVertical", "lightDown",     "lightUp",       "lightGrid",
                                        "lightTrellis", "gray125",        "gray0625"};
    // A pattern without a name would leave the attribute empty and the
    // part invalid: write no pattern instead.
    return pattern < sizeof names / sizeof names[0] ? names[pattern] : "none";
}

const char* BorderStyleName(uint32_t style)
{
    static const char* const names[] = {nullptr,      "thin",          "medium",     "dashed",
                                        "dotted",     "thick",         "double",     "hair",
                                        "mediumDashed", "dashDot",     "mediumDashDot", "dashDotDot",
                                        "mediumDashDotDot", "slantDashDot"};
    return style < sizeof names / sizeof names[0] ? names[style] : nullptr;
}

} // namespace SimpleXlsx
