#include "TestData.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <zlib.h>

namespace TestData {

uint32_t NextRandom(uint32_t& state)
{
    // xorshift32: fast and reproducible on every platform.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

namespace {

const char* const kWords[] = {
    "the", "measurement", "of", "length", "circle", "radius", "angle", "between", "two", "lines",
    "was", "taken", "with", "calibrated", "scale", "microscope", "camera", "specimen", "edge",
    "point", "area", "perimeter", "and", "result", "in", "millimetres", "is", "shown", "table",
    "average", "maximum", "minimum", "report", "export", "image", "focus", "stacking", "stitching",
    "operator", "inspection", "sample", "a", "to", "for", "each", "value", "row", "column"};

void append(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
}
} // namespace

Bytes FromString(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes MakeRandom(size_t size, uint32_t seed)
{
    Bytes b(size);
    uint32_t s = seed ? seed : 1;
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(NextRandom(s) >> 11);
    return b;
}

Bytes MakeText(size_t size, uint32_t seed)
{
    Bytes b;
    b.reserve(size + 32);
    uint32_t s = seed ? seed : 1;
    int wordsInSentence = 0;
    while (b.size() < size) {
        std::string w = kWords[NextRandom(s) % (sizeof kWords / sizeof kWords[0])];
        if (wordsInSentence == 0)
            w[0] = static_cast<char>(w[0] - 'a' + 'A');
        append(b, w);
        if (++wordsInSentence > 6 + static_cast<int>(NextRandom(s) % 10)) {
            append(b, NextRandom(s) % 5 == 0 ? ".\n" : ". ");
            wordsInSentence = 0;
        } else {
            append(b, NextRandom(s) % 9 == 0 ? ", " : " ");
        }
    }
    b.resize(size);
    return b;
}

static std::string columnName(int c)
{
    std::string s(1, static_cast<char>('A' + c % 26));
    for (int q = c / 26; q != 0; q = (q - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (q - 1) % 26));
    return s;
}

Bytes MakeSheetXml(int rows, int cols, uint32_t seed)
{
    Bytes b;
    uint32_t s = seed ? seed : 1;
    append(b, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
              "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
              "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\" "
              "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\"><dimension ref=\"A1\"/>"
              "<sheetViews><sheetView tabSelected=\"0\" workbookViewId=\"0\"/></sheetViews>"
              "<sheetFormatPr defaultRowHeight=\"15\" x14ac:dyDescent=\"0.25\"/><cols><col min=\"1\" max=\"");
    append(b, std::to_string(cols) + "\" width=\"8\"/></cols><sheetData>");
    int shared = 0;
    for (int r = 1; r <= rows; ++r) {
        append(b, "<row r=\"" + std::to_string(r) + "\" x14ac:dyDescent=\"0.25\">");
        for (int c = 0; c < cols; ++c) {
            int style = r == 1 ? 2 : 3;
            // Values repeat often (units, shape names) but not always.
            int index = NextRandom(s) % 4 == 0 ? shared++ : static_cast<int>(NextRandom(s) % (shared + 1));
            append(b, "<c r=\"" + columnName(c) + std::to_string(r) + "\" s=\"" + std::to_string(style)
                          + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>");
        }
        append(b, "</row>");
    }
    append(b, "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:K1\"/></mergeCells>"
              "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
              "<pageSetup paperSize=\"9\" orientation=\"portrait\"/><drawing r:id=\"rId1\"/></worksheet>");
    return b;
}

Bytes MakeSharedStringsXml(int count, uint32_t seed)
{
    Bytes b;
    uint32_t s = seed ? seed : 1;
    append(b, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\""
              "http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"");
    append(b, std::to_string(count) + "\" uniqueCount=\"" + std::to_string(count) + "\">");
    static const char* const names[] = {"Line", "Circle", "Angle", "Rectangle", "Arc", "Point", "Distance"};
    for (int i = 0; i < count; ++i) {
        char text[64];
        uint32_t v = NextRandom(s);
        std::snprintf(text, sizeof text, "%s %d: %u.%03u mm", names[v % 7], i % 40 + 1, v % 97, (v >> 8) % 1000);
        append(b, std::string("<si><t>") + text + "</t></si>");
    }
    append(b, "</sst>");
    return b;
}

Bytes MakeStylesXml()
{
    return FromString(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<styleSheet xmlns=\""
        "http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:mc=\""
        "http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\" xmlns:x14ac=\""
        "http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" "
        "formatCode=\"0.00\"/></numFmts><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/><charset "
        "val=\"204\"/><color theme=\"1\"/></font><font><b/><sz val=\"11\"/><name val=\"Calibri\"/><charset "
        "val=\"204\"/><color theme=\"1\"/></font></fonts><fills count=\"2\"><fill><patternFill patternType=\"none\"/>"
        "</fill><fill><patternFill patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border><left/><right/>"
        "<top/><bottom/><diagonal/></border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" "
        "fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs count=\"4\"><xf numFmtId=\"164\" fontId=\"0\" "
        "fillId=\"0\" borderId=\"0\" applyNumberFormat=\"1\"/><xf numFmtId=\"164\" fontId=\"0\" fillId=\"1\" "
        "borderId=\"0\" applyFill=\"1\" applyNumberFormat=\"1\"/><xf numFmtId=\"164\" fontId=\"1\" fillId=\"0\" "
        "borderId=\"0\" applyFont=\"1\" applyNumberFormat=\"1\" applyAlignment=\"1\"><alignment "
        "horizontal=\"center\"/></xf><xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
        "applyNumberFormat=\"1\" applyAlignment=\"1\"><alignment horizontal=\"left\"/></xf></cellXfs><cellStyles "
        "count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles><dxfs count=\"0\"/>"
        "<tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium2\" defaultPivotStyle=\"PivotStyleLight16\"/>"
        "<extLst><ext uri=\"{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}\" xmlns:x14=\""
        "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\"><x14:slicerStyles "
        "defaultSlicerStyle=\"SlicerStyleLight1\"/></ext></extLst></styleSheet>");
}

Bytes MakeThemeXml()
{
    Bytes b = FromString("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<a:theme xmlns:a=\""
                         "http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"Office Theme\">"
                         "<a:themeElements><a:clrScheme name=\"Office\">");
    static const char* const colours[][2] = {{"dk2", "1F497D"},     {"lt2", "EEECE1"},     {"accent1", "4F81BD"},
                                              {"accent2", "C0504D"}, {"accent3", "9BBB59"}, {"accent4", "8064A2"},
                                              {"accent5", "4BACC6"}, {"accent6", "F79646"}, {"hlink", "0000FF"},
                                              {"folHlink", "800080"}};
    for (auto& c : colours)
        append(b, std::string("<a:") + c[0] + "><a:srgbClr val=\"" + c[1] + "\"/></a:" + c[0] + ">");
    append(b, "</a:clrScheme><a:fontScheme name=\"Office\">");
    static const char* const fonts[][2] = {
        {"Arab", "Times New Roman"}, {"Hebr", "Times New Roman"}, {"Thai", "Tahoma"}, {"Ethi", "Nyala"},
        {"Beng", "Vrinda"}, {"Gujr", "Shruti"}, {"Khmr", "MoolBoran"}, {"Knda", "Tunga"}, {"Guru", "Raavi"},
        {"Cans", "Euphemia"}, {"Cher", "Plantagenet Cherokee"}, {"Yiii", "Microsoft Yi Baiti"},
        {"Tibt", "Microsoft Himalaya"}, {"Thaa", "MV Boli"}, {"Deva", "Mangal"}, {"Telu", "Gautami"},
        {"Taml", "Latha"}, {"Syrc", "Estrangelo Edessa"}, {"Orya", "Kalinga"}, {"Mlym", "Kartika"}};
    for (const char* kind : {"major", "minor"}) {
        append(b, std::string("<a:") + kind + "Font><a:latin typeface=\"Cambria\"/><a:ea typeface=\"\"/>"
                      "<a:cs typeface=\"\"/>");
        for (auto& f : fonts) append(b, std::string("<a:font script=\"") + f[0] + "\" typeface=\"" + f[1] + "\"/>");
        append(b, std::string("</a:") + kind + "Font>");
    }
    append(b, "</a:fontScheme><a:fmtScheme name=\"Office\"><a:fillStyleLst><a:solidFill><a:schemeClr val=\"phClr\"/>"
              "</a:solidFill><a:gradFill rotWithShape=\"1\"><a:gsLst><a:gs pos=\"0\"><a:schemeClr val=\"phClr\">"
              "<a:tint val=\"50000\"/><a:satMod val=\"300000\"/></a:schemeClr></a:gs></a:gsLst><a:lin "
              "ang=\"16200000\" scaled=\"1\"/></a:gradFill></a:fillStyleLst></a:fmtScheme></a:themeElements>"
              "<a:objectDefaults/><a:extraClrSchemeLst/></a:theme>");
    return b;
}

Bytes MakeMeasurementLogXml(size_t size, uint32_t seed)
{
    Bytes b;
    uint32_t s = seed ? seed : 1;
    auto number = [&s](double scale) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", double(NextRandom(s) % 1000000) * scale / 1000000.0);
        return std::string(text);
    };
    static const char* const kinds[][3] = {{"line", "length", ""},
                                           {"circle", "radius", "diameter"},
                                           {"rectangle", "width", "height"},
                                           {"angle", "degrees", "radians"},
                                           {"arc", "radius", "angle"}};
    append(b, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<inspection operator=\"QA station 2\" "
              "camera=\"Dunmor 4096x3072\" scale=\"0.0031 mm/px\">\n");
    for (int n = 1; b.size() < size; ++n) {
        const auto& kind = kinds[NextRandom(s) % 5];
        const int second = (n * 7) % 60;
        append(b, std::string("  <measurement index=\"") + std::to_string(n) + "\" kind=\"" + kind[0] + "\" name=\""
                      + kind[0] + " " + std::to_string(n) + "\" unit=\"mm\" time=\"2026-03-09T14:"
                      + std::to_string(10 + n / 600 % 50) + ":" + (second < 10 ? "0" : "") + std::to_string(second)
                      + "\">\n");
        const int points = 2 + static_cast<int>(NextRandom(s) % 3);
        for (int p = 0; p < points; ++p)
            append(b, "    <point x=\"" + number(4096) + "\" y=\"" + number(3072) + "\"/>\n");
        append(b, std::string("    <value name=\"") + kind[1] + "\">" + number(20) + "</value>\n");
        if (*kind[2])
            append(b, std::string("    <value name=\"") + kind[2] + "\">" + number(40) + "</value>\n");
        append(b, "  </measurement>\n");
    }
    append(b, "</inspection>\n");
    return b;
}

Bytes MakeJpeg(int width, int height, uint32_t seed)
{
    QImage img(width, height, QImage::Format_RGB32);
    uint32_t s = seed ? seed : 1;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int base = ((x / 16 + y / 16) % 2) ? 190 : 70;
            int n = static_cast<int>(NextRandom(s) % 24);
            line[x] = qRgb(base + n, base / 2 + n, 255 - base + n / 2);
        }
    }
    QPainter p(&img);
    p.setPen(QPen(Qt::black, 3));
    for (int i = 0; i < 6; ++i) p.drawEllipse(QPointF(width * (i + 1) / 7.0, height / 2.0), 20.0 + i * 7, 20.0 + i * 5);
    p.end();
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 90);
    return Bytes(data.begin(), data.end());
}

bool InflateRaw(const Bytes& compressed, Bytes& out)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    out.clear();
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    uint8_t chunk[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break;
    }
    const bool ok = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return ok;
}

