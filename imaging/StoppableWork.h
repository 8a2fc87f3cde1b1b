#pragma once

#include <functional>

// Work with no place to stop at (one OpenCV call over a whole mosaic), run
// on a thread of its own while the caller looks at its stop flag. A stop
// leaves the work to end by itself: whatever it reads and writes must be
// owned by the work (captured by value or shared), never by the caller.
// The program's end waits for work left so, which uses OpenCV to its end.
class StoppableWork {
public:
    // Runs `work` and waits for it, looking at `stopped` once it is under
    // way and then every 10 ms. True when it ended (an exception it threw is thrown
    // here), false when a stop came first. Without `stopped`, or without a
    // thread to be had (no room for its stack), the work runs here.
    static bool run(std::function<void()> work, const std::function<bool()>& stopped);
};
