#include "measure/engine/ScaleInfo.h"

#include "app/SharedConstants.h"

#include <cmath>

const float defaultDisrate = 1.0f;

ScaleInfo::ScaleInfo() = default;

ScaleInfo::ScaleInfo(const QString& n, const QString& u, int b, float v, float d, float length) {
    const bool ok = !n.isEmpty() && unitIndexOf(u) >= 0 && unsigned(b) <= 4u && std::isfinite(v) &&
                    v > 0.0f && std::isfinite(d) && std::isfinite(length);
    if (!ok) {
        scaleLength = 200;
        m_fallback = true;
        return;
    }
    name = n;
    unit = u;
    bits = b;
    value = v;
    distance = d < 0.001f ? 0.001f : d;
    disrate = value / distance;
    scaleLength = int(length);
}
