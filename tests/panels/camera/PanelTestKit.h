#pragma once

#include "camera/BaseCamera.h"
#include "camera/UVCCamera.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Fakes and tools for the camera panel tests.

// Calls made on a fake camera, each "name(args)" with the milliseconds since
// the log was made.
struct CallLog {
    QElapsedTimer clock;
    QStringList calls;
    QList<qint64> times;
    CallLog() { clock.start(); }
    void add(const QString& call) {
        calls << call;
        times << clock.elapsed();
    }
    // Index of the first call starting with prefix, -1 when none.
    int find(const QString& prefix, int from = 0) const;
    int count(const QString& prefix) const;
};

// A camera that records what the panels ask of it.
class RecordingCamera : public BaseCamera {
    Q_OBJECT
public:
    QString name = "UVCCamera_Yselt";
    bool net = false;
    bool recordResult = true;
    CallLog log;
    QString className() const override { return name; }
    bool isNetCamera() const override { return net; }
    void play() override { log.add("play"); }
    void pause() override { log.add("pause"); }
    void setResolution(int index) override { log.add(QString("setResolution(%1)").arg(index)); }
    void snapImage(QString path, int mode, bool autoName, bool timeSign, QColor colour, int position,
                   int size) override;
    bool startRecord(QString path) override {
        log.add("startRecord(" + path + ")");
        return recordResult;
    }
    void stopRecord() override { log.add("stopRecord"); }
};

// A 4K USB camera with Fast Mode whose resolution changes are only logged.
class FastModeUsbCamera : public UVCCamera {
    Q_OBJECT
public:
    explicit FastModeUsbCamera(int resolution = 0) { m_resolutionIndex = resolution; }
    CallLog log;
    QString className() const override { return "UVCCamera_Corvo"; }
    bool supportFastMode() const override { return true; }
    void play() override { log.add("play"); }
    void pause() override { log.add("pause"); }
    void setResolution(int index) override {
        m_resolutionIndex = index;
        log.add(QString("setResolution(%1)").arg(index));
    }
};

// Answers every modal dialog that opens while it lives: message boxes are
// accepted (their texts kept), input dialogs get `inputText` and are accepted.
class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    ModalAnswerer();
    QString inputText;
    QStringList boxTitles;
    QStringList boxTexts;

private slots:
    void poll();

private:
    QTimer m_timer;
};
