#pragma once

#include "FakeUsbWorkers.h"
#include "camera/SDLBackground.h"
#include "tests/support/TestEnv.h"

#include <QSize>
#include <QString>

#include <opencv2/core.hpp>

#include <memory>

class SimUsbCamera;

// How far the picture the window shows last is from a camera's picture:
// the reference (BGR, the frame before any coding) is scaled by area to the
// drawn size and compared with the canvas there; the sum over the three
// channels of the mean absolute difference.
double shownPictureError(const SDLBackground& window, const cv::Mat& cameraPicture);

// The program's video window on a canvas of the given size, as the global video window, with
// the simulated cameras of `spec` at the 1080p setting (no moving mark) and
// fake worker threads, in a test folder of its own. Undone on destruction.
struct SimVideoRig {
    SimVideoRig(const QString& spec, QSize canvas);
    ~SimVideoRig();
    TestEnv env;
    FakeUsbWorkers workers;
    std::shared_ptr<SimUsbCamera> sim;
    SDLBackground window;
};
