#pragma once

#include "camera/NetCameraModel.h"

#include <QString>

// The exposure slider scales of the network models: pure arithmetic.
class NetCameraExposure {
public:
    // Text of slider position s ("967us", "150ms", "1.2s", or a bare number)
    // and, in *value, what the camera is sent.
    static QString text(const NetCameraModel& model, int s, bool longExposure, int* value);
    // Slider position of camera value v, within the slider range.
    static int toSlider(const NetCameraModel& model, int v, bool longExposure);
    // Slider range {min, max} for the exposure type.
    static void range(const NetCameraModel& model, bool longExposure, int* min, int* max);

    // The microsecond scale of itself (shared by the models that use it).
    static int microSeconds(int s, bool longExposure, QString* text);
    static int microSecondsToSlider(int v, bool longExposure);
};
