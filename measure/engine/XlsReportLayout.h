#pragma once

#include "measure/engine/ReportContent.h"

#include <QDateTime>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <map>

// One XLSX report template: "./Template/List.ini" names the current one
// ("curKey"), "./Template/<name>.ini" holds where the table with its picture,
// the time stamp and the free texts go. Points are (column, row) from 0; an
// UP point is an absolute cell, a DOWN point is relative to the table's lower
// anchor; (-1, -1) means "not placed that way".
struct XlsReportTemplate {
    QString name = QStringLiteral("default");
    QPoint imagePos{0, 2}; // as stored; XlsReportLayout clamps it
    bool timeHave = true;
    QPoint timeUp{-1, -1};
    QPoint timeDown{-1, -1};
    QStringList texts;
    QList<QPoint> textUp;   // one per text
    QList<QPoint> textDown; // one per text

    // Missing files and keys give the defaults above, and so does a name
    // that ReportContent::IsTemplateName refuses.
    static XlsReportTemplate ReadCurrent();
    static XlsReportTemplate Read(const QString& name);
};

// The report worksheet laid out on a grid of texts (columns and rows from 0;
// grid row r is worksheet row r + 1): the title at the clamped imagePos
// (x, y), the picture below it, the header and one row per measurement, the
// time stamp and the template's texts. Positions are first clamped to what
// the template editor can make (its 50 x 50 grid; DOWN offsets within
// +-49), so a damaged template cannot push anything far out. The styled grid
// is 100 x 100 and grows only by the table's rows. Pure data; any thread.
class XlsReportLayout {
public:
    // Rows and columns a worksheet holds.
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    // The grid every report has at least, each cell written and styled.
    static constexpr int kBaseSize = 100;
    // Rows and columns of the template editor's grid.
    static constexpr int kTemplateGrid = 50;

    XlsReportLayout(const XlsReportTemplate& report, int language, const MeasureTable& table,
                    bool withPicture, const QDateTime& now);

    int x() const { return m_x; }
    int y() const { return m_y; }
    int headerRow() const { return m_y + (m_picture ? 19 : 2); }
    int firstDataRow() const { return headerRow() + 1; }
    // The row DOWN positions count from: n + y + 31, with or without picture.
    int lowerAnchorRow() const { return m_rowsOfData + m_y + 31; }
    // Rows and columns every cell of which is written with a style: the base
    // grid grown to the table.
    int styledRows() const { return m_styledRows; }
    int styledColumns() const { return m_styledColumns; }
    // One past the last row holding a text.
    int rowCount() const { return m_cells.empty() ? 0 : m_cells.rbegin()->first + 1; }
    QString cell(int row, int column) const;
    // Where the time stamp went; (-1, -1) for none.
    QPoint timeCell() const { return m_timeCell; }

    // The picture's corners as (column, row) of the cells whose top-left
    // corners it spans: the full table width for a wide (16:9) picture,
    // columns x + 1 .. x + 9 otherwise.
    QPoint pictureFrom(bool wide) const;
    QPoint pictureTo(bool wide) const;

    // Writes the workbook: one sheet "sheet", columns 0..x+10 of width 8,
    // the title bold and centred and merged over the table width, every
    // other cell left-aligned, and picture (a JPG file; empty: none)
    // anchored. True when the file was written; false, writing nothing, also
    // when the picture reads but cannot be stored in the temporary folder.
    bool Write(const QString& path, const QString& picture, bool wide) const;

private:
    void put(int row, int column, const QString& text);

    int m_x = 0;
    int m_y = 2;
    bool m_picture = false;
    int m_rowsOfData = 0;
    int m_styledRows = kBaseSize;
    int m_styledColumns = kBaseSize;
    QPoint m_timeCell{-1, -1};
    std::map<int, std::map<int, QString>> m_cells; // row -> column -> text
};
