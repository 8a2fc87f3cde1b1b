#pragma once

#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "tests/support/TestEnv.h"

#include <QVector>
#include <functional>
#include <memory>

// A USB model opened on simulated camera 0 of its device code and made the
// hub's current camera, in a fresh working directory; sleeps faked. Undone
// on destruction.
struct SimCameraRig {
    TestEnv env;
    SleepClock::FakeTime clock;
    std::shared_ptr<SimUsbCamera> sim;
    std::unique_ptr<UVCCamera> cam;

    explicit SimCameraRig(int code, const QString& options = "fps=0");
    ~SimCameraRig();
    template <class T> T* as() const { return qobject_cast<T*>(cam.get()); }
    // The register words (property 11) that fn sets, reads included.
    QVector<int> registerSets(const std::function<void()>& fn);
    // The register words set since the traffic was last cleared.
    QVector<int> registerWords() const;
};
