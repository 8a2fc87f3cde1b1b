#include "measure/shapes/CLPolygon2.h"

#include "measure/shapes/ShapeConventions.h"

CLPolygon2::CLPolygon2() {
    kind = KindLasso;
}

void CLPolygon2::SetLanguage(int lang) {
    language = lang;
    name = lang == 1 ? QStringLiteral("Lasso") : QStringLiteral("套索");
}

bool CLPolygon2::IsFinished() {
    if (points.size() < 4)
        return false;
    if (finished)
        return true;
    if (count >= 1 && points.size() > count) {
        finished = true;
        return true;
    }
    return false;
}

bool CLPolygon2::CloseLasso() {
    if (points.size() < 4)
        return false;
    count = points.size() - 1;
    finished = true;
    UpdateObj();
    return true;
}
