#include "platform/FrameTicks.h"

#include <algorithm>
#include <cmath>

std::vector<int64_t> FrameTicks::whole(const std::vector<int64_t>& stepsMs, double intervalMs) {
    if (!(intervalMs > 0) || !std::isfinite(intervalMs) || stepsMs.empty())
        return {};
    const double slack = std::max(2.0, intervalMs * 0.15);
    std::vector<int64_t> ticks;
    ticks.reserve(stepsMs.size());
    for (const int64_t step : stepsMs) {
        const double k = std::round(double(step) / intervalMs);
        if (k < 1 || std::abs(double(step) - k * intervalMs) > slack)
            return {};
        ticks.push_back(int64_t(k));
    }
    return ticks;
}
