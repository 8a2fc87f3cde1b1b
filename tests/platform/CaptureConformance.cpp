#include "CaptureConformance.h"

#include <turbojpeg.h>

#include <chrono>
#include <future>
#include <vector>

namespace {

bool isJpegOfSize(const uint8_t* data, int bytes, int w, int h) {
    tjhandle tj = tjInitDecompress();
    int jw = 0, jh = 0, ss = 0, cs = 0;
    const bool ok = tjDecompressHeader3(tj, data, (unsigned long)bytes, &jw, &jh, &ss, &cs) == 0;
    tjDestroy(tj);
    return ok && jw == w && jh == h;
}

// Frames handed over while one is held, as the video ring takes them (each
// slot gives back the buffer it had): the held frame must read the same after
// every later frame, and the later frames must differ from it (the camera's
// moving mark), or a write under it could not be seen.
QStringList handOverFailures(CaptureDevice& device, int format, size_t capacity) {
    QStringList failures;
    QByteArray held;
    int heldBytes = 0, w = 0, h = 0;
    if (!device.takeFrame(held, capacity, heldBytes, w, h) || held.size() < heldBytes) {
        failures << QString("format %1: no frame handed over").arg(format);
        return failures;
    }
    const QByteArray copy(held.constData(), heldBytes); // a deep copy
    QByteArray ring[3];
    bool differs = false;
    for (int i = 0; i < 12; ++i) {
        int bytes = 0;
        if (!device.takeFrame(ring[i % 3], capacity, bytes, w, h)) {
            failures << QString("format %1: no frame %2 handed over").arg(format).arg(i + 2);
            break;
        }
        differs = differs || QByteArray(ring[i % 3].constData(), bytes) != copy;
        if (QByteArray(held.constData(), heldBytes) != copy) {
            failures << QString("format %1: a held frame was written by frame %2").arg(format).arg(i + 2);
            break;
        }
    }
    if (!differs)
        failures << QString("format %1: frames handed over never change").arg(format);
    return failures;
}

} // namespace

QStringList captureConformance(CaptureDevice& device, int index) {
    QStringList failures;
    for (int round = 0; round < 3; ++round) {
        if (!device.open(index))
            failures << QString("open %1 failed").arg(round + 1);
        else if (!device.isOpened())
            failures << "opened device does not report open";
        device.release();
        if (device.isOpened())
            failures << "released device reports open";
    }
    if (!device.open(index)) {
        failures << "cannot open for the remaining checks";
        return failures;
    }
    for (const double value : {12.0, 47.0, 3.0}) {
        device.set(CaptureProp::Sharpness, value);
        if (device.get(CaptureProp::Sharpness) != value)
            failures << QString("get after set(%1) answered something else").arg(value);
    }
    const int w = 320, h = 240;
    device.set(CaptureProp::FrameWidth, w);
    device.set(CaptureProp::FrameHeight, h);
    std::vector<uint8_t> buf(size_t(w) * h * 2);
    for (const int format : {22, 6, 15}) {
        if (!device.selectPixelFormat(format)) {
            failures << QString("format %1 refused").arg(format);
            continue;
        }
        int bytes = 0, fw = 0, fh = 0;
        if (!device.readRaw(buf.data(), buf.size(), bytes, fw, fh)) {
            failures << QString("no frame in format %1").arg(format);
            continue;
        }
        if (fw != w || fh != h)
            failures << QString("format %1: frame %2x%3, asked %4x%5").arg(format).arg(fw).arg(fh).arg(w).arg(h);
        const bool sized = format == 22 ? bytes == w * h * 3 / 2
                                        : format == 6 ? bytes == w * h * 2 : isJpegOfSize(buf.data(), bytes, w, h);
        if (!sized)
            failures << QString("format %1: %2 bytes do not make a frame of the size").arg(format).arg(bytes);
    }
    for (const int format : {22, 6, 15})
        if (device.selectPixelFormat(format))
            failures << handOverFailures(device, format, buf.size());
    int bytes = 0, fw = 0, fh = 0;
    if (device.readRaw(buf.data(), 16, bytes, fw, fh))
        failures << "a frame larger than the buffer was copied";
    QByteArray kept("kept");
    if (device.takeFrame(kept, 16, bytes, fw, fh) || kept != "kept")
        failures << "a frame larger than the capacity was handed over";
    device.release();
    if (device.readRaw(buf.data(), buf.size(), bytes, fw, fh))
        failures << "read after release gave a frame";
    return failures;
}

QStringList stallConformance(CaptureDevice& device, int index, const std::function<void(bool)>& stall) {
    QStringList failures;
    if (!device.open(index))
        return {"cannot open"};
    device.setReadTimeout(1);
    std::vector<uint8_t> buf(size_t(4096) * 3072 * 2); // the largest frame of the models
    // Runs step on another thread and waits for it: a step still running
    // after a minute waits for the stalled camera (which sends its next
    // frame only after many minutes) and would have held up the interface.
    // A step that does not wait takes milliseconds, and a minute is "never"
    // for it also under a sanitizer on a busy machine. The first step found
    // waiting ends the check (each would cost its minute).
    bool waited = false;
    auto returns = [&](const QString& what, std::function<void()> step) {
        if (waited)
            return;
        auto done = std::async(std::launch::async, std::move(step));
        if (done.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
            failures << what + " waited for the stalled camera";
            stall(false);
            done.wait();
            waited = true;
        }
    };
    auto read = [&] {
        int bytes = 0, w = 0, h = 0;
        device.readRaw(buf.data(), buf.size(), bytes, w, h);
    };
    stall(true);
    returns("the first read after open", read);
    returns("a second read", read);
    returns("a control set", [&] { device.set(CaptureProp::Sharpness, 9); });
    returns("a control get", [&] { device.get(CaptureProp::Sharpness); });
    returns("a size change", [&] {
        device.set(CaptureProp::FrameWidth, 640);
        device.set(CaptureProp::FrameHeight, 480);
    });
    returns("the first read after a size change", read);
    returns("a format change", [&] { device.selectPixelFormat(6); });
    returns("the first read after a format change", read);
    stall(false);
    if (waited) {
        device.release();
        return failures;
    }
    // Sending again, frames come back: reads that time out are tried again
    // until a bound meant for "never" (a slow, busy or instrumented machine
    // can take seconds for the first frame of the new size).
    bool frame = false;
    device.setReadTimeout(50);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!frame && std::chrono::steady_clock::now() < giveUp) {
        int bytes = 0, w = 0, h = 0;
        frame = device.readRaw(buf.data(), buf.size(), bytes, w, h) && w == 640 && h == 480;
    }
    if (!frame)
        failures << "no frame of the new size once the camera sends again";
    device.release();
    return failures;
}
