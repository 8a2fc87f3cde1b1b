#pragma once

// Installs the program's worker threads behind the USB driver's hand-over
// interfaces: ThreadAVPacket decodes, ThreaSaveImg saves, ThreadVideo
// records. Also links the focus-stacking worker's reset to the current USB
// camera. Called once at start, on the GUI thread.
class UsbWorkers {
public:
    static void install();
};
