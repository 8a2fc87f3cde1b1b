#pragma once

#include <QString>

// The exposure scale of the USB models: slider position <-> microseconds and
// the slider's text. Long type: slider 0..188 from 7 us to 5 s in four
// stretches; short type: 3 us a step from 7 us. Pure functions.
namespace UvcExposureScale {

constexpr int LongSliderMax = 188;

long long longMicros(int slider);
QString longText(int slider);
long long shortMicros(int slider);
QString shortText(int slider);
// The register value of the long type: microseconds / 100 (or the
// microseconds themselves on cameras that count in microseconds).
long long longRegisterValue(int slider, bool unitsOf100);

// Camera value (microseconds) back to a slider position.
int longSlider(long long micros);
int shortSlider(long long micros, int clamp);

} // namespace UvcExposureScale
