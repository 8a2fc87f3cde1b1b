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
    // Every thread allocates from the C library's one main heap, which a
    // trim gives back whole (the user's own MALLOC_ARENA_MAX or
    // GLIBC_TUNABLES stands). By default each thread that allocates gets a
    // heap of its own, up to eight per core, each reserving 64 MB of address
    // space: some 600 MB before the operator does anything, which an
    // address-space limit of 1 GB leaves no room beside. And a trim gives
    // back only the main heap's unused top: another heap kept the free top
    // its threads left (up to twice the largest picture, some 66 MB at 4K),
    // so a Close of focus stacking at times left 40 MB more resident than
    // the one before. Large pictures are still not each mapped on their
    // own (mapped afresh, every 4K frame shown would fault its pages in
    // again): the picture makers keep their buffers. Call first thing in
    // main(), before any thread starts.
    static void oneHeap();
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
