#pragma once

#include <QString>

// One calibration scale: how many millimetres one image pixel measures.
// A plain record owned by CScaleContainer.
class ScaleInfo {
public:
    // The built-in "default" record: 1 mm per pixel, "mm", 2 decimals.
    ScaleInfo();
    // Checked: a non-empty name, a unit of the unit table, bits 0..4 and a
    // finite value > 0; the distance is raised to at least 0.001 px. A record
    // that fails falls back to the default values (name "default", scale
    // length 200); isFallback() tells.
    ScaleInfo(const QString& name, const QString& unit, int bits, double value, double distance,
              double scaleLength);

    bool isFallback() const { return m_fallback; }

    QString name = QStringLiteral("default");
    QString unit = QStringLiteral("mm");
    double disrate = 1.0;    // millimetres per image pixel = value / distance
    double value = 100.0;    // calibrated length, millimetres ("Value")
    double distance = 100.0; // its length in image pixels ("Distance")
    int scaleLength = 0;     // "ScaleLength"; 100 for calibrated scales
    int bits = 2;            // decimals 0..4 ("Bits")

private:
    bool m_fallback = false;
};

// Millimetres per pixel of the built-in default scale.
extern const double defaultDisrate;
