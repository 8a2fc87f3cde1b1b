#include "measure/shapes/CLPolyLine.h"

#include "measure/shapes/ShapeConventions.h"

CLPolyLine::CLPolyLine() {
    kind = KindPolyLine;
    name = QStringLiteral("D");
    closedOutline = false;
    minPoints = 3;
}

void CLPolyLine::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("折线"), QStringLiteral("PolyLine"), QStringLiteral("折線"));
}
