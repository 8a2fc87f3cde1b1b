// The pieces of the workbook writer: XML writer, styles, references, titles
// and the picture size readers.
#include "export/xlsx/CWorkbook.h"
#include "export/xlsx/CWorksheet.h"
#include "export/xlsx/ImageSizeReaders.h"
#include "export/xlsx/StyleRegistry.h"
#include "export/xlsx/XmlWriter.h"
#include "tests/export/zip/TestData.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

using namespace SimpleXlsx;
using TestData::Bytes;

namespace {
std::string readText(const QString& path)
{
    Bytes b = TestData::ReadFile(path);
    return std::string(b.begin(), b.end());
}

std::string escaped(const std::string& in, bool attribute, XmlWriter::TextMode mode = XmlWriter::TextMode::Plain)
{
    std::string out;
    XmlWriter::AppendEscaped(out, in.data(), in.size(), attribute, mode);
    return out;
}

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
} // namespace

TEST(XmlWriter, ElementsAttributesAndClosing)
{
    TestEnv env;
    const QString path = env.file("a.xml");
    {
        XmlWriter w(utf8(path));
        w.StartElement("fonts").WriteAttribute("count", 1u);
        w.StartElement("font");
        w.StartEmptyElement("sz").WriteAttribute("val", 11u).EndEmptyElement();
        w.EndElement();
        w.EndElement();
        w.StartElement("tableStyles").WriteAttribute("count", "0").WriteAttribute("defaultTableStyle", "TableStyleMedium2").EndElement();
        w.StartElement("a").WriteAttribute("w", 8.0).WriteAttribute("x", 0.25).WriteAttribute("n", -3).WriteAttribute("big", uint64_t(12345678901234ull));
        w.StartElement("b");
        w.StartElement("c"); // three open: c empty, then b and a with end tags
        EXPECT_TRUE(w.Ok());
    }
    EXPECT_EQ(readText(path), kDecl + "<fonts count=\"1\"><font><sz val=\"11\"/></font></fonts>"
                                      "<tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium2\"/>"
                                      "<a w=\"8\" x=\"0.25\" n=\"-3\" big=\"12345678901234\"><b><c/></b></a>");
}

