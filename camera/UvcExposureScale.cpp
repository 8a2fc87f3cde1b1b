#include "camera/UvcExposureScale.h"

#include <algorithm>

namespace UvcExposureScale {

long long longMicros(int s) {
    if (s <= 30)
        return 32LL * s + 7;
    if (s <= 130)
        return 1000LL * s - 30000;
    if (s <= 147)
        return 50000LL * s - 6400000;
    return 100000LL * s - 13800000;
}

QString longText(int s) {
    if (s <= 30)
        return QString::number(longMicros(s)) + "us";
    if (s <= 130)
        return QString::number(s - 30) + "ms";
    if (s <= 147)
        return QString::number((s - 128) * 50) + "ms";
    return QString::number((s - 138) / 10.0, 'g', 6) + "s";
}

long long shortMicros(int s) { return 3LL * s + 7; }

QString shortText(int s) { return QString::number(double(shortMicros(s)), 'g', 6) + "us"; }

long long longRegisterValue(int s, bool unitsOf100) {
    const long long u = longMicros(s);
    return unitsOf100 ? (unsigned long long)u / 100 : u;
}

int longSlider(long long v) {
    double s;
    if (v < 8)
        return 0;
    if (v < 1000)
        s = (v - 7) / 32.0 + 0.5;
    else if (v < 100000)
        s = (v - 1000) / 1000.0 + 31.5;
    else if (v < 1000000)
        s = (v - 100000) / 50000.0 + 130.5;
    else
        s = (v - 1000000) / 100000.0 + 148.5;
    return int(std::min(s, double(LongSliderMax)));
}

int shortSlider(long long v, int clamp) {
    const double s = (std::min<long long>(v, clamp) - 7) / 3.0 + 0.5;
    return std::max(0, int(s)); // a value below 7 us is the bottom of the slider
}

} // namespace UvcExposureScale
