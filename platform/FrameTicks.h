#pragma once

#include <cstdint>
#include <vector>

// A camera's frames come on its own clock: a reader slower than the camera
// takes one frame in a few, and the steps between the frames it took are
// then whole numbers of the camera's interval. The rule for "a whole number"
// lives here, once, for the capture side that measures a camera's rate and
// the recorder that decides which rate a file holds.
class FrameTicks {
public:
    // The numbers of `intervalMs` that the steps of `stepsMs` are, in the
    // same order; empty when one is not a whole number of them, when there
    // are no steps, or no interval (not above 0, or not finite: a driver
    // that states no rate). Capture times are whole ms and a
    // driver's stamps wander a little: a step may lie 2 ms or 15 % of an
    // interval, whichever is more, off the whole number.
    static std::vector<int64_t> whole(const std::vector<int64_t>& stepsMs, double intervalMs);
};
