#pragma once

#include "measure/shapes/CLPolygon.h"

// Polyline (kind 19): an open chain ended by a double click (three points
// suffice: two vertices and the ending click, which stays as the label
// anchor). One result, the total length, shown in the girth column.
class CLPolyLine : public CLPolygon {
public:
    CLPolyLine();

    int GetObjType() override { return 17; }
    void SetLanguage(int lang) override;
};
