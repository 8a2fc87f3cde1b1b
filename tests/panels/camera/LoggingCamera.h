#pragma once

#include "camera/BaseCamera.h"

#include <QElapsedTimer>
#include <QVector>

// A camera stub that keeps a timed log of what the panels ask of it: each
// call as its name and up to two values, with milliseconds since the log was
// last cleared. The control map is the test's to fill.
class LoggingCamera : public BaseCamera {
    Q_OBJECT
public:
    struct Call {
        qint64 ms;
        QString name;
        int a, b;
    };
    LoggingCamera();
    QString className() const override { return name; }
    bool isNetCamera() const override { return net; }
    bool supportCameraMode() const override { return true; }
    void setControls(const CameraControlMap& map) { controls = map; }
    void setControl(int key, const QList<int>& list) { controls[key] = list; }
    void clear();
    // Calls named `name`, in order.
    QVector<Call> calls(const QString& name) const;

    void setHFlip(int on) override { log("setHFlip", on); }
    void setVFlip(int on) override { log("setVFlip", on); }
    void setBWMode(int on) override { log("setBWMode", on); }
    void set3DNR(int on) override { log("set3DNR", on); }
    void setRmPurple(int on) override { log("setRmPurple", on); }
    void setExposureType(int type) override { log("setExposureType", type); }
    void setCameraMode(int mode) override { log("setCameraMode", mode); }
    void setExposureRange(QSlider* slider, bool longExposure) override;
    void setParam(int key, int value) override { log("setParam", key, value); }
    QString exposureText(int value, bool longExposure, bool apply) override;
    int exposureToSlider(int value, bool) override { return value; }
    bool resetParams() override;
    void syncParams() override;
    void refreshParams() override { log("refreshParams"); }

    QString name = "UVCCamera_Corvo";
    bool net = false;
    bool resetAnswer = true;
    QVector<Call> log_;

private:
    void log(const QString& call, int a = 0, int b = 0) { log_.append({clock.elapsed(), call, a, b}); }
    QElapsedTimer clock;
};
