#pragma once

#include "tests/export/zip/TestData.h"

// Report workbook parts as the measurement engine writes them: realistic
// input for the deflate tests and benchmark.
namespace TestData {

// A part ("xl/worksheets/sheet1.xml", "xl/sharedStrings.xml") of the report
// the program's own writer makes for `measured` rows of mixed shapes (lines,
// circles, rectangles, angles with their values in mm), read out of the
// workbook by unzip. Empty when it could not be written or read.
Bytes MakeReportPart(int measured, uint32_t seed, const char* part);

} // namespace TestData
