#pragma once

#include "StitchLoopDriver.h"
#include "StitchPanGenerator.h"

#include <cstdint>
#include <vector>

// A pan over a specimen of a kind, as the stitching specimen tests run it:
// vignetting, noise, JPEG and fractions of a pixel, a serpentine of two rows
// of stops a third of a frame apart, through a StitchLoopDriver.
struct PanCase {
    const char* name;
    StitchPanOptions::Kind kind;
    cv::Size camera;
    bool precision;
    int hold;
    bool settleBlur;
    bool featurelessStart;
    bool jump;
    double minPlacedShare; // of the stops
    int cols = 4;          // stops a row; two rows
    uint64_t seed = 1;     // specimen, noise and fractions
    int transitBlur = 0;   // frames in transit blurred over twice this many pixels (StitchPanPlan)
};

// What a run placed: the distance of every placement from the truth, in
// placement order, and the stops (transit frames count as stop -1) that hold
// a placed frame.
struct PanRun {
    std::vector<StitchPanFrame> frames;
    std::vector<double> errors;
    int stops = 0;
    int placedStops = 0;
};

PanRun runPan(const PanCase& c, StitchLoopDriver& driver);
