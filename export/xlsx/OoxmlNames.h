#pragma once

// Namespaces and relationship types of the Office Open XML package.
namespace SimpleXlsx {
namespace ns {
constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kMarkupCompat = "http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr const char* kX14ac = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac";
constexpr const char* kX14 = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
constexpr const char* kPackageRels = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kContentTypes = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr const char* kCoreProps = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
constexpr const char* kDc = "http://purl.org/dc/elements/1.1/";
constexpr const char* kDcTerms = "http://purl.org/dc/terms/";
constexpr const char* kDcmiType = "http://purl.org/dc/dcmitype/";
constexpr const char* kXsi = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kExtendedProps = "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
constexpr const char* kVt = "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
constexpr const char* kDrawingMain = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr const char* kSpreadsheetDrawing = "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
} // namespace ns

namespace reltype {
constexpr const char* kWorksheet = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr const char* kCalcChain = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
constexpr const char* kSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
constexpr const char* kStyles = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
constexpr const char* kTheme = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
constexpr const char* kDrawing = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
constexpr const char* kImage = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
constexpr const char* kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
constexpr const char* kExtendedProps =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
constexpr const char* kCoreProps =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
} // namespace reltype
} // namespace SimpleXlsx
