#include "app/hub/UiSize.h"

#include <QtGlobal>

int uiSizeFactor = 10;

int sizeFactorForWidth(int width) {
    const float ratio = float(width) / 1920.0f;
    // The ratio is a float; 1.5 is compared in single precision, the other
    // bounds in double against the widened ratio, so a width a hair above a
    // bound (2112 px is 1.1000000238 as a float) takes the next factor.
    if (double(ratio) <= 1.1)
        return 10;
    if (double(ratio) <= 1.3)
        return 12;
    if (ratio <= 1.5f)
        return 14;
    if (double(ratio) <= 1.7)
        return 16;
    if (double(ratio) <= 1.9)
        return 18;
    return 20;
}

int fontPixelSizeForFactor(int factor) { return factor * 3 / 2; }

int indicatorSize(int factor) { return int(float(factor) * 20.0f * 0.1f + 0.5f); }

std::chrono::microseconds loopRest(std::chrono::microseconds elapsed) {
    constexpr std::chrono::microseconds step = std::chrono::milliseconds(16);
    return elapsed < step ? step - elapsed : std::chrono::microseconds(0);
}

QSize scaleSize(const QSize& size, double factor) {
    return QSize(qRound(size.width() * factor), qRound(size.height() * factor));
}
