#pragma once

#include <QObject>

#include <functional>

// Gives the system back the pages the C library keeps in its heaps of what
// a run (stitching, focus stacking) freed: hundreds of megabytes of 4K
// pictures, which the library takes from its heaps once a block of that size
// has been freed, and which stay resident there until the heaps are trimmed.
// Thread: the GUI thread (it needs an event loop for the later trims).
class HeapReturn {
public:
    // Trims now, and again one and five seconds later while `context` lives:
    // what the run's threads let go of after the Close (a save or decode
    // still finishing on a busy machine, a picture held a moment longer),
    // and the pages live video wrote while settling into the room the run
    // left, go back too. `letGo`, when set, runs before each trim (to free
    // what has become idle since).
    static void afterRun(QObject* context, const std::function<void()>& letGo = {});
    // The trim itself.
    static void now();
};
