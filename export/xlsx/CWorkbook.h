#pragma once

#include "export/xlsx/CPathManager.h"
#include "export/xlsx/SharedStringTable.h"
#include "export/xlsx/StyleRegistry.h"
#include "export/xlsx/XlsxTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace SimpleXlsx {

class CDrawing;
class CWorksheet;
class XmlWriter;

// A spreadsheet package under construction: worksheets and their drawings,
// the cell styles, the shared strings, the pictures and the author. Every
// part is written as a file into a private temporary folder (under
// QDir::tempPath()) and zipped by SaveAs. One workbook per export, built and
// saved on one thread; destruction removes whatever it left in the
// temporary folder.
//
// Typical use:
//   CWorkbook book("workbook");
//   CWorksheet& sheet = book.AddWorksheet("sheet", {{0, 20, 8.0f}});
//   CellStyle title; title.font.attributes = FONT_BOLD; title.alignment.horizontal = ALIGN_H_CENTER;
//   uint64_t t = book.styleRegistry.Register(title);
//   sheet.OpenRow().WriteTextCell("Report", t).CloseRow();
//   sheet.MergeRange({1, 0}, {1, 10});
//   book.InsertImage(sheet, "/path/pic.jpg", {2, 0, 1, 0}, {13, 0, 18, 0});
//   bool ok = book.SaveAs("/path/report.xlsx");
class CWorkbook {
public:
    // An empty author falls back to $USERNAME, then $USER, then "Unknown".
    explicit CWorkbook(const DualString& author = DualString());
    virtual ~CWorkbook();
    CWorkbook(const CWorkbook&) = delete;
    CWorkbook& operator=(const CWorkbook&) = delete;

    // A new sheet titled title made legal (SanitizeSheetTitle; empty gives
    // "Sheet 1") and unique: a title already used, ignoring case, gets " (2)",
    // " (3)", ... The workbook keeps owning it.
    CWorksheet& AddWorksheet(const DualString& title, const std::vector<ColumnWidthRange>& widths = {});

    // Places the picture at path (.gif .jpg .jpeg .png .tif .tiff, any
    // case) between the two corners, stretched over the cells between them.
    // False, with nothing added, for a missing or unreadable file, an
    // unknown type or a size that cannot be read, and for a picture that
    // reads but cannot be copied into the temporary folder (MediaStoreFailed).
    bool InsertImage(CWorksheet& sheet, const std::string& path, const ImageAnchor& from, const ImageAnchor& to);
    bool InsertImage(CWorksheet& sheet, const std::wstring& path, const ImageAnchor& from, const ImageAnchor& to);
    // True once a readable picture could not be copied into the temporary
    // folder (its disk full or gone): a package saved now would lack it.
    bool MediaStoreFailed() const { return m_mediaStoreFailed; }

    // Writes the package to path (replacing a file there, whose permissions
    // the new one keeps; the file at the end of a symbolic link there). True
    // when the whole package was written; on failure nothing is left at path
    // (an older file there is kept) nor in the temporary folder. Once only.
    bool SaveAs(const std::string& path);
    bool SaveAs(const std::wstring& path);

    // The cell-style registry; Register gives the style index for cells.
    StyleRegistry styleRegistry;

    const std::string& TempFolder() const { return m_tempFolder; }
    const std::vector<std::unique_ptr<MediaFile>>& Media() const { return m_media; }
    CPathManager& Paths() { return *m_paths; }

    // "Sheet/1:x?" -> "Sheet_1_x_": * / : ? [ \ ] become _, cut to 31
    // characters, leading and trailing apostrophes dropped; Excel's reserved
    // "History" (any case) gets a trailing "_".
    static std::string SanitizeSheetTitle(const std::string& title);

private:
    std::string uniqueSheetTitle(const std::string& legal) const;
    const MediaFile* storeMediaFile(const std::string& path);
    bool writePackage(const std::string& path);
    bool writeCoreProps();
    bool writeAppProps();
    bool writeContentTypes();
    void writeImageContentTypes(XmlWriter& w);
    bool writeCalcChain();
    bool writeTheme();
    bool writeSharedStrings();
    bool writeStyles();
    bool writeWorkbookPart();

    std::string m_tempFolder;
    bool m_adoptedTemp = false; // made by this workbook: removed with it
    int m_tempHold = -1;        // the temporary folder, held while this workbook lives
    std::vector<std::unique_ptr<CWorksheet>> m_sheets;
    std::vector<std::unique_ptr<CDrawing>> m_drawings;
    std::vector<std::unique_ptr<MediaFile>> m_media;
    SharedStringTable m_sharedStrings;
    DualString m_author;
    uint64_t m_nextSheetNumber = 1;
    std::unique_ptr<CPathManager> m_paths;
    bool m_saved = false;
    bool m_mediaStoreFailed = false;
};

} // namespace SimpleXlsx
