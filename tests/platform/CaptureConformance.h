#pragma once

#include "platform/CaptureDevice.h"

#include <QStringList>

#include <functional>

// The checks every capture backend must pass, run on a device the caller
// opens by index: repeatable open and release, a get that answers the
// preceding set, raw frames in each pixel format with the byte counts of
// that format, and no frame after release. Returns the failures (empty when
// the device conforms).
QStringList captureConformance(CaptureDevice& device, int index);
