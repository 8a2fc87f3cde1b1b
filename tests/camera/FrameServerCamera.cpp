#include "FrameServerCamera.h"

FrameServerCamera::FrameServerCamera(int pixelFormat, int width, int height) : format(pixelFormat) {
    Q_UNUSED(width)
    Q_UNUSED(height)
}

bool FrameServerCamera::readFrameInto(int i) {
    ++reads;
    if (queued.isEmpty()) {
        ++failedReads;
        return false;
    }
    ringSlots[i] = queued.takeFirst();
    return true;
}

bool FrameServerCamera::ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const {
    const Frame& f = ringSlots[i];
    if (f.data.isEmpty())
        return false;
    data = reinterpret_cast<const uint8_t*>(f.data.constData());
    bytes = f.data.size();
    width = f.width;
    height = f.height;
    return true;
}

void FrameServerCamera::frameStep() {
    ++steps;
    if (playing)
        ring = (ring + 1) % 3;
}

bool FrameServerNetFeed::withNewestFrame(
    const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) {
    if (index < 0)
        return false;
    ++fetches;
    fn(reinterpret_cast<const uint8_t*>(bgr.constData()), width, height, stride);
    return true;
}
