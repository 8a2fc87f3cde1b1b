#pragma once

#include "export/xlsx/XlsxTypes.h"

#include <cstdint>
#include <vector>

namespace SimpleXlsx {

class CPathManager;

// One picture placed between two cell corners (two-cell anchor, mode 3):
// it is stretched over the cells between them.
struct DrawingAnchor {
    const MediaFile* media; // owned by the workbook
    uint32_t mode;
    ImageAnchor from;
    ImageAnchor to;
};

// The pictures of one worksheet, written as "/xl/drawings/drawingN.xml" with
// its relationships. Created and owned by the workbook with its sheet (same
// number N); writes nothing when it holds no picture.
class CDrawing {
public:
    CDrawing(uint64_t number, CPathManager& paths);
    virtual ~CDrawing();
    CDrawing(const CDrawing&) = delete;
    CDrawing& operator=(const CDrawing&) = delete;

    void AddPicture(const MediaFile& media, const ImageAnchor& from, const ImageAnchor& to);
    bool HasAnchors() const { return !m_anchors.empty(); }
    uint64_t Number() const { return m_number; }

    // Writes the relationships part, then the drawing part; false when a
    // part file could not be written in full.
    bool WritePart();

private:
    bool writeRelationships();
    bool writeDrawingXml();

    uint64_t m_number;
    CPathManager& m_paths;
    std::vector<DrawingAnchor> m_anchors;
};

} // namespace SimpleXlsx
