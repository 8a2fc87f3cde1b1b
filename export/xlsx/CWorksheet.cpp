#include "export/xlsx/CWorksheet.h"

#include "export/xlsx/CDrawing.h"
#include "export/xlsx/CPathManager.h"
#include "export/xlsx/OoxmlNames.h"
#include "export/xlsx/SharedStringTable.h"
#include "export/xlsx/XmlWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace SimpleXlsx {

namespace {
// The largest sheet the format holds: rows 1..1,048,576, columns A..XFD.
constexpr uint32_t kMaxRows = 1048576;
constexpr uint32_t kMaxColumns = 16384;
// <dimension ref="..."/> with room for the widest range, "A1:XFD1048576".
constexpr size_t kDimensionRoom = 13;

std::string dimensionElement(const std::string& ref)
{
    return "<dimension ref=\"" + ref + "\"" + std::string(kDimensionRoom - ref.size(), ' ') + "/>";
}
} // namespace

CSheet::~CSheet() = default;

CWorksheet::CWorksheet(uint64_t sheetNumber, const std::vector<ColumnWidthRange>& widths, CDrawing& drawing,
                       CPathManager& paths)
    : m_number(sheetNumber), m_paths(paths), m_drawing(drawing)
{
    const std::string part = "/xl/worksheets/sheet" + std::to_string(m_number) + ".xml";
    m_path = m_paths.RegisterPart(part);
    m_writer.reset(new XmlWriter(m_path));
    XmlWriter& w = *m_writer;
    w.StartElement("worksheet")
        .WriteAttribute("xmlns", ns::kMain)
        .WriteAttribute("xmlns:r", ns::kRelationships)
        .WriteAttribute("xmlns:mc", ns::kMarkupCompat)
        .WriteAttribute("mc:Ignorable", "x14ac")
        .WriteAttribute("xmlns:x14ac", ns::kX14ac);
    w.WriteRaw(""); // ends the worksheet start tag, so that the offset is the element's
    m_dimensionOffset = w.Offset();
    w.WriteRaw(dimensionElement("A1").c_str());
    w.StartElement("sheetViews");
    w.StartEmptyElement("sheetView").WriteAttribute("tabSelected", 0u).WriteAttribute("workbookViewId", 0u).EndEmptyElement();
    w.EndElement();
    w.StartEmptyElement("sheetFormatPr")
        .WriteAttribute("defaultRowHeight", 15u)
        .WriteAttribute("x14ac:dyDescent", 0.25)
        .EndEmptyElement();
    if (!widths.empty()) {
        w.StartElement("cols");
        for (const ColumnWidthRange& r : widths) {
            w.StartEmptyElement("col")
                .WriteAttribute("min", static_cast<uint64_t>(r.first) + 1)
                .WriteAttribute("max", static_cast<uint64_t>(r.last) + 1)
                .WriteAttribute("width", static_cast<double>(r.width))
                .EndEmptyElement();
        }
        w.EndElement();
    }
    w.StartElement("sheetData");
}

CWorksheet::~CWorksheet() = default;

CWorksheet& CWorksheet::OpenRow(double height)
{
    if (!m_writer)
        return *this;
    if (m_currentRow >= kMaxRows) {
        // Past the last row: its cells are dropped and the save fails.
        CloseRow();
        m_overLimit = true;
        return *this;
    }
    CloseRow();
    ++m_currentRow;
    XmlWriter& w = *m_writer;
    w.StartElement("row").WriteAttribute("r", m_currentRow).WriteAttribute("x14ac:dyDescent", 0.25);
    if (height > 0)
        w.WriteAttribute("ht", height).WriteAttribute("customHeight", 1u);
    m_column = 0;
    m_rowOpen = true;
    return *this;
}

CWorksheet& CWorksheet::CloseRow()
{
    if (m_rowOpen && m_writer) {
        m_writer->EndElement();
        m_rowOpen = false;
    }
    return *this;
}

CWorksheet& CWorksheet::WriteTextCell(const char* text, uint64_t style)
{
    writeCell(text ? text : "", text ? std::strlen(text) : 0, style, true);
    return *this;
}

CWorksheet& CWorksheet::WriteTextCell(const std::string& text, uint64_t style)
{
    writeCell(text.data(), text.size(), style, true);
    return *this;
}

CWorksheet& CWorksheet::WriteStringCell(const std::string& text, uint64_t style)
{
    writeCell(text.data(), text.size(), style, false);
    return *this;
}

CWorksheet& CWorksheet::WriteTextCell(const std::wstring& text, uint64_t style)
{
    const std::string utf8 = ToAnsiString(text);
    writeCell(utf8.data(), utf8.size(), style, true);
    return *this;
}

