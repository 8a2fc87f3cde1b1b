#pragma once

#include "platform/CaptureDevice.h"

#include <QStringList>

#include <functional>

// The checks every capture backend must pass, run on a device the caller
// opens by index: repeatable open and release, a get that answers the
// preceding set, raw frames in each pixel format with the byte counts of
// that format, frames handed over never written while held, and no frame
// after release. Returns the failures (empty when
// the device conforms).
QStringList captureConformance(CaptureDevice& device, int index);

// The stall check every backend must pass: with a read timeout of 1 ms set,
// no read waits for a camera that sends nothing, whether it is the first read
// after open, after a size change or after a format change, and a control
// set or get meanwhile comes back too. `stall(true)` makes the camera stall,
// `stall(false)` lets it send again; a stalled camera must send nothing for
// well over a minute. A step that does not come back within a minute is a
// failure (the camera is then let go so the step can end), and the last.
QStringList stallConformance(CaptureDevice& device, int index, const std::function<void(bool)>& stall);