TEST(XmlWriter, EscapingRepairsWhatXmlCannotHold)
{
    EXPECT_EQ(escaped("a<b & c>", true), "a&lt;b &amp; c&gt;");
    EXPECT_EQ(escaped("\"'", false), "&quot;&apos;");
    const std::string chinese = "\xe6\xb5\x8b\xe9\x87\x8f";
    EXPECT_EQ(escaped(chinese, false), chinese);
    // Forbidden control characters: dropped, or kept as _xHHHH_ in cell texts.
    EXPECT_EQ(escaped("a\x01" "b\x1f", false), "ab");
    EXPECT_EQ(escaped("a\x01" "b\x1f", false, XmlWriter::TextMode::Spreadsheet), "a_x0001_b_x001F_");
    EXPECT_EQ(escaped("_x0041_ and _x12", false, XmlWriter::TextMode::Spreadsheet), "_x005F_x0041_ and _x12");
    EXPECT_EQ(escaped("t\tn\n", false), "t\tn\n");
    EXPECT_EQ(escaped("t\tn\n", true), "t&#9;n&#10;");
    // Bytes that are not UTF-8 become U+FFFD; so do surrogates and U+FFFF.
    EXPECT_EQ(escaped("a\xff" "b", false), "a\xef\xbf\xbd" "b");
    EXPECT_EQ(escaped("\xed\xa0\x80", false), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(escaped("\xef\xbf\xbf", false), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(escaped("\xf0\x9f\x98\x80", false), "\xf0\x9f\x98\x80");
}

TEST(XmlWriter, FailuresAreReported)
{
    TestEnv env;
    {
        XmlWriter w(utf8(env.file("no/such/folder/a.xml")));
        w.StartElement("a").WriteElement("b", "text");
        EXPECT_FALSE(w.Ok());
        EXPECT_FALSE(w.Close());
    }
    if (QFile::exists("/dev/full")) {
        XmlWriter w("/dev/full");
        for (int i = 0; i < 2000; ++i) w.StartElement("row").WriteAttribute("r", static_cast<uint32_t>(i)).EndElement();
        EXPECT_FALSE(w.Close());
    }
}

TEST(CellRefs, ColumnLettersAndReferences)
{
    EXPECT_EQ(CellRefText({1, 0}), "A1");
    EXPECT_EQ(CellRefText({12, 10}), "K12");
    EXPECT_EQ(CellRefText({1, 25}), "Z1");
    EXPECT_EQ(CellRefText({1, 26}), "AA1");
    EXPECT_EQ(CellRefText({1, 701}), "ZZ1");
    EXPECT_EQ(CellRefText({1, 702}), "AAA1");
    EXPECT_EQ(CellRefText({1048576, 16383}), "XFD1048576");
}

TEST(Styles, RegistryKeepsOneOfEach)
{
    CWorkbook book("t");
    StyleRegistry& r = book.styleRegistry;
    CellStyle plain;
    EXPECT_EQ(r.Register(plain), 0u);
    CellStyle bold;
    bold.font.attributes = FONT_BOLD;
    EXPECT_EQ(r.Register(bold), 2u);
    EXPECT_EQ(r.Register(bold), 2u);
    EXPECT_EQ(r.Fonts().size(), 2u);
    CellStyle boldLeft = bold;
    boldLeft.alignment.horizontal = ALIGN_H_LEFT;
    EXPECT_EQ(r.Register(boldLeft), 3u);
    EXPECT_EQ(r.Fonts().size(), 2u);
    EXPECT_EQ(r.Fills().size(), 2u);
    EXPECT_EQ(r.Borders().size(), 1u);
    CellStyle diag;
    diag.border.diagonal.style = 1;
    CellStyle diag2;
    diag2.border.diagonal.style = 2;
    EXPECT_NE(r.Register(diag), r.Register(diag2));
    EXPECT_EQ(r.Borders().size(), 3u);

    // A built-in number format keeps its id and is not one of the custom ones.
    CellStyle date;
    date.numFormat.id = 14;
    r.Register(date);
    EXPECT_EQ(r.Styles().back().numFormatId, 14u);
    CellStyle thousands;
    thousands.numFormat.thousands = true;
    thousands.numFormat.decimals = 0;
    r.Register(thousands);
    EXPECT_EQ(thousands.numFormat.id, 165u);
    EXPECT_EQ(BuildNumberFormatCode(thousands.numFormat), "#,##0");
    thousands.numFormat.decimals = 3;
    EXPECT_EQ(BuildNumberFormatCode(thousands.numFormat), "#,##0.000");
    EXPECT_EQ(BuildNumberFormatCode(NumFormatRecord()), "0.00");

    EXPECT_STREQ(FillPatternName(17), "gray125");
    EXPECT_STREQ(FillPatternName(19), "none");
    EXPECT_EQ(BorderStyleName(14), nullptr);
}

TEST(Styles, PartOfAReport)
{
    TestEnv env;
    CWorkbook book("t");
    CellStyle title;
    title.font.attributes = FONT_BOLD;
    title.alignment.horizontal = ALIGN_H_CENTER;
    book.styleRegistry.Register(title);
    CellStyle body;
    body.alignment.horizontal = ALIGN_H_LEFT;
    book.styleRegistry.Register(body);
    CellStyle odd;
    odd.fill.pattern = 40; // no such pattern: written as "none"
    odd.font.theme = false;
    book.styleRegistry.Register(odd);
    // A colour counts only without the theme flag; the two fonts stay apart.
    CellStyle red;
    red.font.colour = "FFFF0000";
    red.font.theme = false;
    CellStyle themedRed = red;
    themedRed.font.theme = true;
    EXPECT_NE(book.styleRegistry.Register(red), book.styleRegistry.Register(themedRed));
    book.AddWorksheet("s").OpenRow().WriteTextCell("x").CloseRow();
    ASSERT_TRUE(book.SaveAs(utf8(env.file("s.xlsx"))));
    QByteArray xml;
    ASSERT_EQ(TestData::RunProcess("unzip", {"-p", env.file("s.xlsx"), "xl/styles.xml"}, &xml), 0);
    const std::string s = xml.toStdString();
    EXPECT_NE(s.find("<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.00\"/></numFmts>"), std::string::npos);
    EXPECT_NE(s.find("<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><charset val=\"204\"/><color theme=\"1\"/></font>"),
              std::string::npos);
    EXPECT_NE(s.find("<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
                     "patternType=\"gray125\"/></fill><fill><patternFill patternType=\"none\"/></fill></fills>"),
              std::string::npos);
    EXPECT_NE(s.find("<border><left/><right/><top/><bottom/><diagonal/></border>"), std::string::npos);
    EXPECT_NE(s.find("<xf numFmtId=\"164\" fontId=\"1\" fillId=\"0\" borderId=\"0\" applyFont=\"1\" "
                     "applyNumberFormat=\"1\" applyAlignment=\"1\"><alignment horizontal=\"center\"/></xf>"),
              std::string::npos);
    const size_t order[] = {s.find("<numFmts"), s.find("<fonts"), s.find("<fills"), s.find("<borders"),
                            s.find("<cellStyleXfs"), s.find("<cellXfs"), s.find("<cellStyles"), s.find("<dxfs"),
                            s.find("<tableStyles"), s.find("<extLst")};
    for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) EXPECT_LT(order[i - 1], order[i]) << i;
    const size_t rgb = s.find("<color rgb=\"FFFF0000\"/>");
    EXPECT_NE(rgb, std::string::npos);
    EXPECT_EQ(s.find("<color rgb=", rgb + 1), std::string::npos);
}

TEST(Workbook, SheetTitlesAndCells)
{
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle("a/b:c?"), "a_b_c_");
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle("[x]*\\"), "_x___");
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle(std::string(40, 'q')), std::string(31, 'q'));
    // 31 characters, not bytes: a CJK title is not cut inside a character.
    std::string cjk;
    for (int i = 0; i < 40; ++i) cjk += "\xe6\xb5\x8b";
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle(cjk).size(), 31u * 3);
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle("''quoted'"), "quoted");
    // Excel reserves "History" in any case; a title merely holding it is fine.
    const std::pair<const char*, const char*> reserved[] = {
        {"History", "History_"}, {"HISTORY", "HISTORY_"}, {"history", "history_"}, {"'History'", "History_"}};
    for (const auto& r : reserved)
        EXPECT_EQ(CWorkbook::SanitizeSheetTitle(r.first), r.second) << r.first;
    EXPECT_EQ(CWorkbook::SanitizeSheetTitle("History 2"), "History 2");

    TestEnv env;
    CWorkbook book("t");
    EXPECT_EQ(book.AddWorksheet("").GetTitle().narrow, "Sheet 1");
    CWorksheet& s = book.AddWorksheet("two", {{0, 10, 8.0f}, {11, 11, 20.5f}});
    s.OpenRow().WriteTextCell("").WriteTextCell("x").OpenRow(20.5).WriteTextCell("", 3).OpenRow().CloseRow();
    s.WriteTextCell("=A1&\"<\"");
    s.MergeRange({0, 0}, {1, 1}).MergeRange({2, 3}, {1, 0});
    EXPECT_EQ(s.MergedRanges(), std::vector<std::string>{"D2:A1"});
    EXPECT_TRUE(s.HasFormulas());
    ASSERT_TRUE(book.SaveAs(utf8(env.file("t.xlsx"))));
    QByteArray xml;
    ASSERT_EQ(TestData::RunProcess("unzip", {"-p", env.file("t.xlsx"), "xl/worksheets/sheet2.xml"}, &xml), 0);
    const std::string x = xml.toStdString();
    EXPECT_NE(x.find("<cols><col min=\"1\" max=\"11\" width=\"8\"/><col min=\"12\" max=\"12\" width=\"20.5\"/></cols>"),
              std::string::npos);
    EXPECT_NE(x.find("<row r=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"B1\" t=\"s\"><v>0</v></c></row>"), std::string::npos);
    EXPECT_NE(x.find("<row r=\"2\" x14ac:dyDescent=\"0.25\" ht=\"20.5\" customHeight=\"1\"><c r=\"A2\" s=\"3\"/></row>"),
              std::string::npos);
    EXPECT_NE(x.find("<row r=\"3\" x14ac:dyDescent=\"0.25\"/>"), std::string::npos);
    // The cell written after the last row was closed gets a row of its own.
    EXPECT_NE(x.find("<row r=\"4\" x14ac:dyDescent=\"0.25\"><c r=\"A4\"><f>A1&amp;&quot;&lt;&quot;</f></c></row>"),
              std::string::npos);
    EXPECT_NE(x.find("<mergeCells count=\"1\"><mergeCell ref=\"D2:A1\"/></mergeCells>"), std::string::npos);
    EXPECT_EQ(x.find("<drawing"), std::string::npos);
}

