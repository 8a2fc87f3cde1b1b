#include "measure/shapes/CLParallelLine_V.h"

#include "measure/shapes/ShapeConventions.h"

CLParallelLine_V::CLParallelLine_V() {
    kind = KindParallelV;
    vertical = true;
}

void CLParallelLine_V::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("垂直平行线"), QStringLiteral("Paralle V"), QStringLiteral("垂直平行線"));
}
