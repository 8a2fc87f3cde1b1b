#include "measure/engine/ScaleInfo.h"

#include "app/hub/SharedConstants.h"

#include <cmath>

const double defaultDisrate = 1.0;

ScaleInfo::ScaleInfo() = default;

ScaleInfo::ScaleInfo(const QString& n, const QString& u, int b, double v, double d, double length) {
    const bool ok = !n.isEmpty() && unitIndexOf(u) >= 0 && unsigned(b) <= 4u && std::isfinite(v) &&
                    v > 0.0 && std::isfinite(d) && std::isfinite(length);
    if (!ok) {
        scaleLength = 200;
        m_fallback = true;
        return;
    }
    name = n;
    unit = u;
    bits = b;
    value = v;
    distance = d < 0.001 ? 0.001 : d;
    disrate = value / distance;
    scaleLength = int(length);
}
