#pragma once

// Qt converts and scales large pictures in parts on its global thread pool
// and waits for every part. A part whose thread the system refused (no room
// left for its stack) never runs, and the thread that asked, often the
// interface's, would wait for ever. keep() makes the pool's threads at
// once, with small stacks, and keeps them for the life of the program, so
// that a conversion under memory pressure finds its threads already there.
class ImageThreads {
public:
    // Once, after the application object exists. Returns how many of the
    // pool's threads were made (they wait, idle, for conversions).
    static int keep();
};
