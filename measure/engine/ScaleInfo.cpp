#include "measure/engine/ScaleInfo.h"

const float defaultDisrate = 1.0f;

ScaleInfo::ScaleInfo() = default;

ScaleInfo::ScaleInfo(const QString& n, const QString& u, int b, float v, float d, float length) {
    name = n;
    unit = u;
    bits = b;
    value = v;
    distance = d < 0.001f ? 0.001f : d;
    disrate = value / distance;
    scaleLength = int(length);
}
