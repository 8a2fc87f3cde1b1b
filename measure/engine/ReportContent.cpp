#include "measure/engine/ReportContent.h"

#include "platform/AppPaths.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSettings>

namespace {

const char* const kColumnNames[11][3] = {
    {"名称", "Name", "名稱"},     {"距离", "Lenght", "距離"},   {"周长", "Girth", "周長"},
    {"面积", "Area", "面積"},     {"角度", "Angle", "角度"},    {"弧度", "Radian", "弧度"},
    {"宽度", "Width", "寬度"},    {"高度", "Hight", "高度"},    {"半径", "Radius", "半徑"},
    {"直径", "Diameter", "直徑"}, {"单位", "Unit", "單位"},
};

int languageColumn(int language) {
    return language == 0 ? 0 : language == 1 ? 1 : 2;
}

QString wordTemplateFile(const QString& name) {
    return AppPaths::appFile("WordTemplate/" + name + ".ini");
}

} // namespace

WordReportTemplate WordReportTemplate::ReadCurrent() {
    return Read(ReportContent::CurrentTemplateName(wordTemplateFile("List")));
}

WordReportTemplate WordReportTemplate::Read(const QString& name) {
    WordReportTemplate t;
    if (!ReportContent::IsTemplateName(name)) {
        t.fields = QStringList() << "" << "" << "" << "" << "" << "" << "";
        return t;
    }
    t.name = name;
    const QSettings file(RegularFile::settingsName(wordTemplateFile(name)), QSettings::IniFormat);
    // The editor keys the fields by the characters U+0000..U+0006 themselves.
    for (int i = 0; i < 7; ++i)
        t.fields << file.value(QString(QChar(ushort(i)))).toString();
    t.logo = file.value("Logo").toString();
    return t;
}

namespace ReportContent {

QString ColumnName(int index, int language) {
    if (index < 0 || index > 10)
        return QString();
    return QString::fromUtf8(kColumnNames[index][languageColumn(language)]);
}

QString Title(int language) {
    static const char* const titles[3] = {"图 像 测 量 信 息", "Image Measurement Result",
                                          "圖 像 測 量 信 息"};
    return QString::fromUtf8(titles[languageColumn(language)]);
}

QString CurrentTemplateName(const QString& listFile) {
    const QSettings list(RegularFile::settingsName(listFile), QSettings::IniFormat);
    const QString name = list.value("curKey").toString();
    return IsTemplateName(name) ? name : QStringLiteral("default");
}

bool IsTemplateName(const QString& name) {
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return false;
    return true;
}

QStringList TemplateNames(const QString& listFile) {
    const QSettings list(RegularFile::settingsName(listFile), QSettings::IniFormat);
    const QStringList stored = list.value("strList", QStringList{QStringLiteral("default")}).toStringList();
    QStringList names;
    for (const QString& name : stored)
        if (IsTemplateName(name))
            names << name;
    return names;
}

QStringList EnglishXlsFields() {
    return {"Corporate:", "Product:", "Operator:", "Date:"};
}

QStringList EnglishWordFields() {
    return {"Tilte:", "Subtilte:", "Corporate:", "Product:", "Operator:", "Date:", "Summarize:"};
}

QByteArray JpegBase64(const QString& path, int& width, int& height) {
    width = height = 0;
    QFile file;
    if (!RegularFile::open(file, path))
        return QByteArray();
    const QByteArray bytes = file.readAll();
    QBuffer source;
    source.setData(bytes);
    QImageReader reader(&source);
    const QByteArray format = reader.format();
    const QImage image = reader.read();
    if (image.isNull())
        return QByteArray();
    width = image.width();
    height = image.height();
    // A JPG file goes in as it is: a second compression would only lose detail.
    if (format == "jpeg" || format == "jpg")
        return bytes.toBase64();
    QByteArray encoded;
    QBuffer out(&encoded);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "JPG", 100))
        return QByteArray();
    return encoded.toBase64();
}

QString BuildHtml(const WordReportTemplate& report, int language, const MeasureTable& table,
                  const QString& picture) {
    QStringList fields = report.fields;
    while (fields.size() < 7)
        fields << QString();
    if (report.name == QLatin1String("default") && language == 1)
        fields = EnglishWordFields();
    for (QString& f : fields)
        f = f.toHtmlEscaped();

    QString html;
    html += "<html>";
    html += "<head>";
    // Without it Word and browsers guess a local code page and the Chinese
    // texts come out garbled.
    html += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
    html += "<title>htmlDocx</title>";
    html += "</head>";
    html += "<body style=\"bgcolor:white\">";

    // The logo's paragraph is always there; without a readable logo it holds
    // no picture (an empty one shows as a broken-image box in Word).
    QByteArray png;
    const QString logoName = QFileInfo(report.logo).fileName(); // never a path out of the folder
    if (!logoName.isEmpty()) {
        const QImage logo(AppPaths::appFile("WordTemplate/" + logoName));
        if (!logo.isNull()) {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            logo.save(&buffer, "PNG");
        }
    }
    html += "<p> ";
    if (!png.isEmpty())
        html += "<img src=\"data:image/png;base64, " + QString::fromLatin1(png.toBase64()) +
                "\" alt=\"picture\" height=\"50\">";
    html += "</p>";

    html += "<h1 style=\"text-align:center\" >" + fields[0] + "</h1>";
    html += "<h2 style=\"text-align:center\" >" + fields[1] + "</h2>";
    html += "<br /><br />";
    const QString gap(14, QChar(0x3000));
    html += "<h4 >" + fields[2] + gap + fields[3] + "</h4>";
    html += "<h4 >" + fields[4] + gap + fields[5] + "</h4>";
    html += "<br /><br />";

    if (!picture.isEmpty()) {
        int w = 0, h = 0;
        const QByteArray data = JpegBase64(picture, w, h);
        if (w > 0 && !data.isEmpty())
            html += "<p> <img src=\"data:image/jpeg;base64, " + QString::fromLatin1(data) +
                    "\" alt=\"picture\" width=\"560\" height=\"" + QString::number(qint64(h) * 560 / w) +
                    "\"></p>";
    }

    html += "<table width=\"100%\" border=\"1\" cellspacing=\"1\" cellpadding=\"4\" align=\"center\">";
    html += "<tr>";
    for (int i = 0; i < 10; ++i)
        html += "<th>" + ColumnName(i, language) + "</th>";
    html += "</tr>";
    for (int r = 0; r < table.rowCount(); ++r) {
        html += "<tr>";
        html += "<th>" + table.names[r].toHtmlEscaped() + "</th>";
        for (int j = 0; j < 9; ++j)
            html += "<th>" + table.value(r, j).toHtmlEscaped() + "</th>";
        html += "</tr>";
    }
    html += "</table>";
    html += "<br /><br />";
    html += "<p>" + fields[6] + "</p>";
    html += "</body>";
    html += "</html>";
    return html;
}

} // namespace ReportContent