namespace {
Bytes imageBytes(const char* format, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    EXPECT_TRUE(img.save(&buf, format));
    return Bytes(data.begin(), data.end());
}

Bytes tiffHeader(bool little, uint16_t widthType, uint32_t w, uint32_t h)
{
    auto p16 = [&](Bytes& b, uint32_t v) {
        if (little) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
        else b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
    };
    auto p32 = [&](Bytes& b, uint32_t v) {
        if (little) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
        else b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    };
    Bytes b = little ? Bytes{'I', 'I'} : Bytes{'M', 'M'};
    p16(b, 42);
    p32(b, 8);
    p16(b, 3); // entries
    p16(b, 254), p16(b, 4), p32(b, 1), p32(b, 0);
    p16(b, 256), p16(b, widthType), p32(b, 1);
    if (widthType == 3) p16(b, w), p16(b, 0);
    else p32(b, w);
    p16(b, 257), p16(b, 4), p32(b, 1), p32(b, h);
    p32(b, 0);
    return b;
}

bool sizeOf(const QString& path, bool (*reader)(const std::string&, uint32_t&, uint32_t&), uint32_t& w, uint32_t& h)
{
    w = h = 0;
    return reader(utf8(path), w, h);
}
} // namespace

TEST(ImageSize, ReadersOnRealAndCraftedHeaders)
{
    TestEnv env;
    uint32_t w, h;
    TestData::WriteFile(env.file("a.jpg"), imageBytes("JPG", 321, 123));
    EXPECT_TRUE(sizeOf(env.file("a.jpg"), ReadJpegSize, w, h));
    EXPECT_EQ(w, 321u);
    EXPECT_EQ(h, 123u);
    TestData::WriteFile(env.file("a.png"), imageBytes("PNG", 77, 55));
    EXPECT_TRUE(sizeOf(env.file("a.png"), ReadPngSize, w, h));
    EXPECT_EQ(w, 77u);
    EXPECT_EQ(h, 55u);
    TestData::WriteFile(env.file("a.gif"), Bytes{'G', 'I', 'F', '8', '9', 'a', 0x2C, 0x01, 0xC8, 0x00});
    EXPECT_TRUE(sizeOf(env.file("a.gif"), ReadGifSize, w, h));
    EXPECT_EQ(w, 300u);
    EXPECT_EQ(h, 200u);
    for (bool little : {true, false}) {
        for (uint16_t type : {uint16_t(3), uint16_t(4)}) {
            TestData::WriteFile(env.file("a.tif"), tiffHeader(little, type, 640, 480));
            EXPECT_TRUE(sizeOf(env.file("a.tif"), ReadTiffSize, w, h)) << little << type;
            EXPECT_EQ(w, 640u);
            EXPECT_EQ(h, 480u);
        }
    }
    // Only the baseline frame (C0) is read: the same header as a progressive
    // frame (C2) has no size.
    Bytes frame{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00,
                0x0B, 0x08, 0x01, 0xE0, 0x02, 0x80, 0x01, 0x01, 0x11, 0x00};
    TestData::WriteFile(env.file("b.jpg"), frame);
    EXPECT_TRUE(sizeOf(env.file("b.jpg"), ReadJpegSize, w, h));
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
    frame[9] = 0xC2;
    TestData::WriteFile(env.file("p.jpg"), frame);
    EXPECT_FALSE(sizeOf(env.file("p.jpg"), ReadJpegSize, w, h));

    // A walk never enters coded data: a baseline frame header there, behind
    // a progressive frame or after the start of a scan, is not read.
    for (uint8_t first : {uint8_t(0xC2), uint8_t(0xC1), uint8_t(0xDA)}) {
        Bytes planted{0xFF, 0xD8, 0xFF, first, 0x00, 0x08, 0x08, 0x75, 0x30, 0x75, 0x30, 0x00,
                      0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00};
        TestData::WriteFile(env.file("s.jpg"), planted);
        EXPECT_FALSE(sizeOf(env.file("s.jpg"), ReadJpegSize, w, h)) << int(first);
    }

    // Malformed and truncated headers fail.
    TestData::WriteFile(env.file("t.jpg"), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x00});
    EXPECT_FALSE(sizeOf(env.file("t.jpg"), ReadJpegSize, w, h));
    TestData::WriteFile(env.file("z.jpg"), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00});
    EXPECT_FALSE(sizeOf(env.file("z.jpg"), ReadJpegSize, w, h));
    Bytes wide = imageBytes("PNG", 4, 4);
    wide[16] = 0x00, wide[17] = 0x01, wide[18] = 0x00, wide[19] = 0x00; // 65536 wide
    TestData::WriteFile(env.file("w.png"), wide);
    EXPECT_FALSE(sizeOf(env.file("w.png"), ReadPngSize, w, h));
    Bytes loop = tiffHeader(true, 3, 10, 10);
    loop[10] = 0; // no entries, and the next directory is the same one
    loop.resize(12);
    loop.insert(loop.end(), {8, 0, 0, 0});
    TestData::WriteFile(env.file("loop.tif"), loop);
    EXPECT_FALSE(sizeOf(env.file("loop.tif"), ReadTiffSize, w, h));
    EXPECT_FALSE(sizeOf(env.file("missing.gif"), ReadGifSize, w, h));

    // The type table: seven entries ending with type 0.
    EXPECT_EQ(ImageTypeTable[6].type, 0);
    EXPECT_EQ(FindImageType(".jpeg")->type, 3);
    EXPECT_EQ(FindImageType(".tiff")->reader, static_cast<ImageSizeReader>(ReadTiffSize));
    EXPECT_EQ(FindImageType(".bmp"), nullptr);
}

