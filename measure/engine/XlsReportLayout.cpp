#include "measure/engine/XlsReportLayout.h"

#include "export/xlsx/CWorkbook.h"
#include "export/xlsx/CWorksheet.h"
#include "platform/RegularFile.h"

#include <QSettings>
#include <QVariant>

#include <algorithm>

namespace {

QString templateFile(const QString& name) {
    return "./Template/" + name + ".ini";
}

// A point only when the key holds one: a damaged value must not become (0, 0).
QPoint readPoint(const QSettings& settings, const QString& key, const QPoint& fallback) {
    const QVariant v = settings.value(key);
    return v.type() == QVariant::Point ? v.toPoint() : fallback;
}

bool placed(const QPoint& p) {
    return p.x() >= 0 && p.y() >= 0;
}

} // namespace

XlsReportTemplate XlsReportTemplate::ReadCurrent() {
    return Read(ReportContent::CurrentTemplateName("./Template/List.ini"));
}

XlsReportTemplate XlsReportTemplate::Read(const QString& name) {
    XlsReportTemplate t;
    if (!ReportContent::IsTemplateName(name))
        return t; // a name that is no template name is never a path
    t.name = name;
    const QSettings file(RegularFile::settingsName(templateFile(name)), QSettings::IniFormat);
    t.imagePos = readPoint(file, "imagePos", QPoint(0, 2));
    t.timeHave = file.value("timePos_HAVE", true).toBool();
    t.timeUp = readPoint(file, "timePos_UP", QPoint(-1, -1));
    t.timeDown = readPoint(file, "timePos_DOWN", QPoint(-1, -1));
    t.texts = file.value("strList").toStringList();
    // Positions are read for as many texts as the English default may show too.
    const int count = std::max<int>(t.texts.size(), ReportContent::EnglishXlsFields().size());
    for (int i = 0; i < count; ++i) {
        t.textUp << readPoint(file, QString("pos_%1_UP").arg(i), QPoint(-1, -1));
        t.textDown << readPoint(file, QString("pos_%1_DOWN").arg(i), QPoint(-1, -1));
    }
    return t;
}

namespace {
// The template editor's grid holds cells 0 .. kTemplateGrid - 1 in both
// directions; a file that says more was damaged or edited by hand. Such a
// position is pulled to the grid's edge, so that no placement can stretch
// the report (and the cells styled around it) towards the sheet's limits.
int clampToGrid(int v) {
    return std::min(v, XlsReportLayout::kTemplateGrid - 1);
}
QPoint clampUp(const QPoint& up) {
    return placed(up) ? QPoint(clampToGrid(up.x()), clampToGrid(up.y())) : up;
}
// A DOWN offset is the difference of two grid cells.
QPoint clampDown(const QPoint& down) {
    const int g = XlsReportLayout::kTemplateGrid - 1;
    return QPoint(std::clamp(down.x(), -g, g), std::clamp(down.y(), -g, g));
}
} // namespace

XlsReportLayout::XlsReportLayout(const XlsReportTemplate& report, int language, const MeasureTable& table,
                                 bool withPicture, const QDateTime& now)
    : m_picture(withPicture), m_rowsOfData(table.rowCount()) {
    const int n = m_rowsOfData;
    const int h = withPicture ? 19 : 2;
    // Negative coordinates fall back to (0, 2); coordinates beyond what the
    // template editor makes are pulled to its grid.
    m_x = report.imagePos.x() < 0 ? 0 : clampToGrid(report.imagePos.x());
    m_y = report.imagePos.y() < 0 ? 2 : clampToGrid(report.imagePos.y());

    // Only the table grows the styled grid: one row per measurement.
    m_styledRows = std::min(kMaxRows, std::max(kBaseSize, m_y + h + n + 1));
    m_styledColumns = std::max(kBaseSize, m_x + 11);

    put(m_y, m_x, ReportContent::Title(language));
    const int header = headerRow();
    for (int c = 0; c <= 10; ++c)
        put(header, m_x + c, ReportContent::ColumnName(c, language));
    const QString unit = table.unit;
    for (int r = 0; r < n; ++r) {
        const int row = header + 1 + r;
        put(row, m_x, table.names[r]);
        for (int j = 0; j < 9; ++j)
            put(row, m_x + 1 + j, table.value(r, j));
        put(row, m_x + 10, unit);
    }

    // DOWN positions count from the lower anchor (column x, row n + y + 31).
    auto below = [&](const QPoint& down) {
        const QPoint d = clampDown(down);
        return QPoint(m_x + d.x(), lowerAnchorRow() + d.y());
    };
    if (report.timeHave) {
        QPoint at(-1, -1);
        if (placed(report.timeUp))
            at = clampUp(report.timeUp);
        else if (placed(report.timeDown))
            at = below(report.timeDown);
        if (placed(at) && at.x() < kMaxColumns && at.y() < kMaxRows) {
            put(at.y(), at.x(), now.toString("yyyy-MM-dd hh:mm:ss"));
            m_timeCell = at;
        }
    }

    // Texts last: they replace whatever their cells held.
    const QStringList texts = report.name == QLatin1String("default") && language == 1
                                  ? ReportContent::EnglishXlsFields()
                                  : report.texts;
    for (int i = 0; i < texts.size(); ++i) {
        const QPoint up = report.textUp.value(i, QPoint(-1, -1));
        const QPoint at = placed(up) ? clampUp(up) : below(report.textDown.value(i, QPoint(-1, -1)));
        if (placed(at))
            put(at.y(), at.x(), texts[i]);
    }
}

