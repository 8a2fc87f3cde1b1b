#include "LoggingCamera.h"

#include "app/MessagePassing.h"

#include <QSlider>

LoggingCamera::LoggingCamera() {
    for (int k = 0; k < 10; ++k)
        controls[k] = {0, 100, 0};
    for (int k = 10; k <= 16; ++k)
        controls[k] = {1, 0};
    clock.start();
}

void LoggingCamera::clear() {
    log_.clear();
    clock.restart();
}

QVector<LoggingCamera::Call> LoggingCamera::calls(const QString& call) const {
    QVector<Call> found;
    for (const Call& c : log_)
        if (c.name == call)
            found.append(c);
    return found;
}

void LoggingCamera::setExposureRange(QSlider* slider, bool longExposure) {
    log("setExposureRange", longExposure);
    slider->setRange(0, longExposure ? 1000 : 100);
}

QString LoggingCamera::exposureText(int value, bool longExposure, bool apply) {
    if (apply)
        log("exposure", value, longExposure);
    return QString("%1 us").arg(value);
}

bool LoggingCamera::resetParams() {
    log("resetParams");
    return resetAnswer;
}

void LoggingCamera::syncParams() {
    log("syncParams");
    MessagePassing::instance()->initImgEffect();
}
