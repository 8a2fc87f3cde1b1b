#include "export/xlsx/CWorksheet.h"

#include "export/xlsx/CDrawing.h"
#include "export/xlsx/CPathManager.h"
#include "export/xlsx/OoxmlNames.h"
#include "export/xlsx/SharedStringTable.h"
#include "export/xlsx/XmlWriter.h"

#include <cstring>

namespace SimpleXlsx {

namespace {
// The largest sheet the format holds: rows 1..1,048,576, columns A..XFD.
constexpr uint32_t kMaxRows = 1048576;
constexpr uint32_t kMaxColumns = 16384;
} // namespace

CSheet::~CSheet() = default;

CWorksheet::CWorksheet(uint64_t sheetNumber, const std::vector<ColumnWidthRange>& widths, CDrawing& drawing,
                       CPathManager& paths)
    : m_number(sheetNumber), m_paths(paths), m_drawing(drawing)
{
    const std::string part = "/xl/worksheets/sheet" + std::to_string(m_number) + ".xml";
    m_writer.reset(new XmlWriter(m_paths.RegisterPart(part)));
    XmlWriter& w = *m_writer;
    w.StartElement("worksheet")
        .WriteAttribute("xmlns", ns::kMain)
        .WriteAttribute("xmlns:r", ns::kRelationships)
        .WriteAttribute("xmlns:mc", ns::kMarkupCompat)
        .WriteAttribute("mc:Ignorable", "x14ac")
        .WriteAttribute("xmlns:x14ac", ns::kX14ac);
    w.StartEmptyElement("dimension").WriteAttribute("ref", "A1").EndEmptyElement();
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
    if (!m_writer || m_currentRow >= kMaxRows)
        return *this;
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
    writeCell(text ? text : "", text ? std::strlen(text) : 0, style);
    return *this;
}

CWorksheet& CWorksheet::WriteTextCell(const std::string& text, uint64_t style)
{
    writeCell(text.data(), text.size(), style);
    return *this;
}

CWorksheet& CWorksheet::WriteTextCell(const std::wstring& text, uint64_t style)
{
    const std::string utf8 = ToAnsiString(text);
    writeCell(utf8.data(), utf8.size(), style);
    return *this;
}

void CWorksheet::writeCell(const char* text, size_t size, uint64_t style)
{
    if (!m_writer)
        return;
    // A cell outside a row would make the part invalid: give it a row.
    if (!m_rowOpen)
        OpenRow(0.0);
    if (!m_rowOpen)
        return;
    const uint32_t column = m_column++;
    if (column >= kMaxColumns || (size == 0 && style == 0))
        return;
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
    if (text[0] == '=') {
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
    m_writeOk = w.Close();
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
    return m_writeOk;
}

} // namespace SimpleXlsx