void XlsReportLayout::put(int row, int column, const QString& text) {
    if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
        return;
    if (text.isEmpty()) {
        auto it = m_cells.find(row);
        if (it != m_cells.end()) {
            it->second.erase(column);
            if (it->second.empty())
                m_cells.erase(it);
        }
        return;
    }
    m_cells[row][column] = text;
}

QString XlsReportLayout::cell(int row, int column) const {
    const auto r = m_cells.find(row);
    if (r == m_cells.end())
        return QString();
    const auto c = r->second.find(column);
    return c == r->second.end() ? QString() : c->second;
}

QPoint XlsReportLayout::pictureFrom(bool wide) const {
    return wide ? QPoint(m_x, m_y + 1) : QPoint(m_x + 1, m_y + 1);
}

QPoint XlsReportLayout::pictureTo(bool wide) const {
    return wide ? QPoint(m_x + 11, m_y + 18) : QPoint(m_x + 9, m_y + 18);
}

bool XlsReportLayout::Write(const QString& path, const QString& picture, bool wide) const {
    using namespace SimpleXlsx;
    CWorkbook book("workbook");
    CWorksheet& sheet = book.AddWorksheet("sheet", {{0, uint32_t(m_x + 10), 8.0f}});
    CellStyle titleStyle;
    titleStyle.font.attributes = FONT_BOLD;
    titleStyle.alignment.horizontal = ALIGN_H_CENTER;
    CellStyle bodyStyle;
    bodyStyle.font.attributes = 0;
    bodyStyle.alignment.horizontal = ALIGN_H_LEFT;
    const uint64_t title = book.styleRegistry.Register(titleStyle);
    const uint64_t body = book.styleRegistry.Register(bodyStyle);

    const int lastRow = std::max(m_styledRows, rowCount()) - 1;
    auto row = m_cells.begin();
    const std::map<int, QString> none;
    for (int r = 0; r <= lastRow; ++r) {
        const std::map<int, QString>& cells = (row != m_cells.end() && row->first == r) ? (row++)->second : none;
        const bool styledRow = r < m_styledRows;
        int lastColumn = styledRow ? m_styledColumns - 1 : -1;
        if (!cells.empty())
            lastColumn = std::max(lastColumn, cells.rbegin()->first);
        sheet.OpenRow(0.0);
        auto c = cells.begin();
        for (int col = 0; col <= lastColumn; ++col) {
            QString text;
            if (c != cells.end() && c->first == col)
                text = (c++)->second;
            uint64_t style = 0; // an empty cell outside the styled grid is not written
            if (r == m_y && col == m_x)
                style = title;
            else if ((styledRow && col < m_styledColumns) || !text.isEmpty())
                style = body;
            // Report texts are strings, also those that begin with "=".
            sheet.WriteStringCell(text.toStdString(), style);
        }
        sheet.CloseRow();
    }
    sheet.MergeRange(CellPos{uint32_t(m_y + 1), uint32_t(m_x)}, CellPos{uint32_t(m_y + 1), uint32_t(m_x + 10)});

    if (!picture.isEmpty()) {
        const QPoint from = pictureFrom(wide);
        const QPoint to = pictureTo(wide);
        // Without a readable picture the sheet simply has none; a picture
        // that reads but found no room in the temporary folder fails the
        // report rather than leave it out in silence.
        if (!book.InsertImage(sheet, picture.toStdString(),
                              ImageAnchor{uint32_t(from.x()), 0, uint32_t(from.y()), 0},
                              ImageAnchor{uint32_t(to.x()), 0, uint32_t(to.y()), 0}) &&
            book.MediaStoreFailed())
            return false;
    }
    return book.SaveAs(path.toStdString());
}
