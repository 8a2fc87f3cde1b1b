#pragma once

#include "export/xlsx/XlsxTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace SimpleXlsx {

class CDrawing;
class CPathManager;
class SharedStringTable;
class XmlWriter;

// Abstract base of the sheets of a workbook.
class CSheet {
public:
    virtual ~CSheet();
    virtual const DualString& GetTitle() const = 0;
};

// One sheet, streamed: construction creates its part file in the workbook's
// temporary folder and writes the head; rows and cells go straight into the
// file; WritePart (during the save) finishes it. Only the shared strings,
// the merged ranges and the formula cells stay in memory. Created and owned
// by CWorkbook::AddWorksheet; used by the workbook's thread.
//
// Calling order: rows, each OpenRow, WriteTextCell..., CloseRow; MergeRange
// any time before the save. Writing calls return the sheet for chaining.
class CWorksheet : public CSheet {
public:
    CWorksheet(uint64_t sheetNumber, const std::vector<ColumnWidthRange>& widths, CDrawing& drawing,
               CPathManager& paths);
    ~CWorksheet() override;
    CWorksheet(const CWorksheet&) = delete;
    CWorksheet& operator=(const CWorksheet&) = delete;

    const DualString& GetTitle() const override { return m_title; }

    // Closes an open row and opens the next; height in points, 0 = default.
    CWorksheet& OpenRow(double height = 0.0);
    // Writes one cell at the cursor and advances it. Text is UTF-8 (or
    // wide); empty text with style 0 writes nothing; text beginning with "="
    // is a formula; any other text is a shared string. style is an index
    // from StyleRegistry::Register (0 = default).
    CWorksheet& WriteTextCell(const char* text, uint64_t style = 0);
    CWorksheet& WriteTextCell(const std::string& text, uint64_t style = 0);
    CWorksheet& WriteTextCell(const std::wstring& text, uint64_t style = 0);
    // As WriteTextCell, but the text is always a string, "=" included.
    CWorksheet& WriteStringCell(const std::string& text, uint64_t style = 0);
    CWorksheet& CloseRow();
    // Records the range first:last (rows from 1); nothing if a row is 0.
    CWorksheet& MergeRange(CellPos first, CellPos last);

    // Finishes the sheet part and writes its relationships; false when a
    // part file could not be written in full, or when a row or cell past the
    // sheet's limits (row 1,048,576, column XFD) was dropped. Called once by
    // the save.
    bool WritePart();

    uint64_t SheetNumber() const { return m_number; }
    bool HasFormulas() const { return m_hasFormulas; }
    const std::vector<std::string>& FormulaCells() const { return m_formulaCells; }
    const std::vector<std::string>& MergedRanges() const { return m_mergedRanges; }
    uint32_t CurrentRow() const { return m_currentRow; }

    // Set by the workbook right after construction.
    void SetTitle(const DualString& title) { m_title = title; }
    void SetSharedStrings(SharedStringTable* table) { m_sharedStrings = table; }

private:
    void writeCell(const char* text, size_t size, uint64_t style, bool formulas);
    bool patchDimension();

    uint64_t m_number;
    std::unique_ptr<XmlWriter> m_writer;
    std::vector<std::string> m_formulaCells;
    SharedStringTable* m_sharedStrings = nullptr;
    std::vector<std::string> m_mergedRanges;
    DualString m_title = "Sheet 1";
    bool m_hasFormulas = false;
    uint32_t m_currentRow = 0;
    bool m_rowOpen = false;
    uint32_t m_column = 0;
    bool m_writeOk = true; // the part closed in full
    bool m_overLimit = false; // a row or cell fell outside the sheet
    // The dimension element is written with room for the widest reference
    // and patched with the written cells' range when the part is finished.
    std::string m_path;
    uint64_t m_dimensionOffset = 0;
    uint32_t m_minRow = 0, m_maxRow = 0, m_minColumn = 0, m_maxColumn = 0; // m_maxRow 0: no cell
    CPathManager& m_paths;
    CDrawing& m_drawing;
};

} // namespace SimpleXlsx
