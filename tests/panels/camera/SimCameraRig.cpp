#include "SimCameraRig.h"

#include "app/hub/MessagePassing.h"
#include "camera/UVCCamera.h"
#include "camera/UvcModels.h"
#include "platform/CaptureDevice.h"

SimCameraRig::SimCameraRig(int code, const QString& options) {
    SimUsbBus::instance()->configure(QString("%1:%2").arg(code).arg(options));
    sim = SimUsbBus::instance()->cameras().value(0);
    cam.reset(UvcModels::openModel(code, 0, UvcModels::offeredFormat(code, 0)));
    MessagePassing::instance()->setCurCamera(cam.get());
}

SimCameraRig::~SimCameraRig() {
    MessagePassing::instance()->setCurCamera(nullptr);
    cam.reset();
    SimUsbBus::instance()->configure(QString());
}

QVector<int> SimCameraRig::registerSets(const std::function<void()>& fn) {
    sim->clearTraffic();
    fn();
    return registerWords();
}

QVector<int> SimCameraRig::registerWords() const {
    QVector<int> words;
    for (const SimTraffic& t : sim->traffic())
        if (t.kind == SimTraffic::Set && t.prop == CaptureProp::Contrast)
            words.append(int(t.value));
    return words;
}
