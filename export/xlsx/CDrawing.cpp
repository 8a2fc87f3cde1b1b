#include "export/xlsx/CDrawing.h"

#include "export/xlsx/CPathManager.h"
#include "export/xlsx/OoxmlNames.h"
#include "export/xlsx/XmlWriter.h"

#include <string>

namespace SimpleXlsx {

CDrawing::CDrawing(uint64_t number, CPathManager& paths) : m_number(number), m_paths(paths) {}

CDrawing::~CDrawing() = default;

void CDrawing::AddPicture(const MediaFile& media, const ImageAnchor& from, const ImageAnchor& to)
{
    m_anchors.push_back(DrawingAnchor{&media, 3, from, to});
}

bool CDrawing::WritePart()
{
    if (m_anchors.empty())
        return true;
    const bool rels = writeRelationships();
    const bool drawing = writeDrawingXml();
    return rels && drawing;
}

bool CDrawing::writeRelationships()
{
    const std::string part = "/xl/drawings/_rels/drawing" + std::to_string(m_number) + ".xml.rels";
    XmlWriter w(m_paths.RegisterPart(part));
    w.StartElement("Relationships").WriteAttribute("xmlns", ns::kPackageRels);
    uint64_t k = 0;
    for (const DrawingAnchor& a : m_anchors) {
        ++k;
        w.StartEmptyElement("Relationship")
            .WriteAttributeEscaped("Id", "rId" + std::to_string(k))
            .WriteAttribute("Type", reltype::kImage)
            .WriteAttributeEscaped("Target", "../media/" + a.media->packageName)
            .EndEmptyElement();
    }
    return w.Close();
}

bool CDrawing::writeDrawingXml()
{
    const std::string part = "/xl/drawings/drawing" + std::to_string(m_number) + ".xml";
    XmlWriter w(m_paths.RegisterPart(part));
    w.StartElement("xdr:wsDr").WriteAttribute("xmlns:xdr", ns::kSpreadsheetDrawing).WriteAttribute("xmlns:a", ns::kDrawingMain);
    uint64_t k = 0;
    auto corner = [&w](const char* name, const ImageAnchor& c) {
        w.StartElement(name);
        w.WriteElement("xdr:col", static_cast<uint64_t>(c.col));
        w.WriteElement("xdr:colOff", static_cast<uint64_t>(c.colOff));
        w.WriteElement("xdr:row", static_cast<uint64_t>(c.row));
        w.WriteElement("xdr:rowOff", static_cast<uint64_t>(c.rowOff));
        w.EndElement();
    };
    for (const DrawingAnchor& a : m_anchors) {
        ++k;
        const std::string rid = "rId" + std::to_string(k);
        w.StartElement("xdr:twoCellAnchor");
        corner("xdr:from", a.from);
        corner("xdr:to", a.to);
        w.StartElement("xdr:pic");
        w.StartElement("xdr:nvPicPr");
        w.StartEmptyElement("xdr:cNvPr").WriteAttribute("id", k).WriteAttributeEscaped("name", a.media->packageName).EndEmptyElement();
        w.StartElement("xdr:cNvPicPr");
        w.StartEmptyElement("a:picLocks").WriteAttribute("noChangeAspect", 1u).EndEmptyElement();
        w.EndElement(); // xdr:cNvPicPr
        w.EndElement(); // xdr:nvPicPr
        w.StartElement("xdr:blipFill");
        w.StartEmptyElement("a:blip").WriteAttribute("xmlns:r", ns::kRelationships).WriteAttributeEscaped("r:embed", rid).EndEmptyElement();
        w.StartElement("a:stretch");
        w.StartEmptyElement("a:fillRect").EndEmptyElement();
        w.EndElement(); // a:stretch
        w.EndElement(); // xdr:blipFill
        w.StartElement("xdr:spPr");
        w.StartElement("a:prstGeom").WriteAttribute("prst", "rect");
        w.StartEmptyElement("a:avLst").EndEmptyElement();
        w.EndElement(); // a:prstGeom
        w.EndElement(); // xdr:spPr
        w.EndElement(); // xdr:pic
        // Exactly one client-data element per anchor.
        w.StartEmptyElement("xdr:clientData").EndEmptyElement();
        w.EndElement(); // xdr:twoCellAnchor
    }
    return w.Close();
}

} // namespace SimpleXlsx
