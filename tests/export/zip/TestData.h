#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

// Inputs for the deflate and zip tests and benchmarks. All generators are
// deterministic for a given seed.
namespace TestData {

using Bytes = std::vector<uint8_t>;

// The next number of a reproducible xorshift32 sequence.
uint32_t NextRandom(uint32_t& state);

Bytes MakeRandom(size_t size, uint32_t seed);
// English-like prose of words from a fixed vocabulary.
Bytes MakeText(size_t size, uint32_t seed);
// The sheet part of a report workbook: rows x cols of text cells that refer
// to shared strings, with styles, as the workbook writer lays it out.
Bytes MakeSheetXml(int rows, int cols, uint32_t seed);
// A shared strings part with count measurement-like texts.
Bytes MakeSharedStringsXml(int count, uint32_t seed);
// A styles part of a report workbook.
Bytes MakeStylesXml();
// A theme part: fixed DrawingML text of a few kilobytes.
Bytes MakeThemeXml();
// A measurement log of about size bytes: one element per measured shape
// (kind, name, unit, time, the points clicked, its values with four
// decimals), as an XML export of a long inspection would hold them.
Bytes MakeMeasurementLogXml(size_t size, uint32_t seed);
// A JPEG of a procedural specimen (grid, circles, noise), quality 90.
Bytes MakeJpeg(int width, int height, uint32_t seed);

// The deflate corpus: the parts of a typical report workbook, a picture,
// plain text and random bytes, each with its name.
struct NamedInput {
    std::string name;
    Bytes data;
};
std::vector<NamedInput> ReportCorpus();

Bytes FromString(const std::string& s);

// zlib raw inflate (windowBits -15). False on a corrupt stream or when the
// stream does not end exactly at the end of the data.
bool InflateRaw(const Bytes& compressed, Bytes& out);
// zlib raw deflate at the given level (memLevel 8, default strategy).
Bytes DeflateZlib(const Bytes& data, int level);

// Runs a program; returns its exit code (-1 when it could not run) and its
// standard output and error joined.
int RunProcess(const QString& program, const QStringList& args, QByteArray* output = nullptr);
// The source tree ($SEVRIN_SOURCE_DIR, or the tree this was built from).
QString SourceDir();
// The system Python that has the distribution's modules (openpyxl).
QString PythonProgram();
// LibreOffice's reading of a workbook's first sheet as CSV (UTF-8, every
// field quoted), through a private profile so that tests can run side by
// side. Empty QByteArray with *ok false when soffice is missing or fails.
QByteArray LibreOfficeCsv(const QString& xlsx, bool* ok);
// Writes bytes to a file; false on failure.
bool WriteFile(const QString& path, const Bytes& data);
Bytes ReadFile(const QString& path);

} // namespace TestData
