#pragma once

#include <cstdint>
#include <functional>

class ThreadJingShenHigh;

// Installs the program's worker threads behind the USB driver's hand-over
// interfaces: ThreadAVPacket decodes, ThreaSaveImg saves, ThreadVideo
// records. Called once at start, on the GUI thread.
class UsbWorkers {
public:
    static void install();

    // How the save thread hands a mode-7 frame (RGB888) to the focus-stacking
    // worker linked to the camera. The focus-stacking side installs it once
    // at start (ThreadJingShenHigh::linkUsbCameras); until then such frames
    // reach no worker.
    using FocusDelivery = std::function<void(ThreadJingShenHigh* worker, const uint8_t* rgb, int width, int height)>;
    static void setFocusDelivery(FocusDelivery delivery);
};
