#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The measurement rows as both reports show them: one name per row and nine
// value texts per row (length, girth, area, angle, radian, width, height,
// radius, diameter; already formatted with the current decimals), and the
// unit of the current scale.
struct MeasureTable {
    QList<QString> names;
    QList<QString> values;
    QString unit;

    int rowCount() const { return names.size(); }
    // Value j (0..8) of row r; empty when the list is short.
    QString value(int row, int j) const { return values.value(row * 9 + j); }
};

// The current HTML (Word) report template: "WordTemplate/List.ini" under the
// application directory names it ("curKey"), "WordTemplate/<name>.ini" holds
// its seven fields under the keys U+0000..U+0006 and the logo's file name.
struct WordReportTemplate {
    QString name = QStringLiteral("default");
    QStringList fields; // always seven: title, subtitle, four captions, summary
    QString logo;       // file name inside WordTemplate/, empty for none

    static WordReportTemplate ReadCurrent();
    static WordReportTemplate Read(const QString& name);
};

// Texts of the reports by language index (0 simplified Chinese, 1 English,
// any other traditional Chinese) and the HTML report. QtGui only; any thread
// (the pictures are plain QImage files).
namespace ReportContent {
// Column names: 0 name, 1..9 the nine values, 10 the unit.
QString ColumnName(int index, int language);
// "Image Measurement Result" and its Chinese forms.
QString Title(int language);
// The current template named by "curKey" of a list file; "default" when
// the file or the key is missing or the name is not a template name.
QString CurrentTemplateName(const QString& listFile);
// Template names go into file paths: only letters, digits and "_" (the
// editors' names "default", "template_N" and renamed ones) are accepted.
bool IsTemplateName(const QString& name);
// "strList" of a list file (default: "default"), without the names that
// IsTemplateName refuses.
QStringList TemplateNames(const QString& listFile);
// The four field texts of the XLSX template "default" in English.
QStringList EnglishXlsFields();
// The seven field texts of the Word template "default" in English.
QStringList EnglishWordFields();

// The HTML page of the report, UTF-8 declared, every text escaped. picture:
// the JPG file to embed (empty: none), left out when it cannot be read; a
// logo that cannot be read gives an empty picture.
QString BuildHtml(const WordReportTemplate& report, int language, const MeasureTable& table,
                  const QString& picture);
// Base64 of a JPG file's bytes (re-encoded when the file holds another
// format); width and height of the picture out. Empty when unreadable.
QByteArray JpegBase64(const QString& path, int& width, int& height);
} // namespace ReportContent
