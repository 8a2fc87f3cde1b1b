#include "camera/NetCameraExposure.h"

#include <algorithm>

namespace {
// "+0.5, truncated": round half up for the non-negative results of the scales.
int roundHalfUp(double x) { return int(x + 0.5); }
} // namespace

void NetCameraExposure::range(const NetCameraModel& model, bool longExposure, int* min, int* max) {
    const int* r = longExposure ? model.longRange : model.shortRange;
    *min = r[0];
    *max = r[1];
}

int NetCameraExposure::microSeconds(int s, bool longExposure, QString* text) {
    int us;
    QString t;
    if (!longExposure) {
        us = 3 * s + 7;
        t = QString::number(us) + "us";
    } else if (s < 31) {
        us = (s << 5) | 7;
        t = QString::number(us) + "us";
    } else if (s <= 130) {
        us = 1000 * s - 30000;
        t = QString::number(s - 30) + "ms";
    } else if (s <= 147) {
        us = 50000 * s - 6400000;
        t = QString::number(50 * (s - 128)) + "ms";
    } else {
        us = 100000 * s - 13800000;
        t = QString::number((s - 138) / 10.0) + "s";
    }
    if (text)
        *text = t;
    return us;
}

int NetCameraExposure::microSecondsToSlider(int v, bool longExposure) {
    if (!longExposure)
        return std::max(0, roundHalfUp((std::min(v, 16630) - 7) / 3.0));
    double s;
    if (v < 8)
        return 0;
    if (v < 1000)
        s = (v - 7) / 32.0;
    else if (v < 100000)
        s = (v - 1000) / 1000.0 + 31;
    else if (v < 1000000)
        s = (v - 100000) / 50000.0 + 130;
    else
        s = (v - 1000000) / 100000.0 + 148;
    return roundHalfUp(std::min(s, 188.0));
}

QString NetCameraExposure::text(const NetCameraModel& model, int s, bool longExposure, int* value) {
    int v = s;
    QString t;
    switch (model.exposure) {
    case NetCameraModel::ExposureScale::Plain:
        t = QString::number(s);
        break;
    case NetCameraModel::ExposureScale::Offset32Step3:
        v = 3 * s + 32;
        t = QString::number(v) + "us";
        break;
    case NetCameraModel::ExposureScale::MicroSeconds:
        v = microSeconds(s, longExposure, &t);
        break;
    }
    if (value)
        *value = v;
    return t;
}

int NetCameraExposure::toSlider(const NetCameraModel& model, int v, bool longExposure) {
    int s = v;
    switch (model.exposure) {
    case NetCameraModel::ExposureScale::Plain:
        // These cameras are sent the slider position itself, so their value
        // is the position.
        break;
    case NetCameraModel::ExposureScale::Offset32Step3:
        s = roundHalfUp((std::min(v, 16607) - 32) / 3.0);
        break;
    case NetCameraModel::ExposureScale::MicroSeconds:
        s = microSecondsToSlider(v, longExposure);
        break;
    }
    int lo, hi;
    range(model, longExposure, &lo, &hi);
    return std::clamp(s, lo, hi);
}
