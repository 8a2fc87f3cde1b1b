#pragma once

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"

#include <QElapsedTimer>
#include <QSlider>
#include <QVector>

// A camera stub keeping a timed log of what a panel asks of it: each call's
// name, up to two values, and milliseconds since the last clear. Every
// control exists ({0, 100, 0} or {1, 0}) until the test says otherwise.
class LoggingCamera : public BaseCamera {
public:
    struct Call {
        qint64 ms;
        QString name;
        int a, b;
    };
    LoggingCamera() {
        for (int k = 0; k <= 16; ++k)
            controls[k] = k < 10 ? QList<int>{0, 100, 0} : QList<int>{1, 0};
        clock.start();
    }
    void setControl(int key, const QList<int>& list) { controls[key] = list; }
    void clear() { log_.clear(), clock.restart(); }
    QVector<Call> calls(const QString& call) const {
        QVector<Call> found;
        for (const Call& c : log_)
            if (c.name == call)
                found.append(c);
        return found;
    }

    QString className() const override { return "UVCCamera_Corvo"; }
    bool supportCameraMode() const override { return true; }
    void setHFlip(int on) override { log("setHFlip", on); }
    void setVFlip(int on) override { log("setVFlip", on); }
    void setBWMode(int on) override { log("setBWMode", on); }
    void setExposureType(int type) override { log("setExposureType", type); }
    void setParam(int key, int value) override { log("setParam", key, value); }
    void setExposureRange(QSlider* slider, bool isLong) override { slider->setRange(0, isLong ? 1000 : 100); }
    QString exposureText(int value, bool isLong, bool apply) override {
        if (apply)
            log("exposure", value, isLong);
        return QString("%1 us").arg(value);
    }
    int exposureToSlider(int value, bool) override { return value; }
    bool resetParams() override { return log("resetParams"), resetAnswer; }
    void syncParams() override { log("syncParams"), MessagePassing::instance()->initImgEffect(); }

    bool resetAnswer = true;
    QVector<Call> log_;

private:
    void log(const QString& call, int a = 0, int b = 0) { log_.append({clock.elapsed(), call, a, b}); }
    QElapsedTimer clock;
};