void CWorksheet::writeCell(const char* text, size_t size, uint64_t style, bool formulas)
{
    if (!m_writer)
        return;
    // A cell outside a row would make the part invalid: give it a row.
    if (!m_rowOpen)
        OpenRow(0.0);
    if (!m_rowOpen)
        return;
    const uint32_t column = m_column++;
    if (size == 0 && style == 0)
        return;
    if (column >= kMaxColumns) {
        m_overLimit = true;
        return;
    }
    if (m_maxRow == 0) {
        m_minRow = m_maxRow = m_currentRow;
        m_minColumn = m_maxColumn = column;
    } else {
        m_minRow = std::min(m_minRow, m_currentRow);
        m_maxRow = std::max(m_maxRow, m_currentRow);
        m_minColumn = std::min(m_minColumn, column);
        m_maxColumn = std::max(m_maxColumn, column);
    }
    char ref[24];
    CellRefText(CellPos{m_currentRow, column}, ref);
    XmlWriter& w = *m_writer;
    w.StartElement("c").WriteAttribute("r", ref);
    if (style != 0)
        w.WriteAttribute("s", style);
    if (size == 0) {
        w.EndElement();
        return;
    }
    if (formulas && text[0] == '=') {
        w.StartElement("f").WriteText(text + 1, size - 1).EndElement();
        m_hasFormulas = true;
        m_formulaCells.emplace_back(ref);
    } else {
        const uint64_t index = m_sharedStrings ? m_sharedStrings->Index(std::string(text, size)) : 0;
        w.WriteAttribute("t", "s").WriteElement("v", index);
    }
    w.EndElement();
}

CWorksheet& CWorksheet::MergeRange(CellPos first, CellPos last)
{
    if (first.row == 0 || last.row == 0)
        return *this;
    m_mergedRanges.push_back(CellRefText(first) + ":" + CellRefText(last));
    return *this;
}

bool CWorksheet::WritePart()
{
    if (!m_writer)
        return m_writeOk;
    CloseRow(); // an open row would otherwise be closed in place of sheetData
    XmlWriter& w = *m_writer;
    w.EndElement(); // sheetData
    if (!m_mergedRanges.empty()) {
        w.StartElement("mergeCells").WriteAttribute("count", static_cast<uint64_t>(m_mergedRanges.size()));
        for (const std::string& r : m_mergedRanges) w.StartEmptyElement("mergeCell").WriteAttributeEscaped("ref", r).EndEmptyElement();
        w.EndElement();
    }
    w.StartEmptyElement("pageMargins")
        .WriteAttribute("left", 0.7)
        .WriteAttribute("right", 0.7)
        .WriteAttribute("top", 0.75)
        .WriteAttribute("bottom", 0.75)
        .WriteAttribute("header", 0.3)
        .WriteAttribute("footer", 0.3)
        .EndEmptyElement();
    w.StartEmptyElement("pageSetup").WriteAttribute("paperSize", 9u).WriteAttribute("orientation", "portrait").EndEmptyElement();
    const bool drawing = m_drawing.HasAnchors();
    if (drawing)
        w.StartEmptyElement("drawing").WriteAttribute("r:id", "rId1").EndEmptyElement();
    w.EndElement(); // worksheet
    m_writeOk = w.Close() && patchDimension();
    m_writer.reset();

    if (drawing) {
        const std::string part = "/xl/worksheets/_rels/sheet" + std::to_string(m_number) + ".xml.rels";
        XmlWriter rels(m_paths.RegisterPart(part));
        rels.StartElement("Relationships").WriteAttribute("xmlns", ns::kPackageRels);
        rels.StartEmptyElement("Relationship")
            .WriteAttribute("Id", "rId1")
            .WriteAttribute("Type", reltype::kDrawing)
            .WriteAttributeEscaped("Target", "../drawings/drawing" + std::to_string(m_drawing.Number()) + ".xml")
            .EndEmptyElement();
        if (!rels.Close())
            m_writeOk = false;
    }
    return m_writeOk && !m_overLimit;
}

bool CWorksheet::patchDimension()
{
    if (m_maxRow == 0)
        return true; // no cell: "A1" stands
    std::string ref = CellRefText(CellPos{m_minRow, m_minColumn});
    if (m_maxRow != m_minRow || m_maxColumn != m_minColumn)
        ref += ":" + CellRefText(CellPos{m_maxRow, m_maxColumn});
    const std::string element = dimensionElement(ref);
    std::FILE* f = std::fopen(m_path.c_str(), "r+b");
    if (!f)
        return false;
    bool ok = std::fseek(f, static_cast<long>(m_dimensionOffset), SEEK_SET) == 0
              && std::fwrite(element.data(), 1, element.size(), f) == element.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace SimpleXlsx
