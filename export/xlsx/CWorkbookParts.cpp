// The package parts of CWorkbook: properties, content types, calculation
// chain, theme, shared strings, styles and the workbook part.
#include "export/xlsx/CDrawing.h"
#include "export/xlsx/CWorkbook.h"
#include "export/xlsx/CWorksheet.h"
#include "export/xlsx/ImageSizeReaders.h"
#include "export/xlsx/OoxmlNames.h"
#include "export/xlsx/XmlWriter.h"

#include <cstring>
#include <ctime>

namespace SimpleXlsx {

namespace {

void relationship(XmlWriter& w, const std::string& id, const char* type, const char* target)
{
    w.StartEmptyElement("Relationship")
        .WriteAttributeEscaped("Id", id)
        .WriteAttribute("Type", type)
        .WriteAttributeEscaped("Target", target)
        .EndEmptyElement();
}

void overrideType(XmlWriter& w, const std::string& part, const char* type)
{
    w.StartEmptyElement("Override").WriteAttributeEscaped("PartName", part).WriteAttribute("ContentType", type).EndEmptyElement();
}

std::string themeText()
{
    std::string t = "<a:themeElements><a:clrScheme name=\"Office\">"
                    "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
                    "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>";
    static const char* const colours[][2] = {{"dk2", "1F497D"},     {"lt2", "EEECE1"},     {"accent1", "4F81BD"},
                                              {"accent2", "C0504D"}, {"accent3", "9BBB59"}, {"accent4", "8064A2"},
                                              {"accent5", "4BACC6"}, {"accent6", "F79646"}, {"hlink", "0000FF"},
                                              {"folHlink", "800080"}};
    for (const auto& c : colours)
        t += std::string("<a:") + c[0] + "><a:srgbClr val=\"" + c[1] + "\"/></a:" + c[0] + ">";
    t += "</a:clrScheme><a:fontScheme name=\"Office\">";
    static const char* const fonts[][2] = {
        {"Arab", "Times New Roman"}, {"Hebr", "Times New Roman"}, {"Thai", "Tahoma"},
        {"Ethi", "Nyala"},           {"Beng", "Vrinda"},          {"Gujr", "Shruti"},
        {"Khmr", "MoolBoran"},       {"Knda", "Tunga"},           {"Guru", "Raavi"},
        {"Cans", "Euphemia"},        {"Cher", "Plantagenet Cherokee"}, {"Yiii", "Microsoft Yi Baiti"},
        {"Tibt", "Microsoft Himalaya"}, {"Thaa", "MV Boli"},      {"Deva", "Mangal"},
        {"Telu", "Gautami"},         {"Taml", "Latha"},           {"Syrc", "Estrangelo Edessa"},
        {"Orya", "Kalinga"},         {"Mlym", "Kartika"},         {"Laoo", "DokChampa"},
        {"Sinh", "Iskoola Pota"},    {"Mong", "Mongolian Baiti"}, {"Viet", "Times New Roman"},
        {"Uigh", "Microsoft Uighur"}, {"Geor", "Sylfaen"}};
    for (const char* kind : {"majorFont", "minorFont"}) {
        t += std::string("<a:") + kind + "><a:latin typeface=\"Cambria\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/>";
        for (const auto& f : fonts) t += std::string("<a:font script=\"") + f[0] + "\" typeface=\"" + f[1] + "\"/>";
        t += std::string("</a:") + kind + ">";
    }
    t += "</a:fontScheme><a:fmtScheme name=\"Office\">";

    auto clr = [](const std::string& mods) {
        return mods.empty() ? std::string("<a:schemeClr val=\"phClr\"/>")
                            : "<a:schemeClr val=\"phClr\">" + mods + "</a:schemeClr>";
    };
    auto mod = [](const char* name, const char* val) { return std::string("<a:") + name + " val=\"" + val + "\"/>"; };
    auto gs = [&](const char* pos, const std::string& mods) {
        return std::string("<a:gs pos=\"") + pos + "\">" + clr(mods) + "</a:gs>";
    };
    const std::string solid = "<a:solidFill>" + clr("") + "</a:solidFill>";

    t += "<a:fillStyleLst>" + solid;
    t += "<a:gradFill rotWithShape=\"1\"><a:gsLst>" + gs("0", mod("tint", "50000") + mod("satMod", "300000"))
         + gs("35000", mod("tint", "37000") + mod("satMod", "300000"))
         + gs("100000", mod("tint", "15000") + mod("satMod", "350000"))
         + "</a:gsLst><a:lin ang=\"16200000\" scaled=\"1\"/></a:gradFill>";
    t += "<a:gradFill rotWithShape=\"1\"><a:gsLst>" + gs("0", mod("shade", "51000") + mod("satMod", "130000"))
         + gs("80000", mod("shade", "93000") + mod("satMod", "130000"))
         + gs("100000", mod("shade", "94000") + mod("satMod", "135000"))
         + "</a:gsLst><a:lin ang=\"16200000\" scaled=\"0\"/></a:gradFill></a:fillStyleLst>";

    t += "<a:lnStyleLst>";
    const char* widths[] = {"9525", "25400", "38100"};
    for (int i = 0; i < 3; ++i) {
        t += std::string("<a:ln w=\"") + widths[i] + "\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill>"
             + clr(i == 0 ? mod("shade", "95000") + mod("satMod", "105000") : "")
             + "</a:solidFill><a:prstDash val=\"solid\"/></a:ln>";
    }
    t += "</a:lnStyleLst><a:effectStyleLst>";
    const char* dists[] = {"20000", "23000", "23000"};
    const char* alphas[] = {"38000", "35000", "35000"};
    for (int i = 0; i < 3; ++i) {
        t += std::string("<a:effectStyle><a:effectLst><a:outerShdw blurRad=\"40000\" dist=\"") + dists[i]
             + "\" dir=\"5400000\" rotWithShape=\"0\"><a:srgbClr val=\"000000\">" + mod("alpha", alphas[i])
             + "</a:srgbClr></a:outerShdw></a:effectLst>";
        if (i == 2)
            t += "<a:scene3d><a:camera prst=\"orthographicFront\"><a:rot lat=\"0\" lon=\"0\" rev=\"0\"/></a:camera>"
                 "<a:lightRig rig=\"threePt\" dir=\"t\"><a:rot lat=\"0\" lon=\"0\" rev=\"1200000\"/></a:lightRig>"
                 "</a:scene3d><a:sp3d><a:bevelT w=\"63500\" h=\"25400\"/></a:sp3d>";
        t += "</a:effectStyle>";
    }
    t += "</a:effectStyleLst><a:bgFillStyleLst>" + solid;
    t += "<a:gradFill rotWithShape=\"1\"><a:gsLst>" + gs("0", mod("tint", "40000") + mod("satMod", "350000"))
         + gs("40000", mod("tint", "45000") + mod("shade", "99000") + mod("satMod", "350000"))
         + gs("100000", mod("shade", "20000") + mod("satMod", "255000"))
         + "</a:gsLst><a:path path=\"circle\"><a:fillToRect l=\"50000\" t=\"-80000\" r=\"50000\" b=\"180000\"/>"
           "</a:path></a:gradFill>";
    t += "<a:gradFill rotWithShape=\"1\"><a:gsLst>" + gs("0", mod("tint", "80000") + mod("satMod", "300000"))
         + gs("100000", mod("shade", "30000") + mod("satMod", "200000"))
         + "</a:gsLst><a:path path=\"circle\"><a:fillToRect l=\"50000\" t=\"50000\" r=\"50000\" b=\"50000\"/>"
           "</a:path></a:gradFill></a:bgFillStyleLst></a:fmtScheme></a:themeElements>"
           "<a:objectDefaults/><a:extraClrSchemeLst/>";
    return t;
}

} // namespace

bool CWorkbook::writeCoreProps()
{
    char now[32];
    std::time_t t = std::time(nullptr);
    struct tm tm {};
    gmtime_r(&t, &tm);
    std::strftime(now, sizeof now, "%Y-%m-%dT%H:%M:%SZ", &tm);
    bool ok;
    {
        XmlWriter w(m_paths->RegisterPart("/docProps/core.xml"));
        w.StartElement("cp:coreProperties")
            .WriteAttribute("xmlns:cp", ns::kCoreProps)
            .WriteAttribute("xmlns:dc", ns::kDc)
            .WriteAttribute("xmlns:dcterms", ns::kDcTerms)
            .WriteAttribute("xmlns:dcmitype", ns::kDcmiType)
            .WriteAttribute("xmlns:xsi", ns::kXsi);
        w.WriteElementEscaped("dc:creator", m_author.narrow);
        w.WriteElementEscaped("cp:lastModifiedBy", m_author.narrow);
        w.StartElement("dcterms:created").WriteAttribute("xsi:type", "dcterms:W3CDTF").WriteText(now, std::strlen(now)).EndElement();
        w.StartElement("dcterms:modified").WriteAttribute("xsi:type", "dcterms:W3CDTF").WriteText(now, std::strlen(now)).EndElement();
        ok = w.Close();
    }
    XmlWriter w(m_paths->RegisterPart("/_rels/.rels"));
    w.StartElement("Relationships").WriteAttribute("xmlns", ns::kPackageRels);
    relationship(w, "rId3", reltype::kExtendedProps, "docProps/app.xml");
    relationship(w, "rId2", reltype::kCoreProps, "docProps/core.xml");
    relationship(w, "rId1", reltype::kOfficeDocument, "xl/workbook.xml");
    return w.Close() && ok;
}

bool CWorkbook::writeAppProps()
{
    XmlWriter w(m_paths->RegisterPart("/docProps/app.xml"));
    w.StartElement("Properties").WriteAttribute("xmlns", ns::kExtendedProps).WriteAttribute("xmlns:vt", ns::kVt);
    w.WriteElement("Application", "Microsoft Excel");
    w.WriteElement("DocSecurity", "0");
    w.WriteElement("ScaleCrop", "false");
    w.StartElement("HeadingPairs");
    w.StartElement("vt:vector").WriteAttribute("size", 2u).WriteAttribute("baseType", "variant");
    w.StartElement("vt:variant").WriteElement("vt:lpstr", "Worksheets").EndElement();
    w.StartElement("vt:variant").WriteElement("vt:i4", static_cast<uint64_t>(m_sheets.size())).EndElement();
    w.EndElement(); // vt:vector
    w.EndElement(); // HeadingPairs
    w.StartElement("TitlesOfParts");
    w.StartElement("vt:vector").WriteAttribute("size", static_cast<uint64_t>(m_sheets.size())).WriteAttribute("baseType", "lpstr");
    for (const auto& s : m_sheets) w.WriteElementEscaped("vt:lpstr", s->GetTitle().narrow);
    w.EndElement();
    w.EndElement();
    w.WriteElement("Company", "");
    w.WriteElement("LinksUpToDate", "false");
    w.WriteElement("SharedDoc", "false");
    w.WriteElement("HyperlinksChanged", "false");
    w.WriteElement("AppVersion", "14.03");
    return w.Close();
}

void CWorkbook::writeImageContentTypes(XmlWriter& w)
{
    bool present[7] = {};
    for (const auto& m : m_media)
        if (m->type >= 1 && m->type <= 6)
            present[m->type] = true;
    for (int type = 1; type <= 6; ++type) {
        if (!present[type])
            continue;
        const ImageTypeEntry* e = ImageTypeByNumber(type);
        w.StartEmptyElement("Default").WriteAttribute("Extension", e->extension + 1).WriteAttribute("ContentType", e->contentType).EndEmptyElement();
    }
}

bool CWorkbook::writeContentTypes()
{
    XmlWriter w(m_paths->RegisterPart("/[Content_Types].xml"));
    w.StartElement("Types").WriteAttribute("xmlns", ns::kContentTypes);
    w.StartEmptyElement("Default").WriteAttribute("Extension", "rels").WriteAttribute("ContentType", "application/vnd.openxmlformats-package.relationships+xml").EndEmptyElement();
    w.StartEmptyElement("Default").WriteAttribute("Extension", "xml").WriteAttribute("ContentType", "application/xml").EndEmptyElement();
    writeImageContentTypes(w);
    overrideType(w, "/xl/workbook.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
    bool formulas = false;
    for (const auto& s : m_sheets) {
        overrideType(w, "/xl/worksheets/sheet" + std::to_string(s->SheetNumber()) + ".xml",
                     "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
        formulas = formulas || s->HasFormulas();
    }
    bool ok = true;
    if (formulas) {
        overrideType(w, "/xl/calcChain.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml");
        ok = writeCalcChain();
    }
    overrideType(w, "/xl/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml");
    overrideType(w, "/xl/styles.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
    if (m_sharedStrings.Size() > 0)
        overrideType(w, "/xl/sharedStrings.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
    for (const auto& d : m_drawings)
        if (d->HasAnchors())
            overrideType(w, "/xl/drawings/drawing" + std::to_string(d->Number()) + ".xml",
                         "application/vnd.openxmlformats-officedocument.drawing+xml");
    overrideType(w, "/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
    overrideType(w, "/docProps/app.xml", "application/vnd.openxmlformats-officedocument.extended-properties+xml");
    return w.Close() && ok;
}

bool CWorkbook::writeCalcChain()
{
    XmlWriter w(m_paths->RegisterPart("/xl/calcChain.xml"));
    w.StartElement("calcChain").WriteAttribute("xmlns", ns::kMain);
    for (const auto& s : m_sheets) {
        bool first = true;
        for (const std::string& ref : s->FormulaCells()) {
            w.StartEmptyElement("c").WriteAttributeEscaped("r", ref);
            if (first)
                w.WriteAttribute("i", s->SheetNumber());
            w.EndEmptyElement();
            first = false;
        }
    }
    return w.Close();
}

bool CWorkbook::writeTheme()
{
    static const std::string text = themeText();
    XmlWriter w(m_paths->RegisterPart("/xl/theme/theme1.xml"));
    w.StartElement("a:theme").WriteAttribute("xmlns:a", ns::kDrawingMain).WriteAttribute("name", "Office Theme");
    w.WriteRaw(text.c_str());
    return w.Close();
}

bool CWorkbook::writeSharedStrings()
{
    if (m_sharedStrings.Size() == 0)
        return true;
    XmlWriter w(m_paths->RegisterPart("/xl/sharedStrings.xml"));
    const uint64_t n = m_sharedStrings.Size();
    w.StartElement("sst").WriteAttribute("xmlns", ns::kMain).WriteAttribute("count", n).WriteAttribute("uniqueCount", n);
    for (const std::string* text : m_sharedStrings.InOrder()) {
        w.StartElement("si");
        w.WriteElementEscaped("t", *text, XmlWriter::TextMode::Spreadsheet);
        w.EndElement();
    }
    return w.Close();
}

bool CWorkbook::writeStyles()
{
    const StyleRegistry& r = styleRegistry;
    XmlWriter w(m_paths->RegisterPart("/xl/styles.xml"));
    w.StartElement("styleSheet")
        .WriteAttribute("xmlns", ns::kMain)
        .WriteAttribute("xmlns:mc", ns::kMarkupCompat)
        .WriteAttribute("mc:Ignorable", "x14ac")
        .WriteAttribute("xmlns:x14ac", ns::kX14ac);

    uint64_t custom = 0;
    for (const NumFormatRecord& f : r.NumFormats())
        if (f.id >= 164)
            ++custom;
    if (custom > 0) {
        w.StartElement("numFmts").WriteAttribute("count", custom);
        for (const NumFormatRecord& f : r.NumFormats()) {
            if (f.id < 164)
                continue;
            w.StartEmptyElement("numFmt").WriteAttribute("numFmtId", f.id).WriteAttributeEscaped("formatCode", BuildNumberFormatCode(f)).EndEmptyElement();
        }
        w.EndElement();
    }

    w.StartElement("fonts").WriteAttribute("count", static_cast<uint64_t>(r.Fonts().size()));
    static const char* const attributeNames[] = {"b", "i", "u", "strike", "outline", "shadow", "condense", "extend"};
    for (const FontRecord& f : r.Fonts()) {
        w.StartElement("font");
        for (int bit = 0; bit < 8; ++bit)
            if (f.attributes & (1u << bit))
                w.StartEmptyElement(attributeNames[bit]).EndEmptyElement();
        w.StartEmptyElement("sz").WriteAttribute("val", f.size).EndEmptyElement();
        w.StartEmptyElement("name").WriteAttribute("val", f.name).EndEmptyElement();
        w.StartEmptyElement("charset").WriteAttribute("val", "204").EndEmptyElement();
        if (!f.theme && !f.colour.empty())
            w.StartEmptyElement("color").WriteAttributeEscaped("rgb", f.colour).EndEmptyElement();
        else
            w.StartEmptyElement("color").WriteAttribute("theme", "1").EndEmptyElement();
        w.EndElement();
    }
    w.EndElement();

    w.StartElement("fills").WriteAttribute("count", static_cast<uint64_t>(r.Fills().size()));
    for (const FillRecord& f : r.Fills()) {
        w.StartElement("fill");
        w.StartElement("patternFill").WriteAttribute("patternType", FillPatternName(f.pattern));
        if (!f.fgColour.empty())
            w.StartEmptyElement("fgColor").WriteAttributeEscaped("rgb", f.fgColour).EndEmptyElement();
        if (!f.bgColour.empty())
            w.StartEmptyElement("bgColor").WriteAttributeEscaped("rgb", f.bgColour).EndEmptyElement();
        w.EndElement();
        w.EndElement();
    }
    w.EndElement();

    w.StartElement("borders").WriteAttribute("count", static_cast<uint64_t>(r.Borders().size()));
    for (const BorderRecord& b : r.Borders()) {
        w.StartElement("border");
        if (b.diagonalUp)
            w.WriteAttribute("diagonalUp", "1");
        if (b.diagonalDown)
            w.WriteAttribute("diagonalDown", "1");
        const std::pair<const char*, const BorderSide*> sides[] = {
            {"left", &b.left}, {"right", &b.right}, {"top", &b.top}, {"bottom", &b.bottom}, {"diagonal", &b.diagonal}};
        for (const auto& side : sides) {
            const char* style = BorderStyleName(side.second->style);
            w.StartElement(side.first);
            if (style) {
                w.WriteAttribute("style", style);
                if (side.second->colour.empty())
                    w.StartEmptyElement("color").WriteAttribute("indexed", "64").EndEmptyElement();
                else
                    w.StartEmptyElement("color").WriteAttributeEscaped("rgb", side.second->colour).EndEmptyElement();
            }
            w.EndElement();
        }
        w.EndElement();
    }
    w.EndElement();

    w.StartElement("cellStyleXfs").WriteAttribute("count", "1");
    w.StartEmptyElement("xf").WriteAttribute("numFmtId", "0").WriteAttribute("fontId", "0").WriteAttribute("fillId", "0").WriteAttribute("borderId", "0").EndEmptyElement();
    w.EndElement();

    w.StartElement("cellXfs").WriteAttribute("count", static_cast<uint64_t>(r.Styles().size()));
    for (size_t i = 0; i < r.Styles().size(); ++i) {
        const StyleRegistry::StyleTuple& t = r.Styles()[i];
        const AlignmentRecord& a = r.Alignments()[i];
        w.StartElement("xf")
            .WriteAttribute("numFmtId", t.numFormatId)
            .WriteAttribute("fontId", t.font)
            .WriteAttribute("fillId", t.fill)
            .WriteAttribute("borderId", t.border);
        if (t.font != 0)
            w.WriteAttribute("applyFont", "1");
        if (t.fill != 0)
            w.WriteAttribute("applyFill", "1");
        if (t.border != 0)
            w.WriteAttribute("applyBorder", "1");
        if (t.numFormatId != 0)
            w.WriteAttribute("applyNumberFormat", "1");
        if (a.IsSet()) {
            static const char* const horizontal[] = {nullptr, "left", "center", "right"};
            static const char* const vertical[] = {nullptr, "top", "center", "bottom"};
            w.WriteAttribute("applyAlignment", "1");
            w.StartEmptyElement("alignment");
            if (a.horizontal >= 1 && a.horizontal <= 3)
                w.WriteAttribute("horizontal", horizontal[a.horizontal]);
            if (a.vertical >= 1 && a.vertical <= 3)
                w.WriteAttribute("vertical", vertical[a.vertical]);
            if (a.wrapText)
                w.WriteAttribute("wrapText", "1");
            if (a.rotation != 0)
                w.WriteAttribute("textRotation", a.rotation);
            w.EndEmptyElement();
        }
        w.EndElement();
    }
    w.EndElement();

    w.StartElement("cellStyles").WriteAttribute("count", "1");
    w.StartEmptyElement("cellStyle").WriteAttribute("name", "Normal").WriteAttribute("xfId", "0").WriteAttribute("builtinId", "0").EndEmptyElement();
    w.EndElement();
    w.StartEmptyElement("dxfs").WriteAttribute("count", "0").EndEmptyElement();
    w.StartEmptyElement("tableStyles")
        .WriteAttribute("count", "0")
        .WriteAttribute("defaultTableStyle", "TableStyleMedium2")
        .WriteAttribute("defaultPivotStyle", "PivotStyleLight16")
        .EndEmptyElement();
    w.StartElement("extLst");
    w.StartElement("ext").WriteAttribute("uri", "{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}").WriteAttribute("xmlns:x14", ns::kX14);
    w.StartEmptyElement("x14:slicerStyles").WriteAttribute("defaultSlicerStyle", "SlicerStyleLight1").EndEmptyElement();
    w.EndElement();
    w.EndElement();
    return w.Close();
}

bool CWorkbook::writeWorkbookPart()
{
    bool formulas = false;
    for (const auto& s : m_sheets) formulas = formulas || s->HasFormulas();
    bool ok;
    {
        XmlWriter w(m_paths->RegisterPart("/xl/_rels/workbook.xml.rels"));
        w.StartElement("Relationships").WriteAttribute("xmlns", ns::kPackageRels);
        for (const auto& s : m_sheets) {
            const std::string n = std::to_string(s->SheetNumber());
            relationship(w, "rId" + n, reltype::kWorksheet, ("worksheets/sheet" + n + ".xml").c_str());
        }
        uint64_t id = m_nextSheetNumber;
        if (formulas)
            relationship(w, "rId" + std::to_string(id++), reltype::kCalcChain, "calcChain.xml");
        if (m_sharedStrings.Size() > 0)
            relationship(w, "rId" + std::to_string(id++), reltype::kSharedStrings, "sharedStrings.xml");
        relationship(w, "rId" + std::to_string(id++), reltype::kStyles, "styles.xml");
        relationship(w, "rId" + std::to_string(id++), reltype::kTheme, "theme/theme1.xml");
        ok = w.Close();
    }
    XmlWriter w(m_paths->RegisterPart("/xl/workbook.xml"));
    w.StartElement("workbook").WriteAttribute("xmlns", ns::kMain).WriteAttribute("xmlns:r", ns::kRelationships);
    w.StartEmptyElement("fileVersion")
        .WriteAttribute("appName", "xl")
        .WriteAttribute("lastEdited", 5u)
        .WriteAttribute("lowestEdited", 5u)
        .WriteAttribute("rupBuild", 9303u)
        .EndEmptyElement();
    w.StartEmptyElement("workbookPr").WriteAttribute("codeName", "ThisWorkbook").WriteAttribute("defaultThemeVersion", 124226u).EndEmptyElement();
    w.StartElement("bookViews");
    w.StartEmptyElement("workbookView")
        .WriteAttribute("xWindow", 270u)
        .WriteAttribute("yWindow", 630u)
        .WriteAttribute("windowWidth", 24615u)
        .WriteAttribute("windowHeight", 11445u)
        .WriteAttribute("activeTab", 0u)
        .EndEmptyElement();
    w.EndElement();
    if (m_sheets.empty()) {
        w.Close();
        return false; // a workbook needs at least one sheet
    }
    w.StartElement("sheets");
    for (const auto& s : m_sheets) {
        w.StartEmptyElement("sheet")
            .WriteAttribute("name", s->GetTitle())
            .WriteAttribute("sheetId", s->SheetNumber())
            .WriteAttributeEscaped("r:id", "rId" + std::to_string(s->SheetNumber()))
            .EndEmptyElement();
    }
    w.EndElement();
    w.StartEmptyElement("calcPr").WriteAttribute("calcId", 124519u).EndEmptyElement();
    return w.Close() && ok;
}

} // namespace SimpleXlsx
