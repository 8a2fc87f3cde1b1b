#pragma once

#include <QSize>

// What distinguishes one network camera model from another: its control
// ranges, its switches, its exposure scale and which SDK call its
// black-and-white switch makes. Each model class holds one of these.
struct NetCameraModel {
    enum class ExposureScale {
        Plain,        // the slider position is the camera value, no unit
        Offset32Step3, // 3 s + 32 microseconds
        MicroSeconds, // short: 3 s + 7 us; long: the piecewise us/ms/s scale
    };
    enum class BlackWhiteCall { BWMode, Temperature };

    const char* className;
    // {minimum, maximum} of keys 0..9; hasKey false: the camera has no such control.
    int ranges[10][2];
    bool hasKey[10];
    // Availability (0/1) of the switch keys 10..14.
    int switches[5];
    ExposureScale exposure;
    // Exposure slider range {min, max} for the short and the long exposure type.
    int shortRange[2];
    int longRange[2];
    BlackWhiteCall blackWhite;
};