std::vector<NamedInput> ReportCorpus()
{
    return {
        {"sheet1.xml (100x100)", MakeSheetXml(100, 100, 3)},
        {"sharedStrings.xml", MakeSharedStringsXml(2500, 5)},
        // A long report's strings: many near-alike candidates per hash
        // chain, where a shorter chain walk shows first.
        {"sharedStrings.xml (20000)", MakeSharedStringsXml(20000, 5)},
        {"styles.xml", MakeStylesXml()},
        {"theme1.xml", MakeThemeXml()},
        {"picture.jpg", MakeJpeg(1280, 960, 2)},
        {"plain text", MakeText(1 << 20, 9)},
        {"random bytes", MakeRandom(1 << 20, 11)},
    };
}

Bytes DeflateZlib(const Bytes& data, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

int RunProcess(const QString& program, const QStringList& args, QByteArray* output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(30000))
        return -1;
    p.waitForFinished(300000);
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString SourceDir()
{
    QString dir = qEnvironmentVariable("SEVRIN_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(SEVRIN_TEST_SOURCE_DIR) : dir;
}

QString PythonProgram()
{
    // The distribution's interpreter carries python3-openpyxl; a user-level
    // interpreter earlier on PATH may not.
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
}

QByteArray LibreOfficeCsv(const QString& xlsx, bool* ok)
{
    *ok = false;
    const QString soffice = QStandardPaths::findExecutable("soffice");
    QTemporaryDir dir;
    if (soffice.isEmpty() || !dir.isValid())
        return QByteArray();
    QByteArray out;
    const int rc = RunProcess(soffice, {"-env:UserInstallation=file://" + dir.path() + "/profile", "--headless",
                                        "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true", "--outdir",
                                        dir.path(), xlsx},
                              &out);
    QFile csv(dir.path() + "/" + QFileInfo(xlsx).completeBaseName() + ".csv");
    if (rc != 0 || !csv.open(QIODevice::ReadOnly))
        return QByteArray();
    *ok = true;
    return csv.readAll();
}

bool WriteFile(const QString& path, const Bytes& data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()))
               == static_cast<qint64>(data.size())
           && f.flush();
}

Bytes ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray a = f.readAll();
    return Bytes(a.begin(), a.end());
}

} // namespace TestData