TEST(ImageSize, PicturesInAWorkbook)
{
    TestEnv env;
    TestData::WriteFile(env.file("a.JPG"), imageBytes("JPG", 64, 48));
    TestData::WriteFile(env.file("b.jpeg"), imageBytes("JPG", 64, 48));
    TestData::WriteFile(env.file("c.png"), imageBytes("PNG", 64, 48));
    TestData::WriteFile(env.file("d.bmp"), imageBytes("BMP", 64, 48));
    TestData::WriteFile(env.file("nodot"), imageBytes("PNG", 64, 48));
    CWorkbook book("t");
    CWorksheet& s1 = book.AddWorksheet("one");
    CWorksheet& s2 = book.AddWorksheet("two");
    EXPECT_TRUE(book.InsertImage(s1, utf8(env.file("a.JPG")), {2, 0, 5, 0}, {13, 0, 22, 0}));
    EXPECT_TRUE(book.InsertImage(s1, utf8(env.file("a.JPG")), {0, 0, 0, 0}, {1, 0, 1, 0}));
    EXPECT_TRUE(book.InsertImage(s2, env.file("c.png").toStdWString(), {0, 0, 0, 0}, {1, 0, 1, 0}));
    EXPECT_TRUE(book.InsertImage(s2, utf8(env.file("b.jpeg")), {0, 0, 0, 0}, {1, 0, 1, 0}));
    EXPECT_FALSE(book.InsertImage(s1, utf8(env.file("d.bmp")), {}, {}));
    EXPECT_FALSE(book.InsertImage(s1, utf8(env.file("nodot")), {}, {}));
    EXPECT_FALSE(book.InsertImage(s1, utf8(env.file("gone.jpg")), {}, {}));
    ASSERT_EQ(book.Media().size(), 3u);
    EXPECT_EQ(book.Media()[0]->packageName, "image1.jpg");
    EXPECT_EQ(book.Media()[2]->packageName, "image3.jpeg");
    EXPECT_EQ(book.Media()[0]->width, 64u);
    s1.OpenRow().WriteTextCell("x").CloseRow();
    ASSERT_TRUE(book.SaveAs(utf8(env.file("p.xlsx"))));

    auto part = [&](const char* name) {
        QByteArray xml;
        EXPECT_EQ(TestData::RunProcess("unzip", {"-p", env.file("p.xlsx"), name}, &xml), 0) << name;
        return xml.toStdString();
    };
    const std::string types = part("[[]Content_Types].xml") /* unzip takes names as patterns */;
    const size_t jpg = types.find("<Default Extension=\"jpg\" ContentType=\"image/jpeg\"/>");
    const size_t jpeg = types.find("<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>");
    const size_t png = types.find("<Default Extension=\"png\" ContentType=\"image/png\"/>");
    ASSERT_NE(jpg, std::string::npos);
    EXPECT_LT(jpg, jpeg);
    EXPECT_LT(jpeg, png);
    EXPECT_EQ(types.find("Extension=\"jpg\"", jpg + 20), std::string::npos);

    const std::string d1 = part("xl/drawings/drawing1.xml");
    EXPECT_NE(d1.find("<xdr:from><xdr:col>2</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>5</xdr:row><xdr:rowOff>0"
                      "</xdr:rowOff></xdr:from><xdr:to><xdr:col>13</xdr:col>"),
              std::string::npos);
    size_t clientData = 0;
    for (size_t at = d1.find("<xdr:clientData/>"); at != std::string::npos; at = d1.find("<xdr:clientData/>", at + 1))
        ++clientData;
    EXPECT_EQ(clientData, 2u); // one per picture
    EXPECT_NE(d1.find("r:embed=\"rId2\""), std::string::npos);
    const std::string r1 = part("xl/drawings/_rels/drawing1.xml.rels");
    EXPECT_NE(r1.find("Id=\"rId1\""), std::string::npos);
    EXPECT_NE(r1.find("Id=\"rId2\""), std::string::npos);
    EXPECT_EQ(r1.find("image2"), std::string::npos); // both anchors show image1.jpg
    EXPECT_NE(part("xl/worksheets/_rels/sheet2.xml.rels").find("Target=\"../drawings/drawing2.xml\""), std::string::npos);

    QByteArray out;
    const QString script = TestData::SourceDir() + "/tests/export/xlsx/xlsxcheck.py";
    ASSERT_EQ(TestData::RunProcess(TestData::PythonProgram(), {script, env.file("p.xlsx")}, &out), 0);
    EXPECT_TRUE(out.contains("\"problems\": []")) << out.constData();
}
