#pragma once

#include <functional>

#include "camera/UVCCamera.h"

#include <QElapsedTimer>
#include <QTimer>

// Fakes and tools for the camera panel tests.

// Rows of name prefixes a settings file may hold that must not lead a file
// out of its folder (column "stored").
void addStoredPrefixRows();

// Calls made on a fake camera as "name(args)", with milliseconds since creation.
struct CallLog {
    QElapsedTimer clock;
    QStringList calls;
    QList<qint64> times;
    CallLog() { clock.start(); }
    void add(const QString& call) { calls << call, times << clock.elapsed(); }
    int count(const QString& prefix) const {
        return calls.filter(QRegExp("^" + QRegExp::escape(prefix))).size();
    }
};

// A camera of any class name that records what the panels ask of it.
class RecordingCamera : public BaseCamera {
    Q_OBJECT
public:
    QString name = "UVCCamera_Yselt";
    bool net = false;
    bool recordResult = true;
    CallLog log;
    QString className() const override { return name; }
    bool isNetCamera() const override { return net; }
    void snapImage(QString path, int mode, bool autoName, bool timeSign, QColor colour, int pos,
                   int size) override {
        log.add(QString("snapImage(%1,%2,%3,%4,%5,%6,%7)")
                    .arg(path)
                    .arg(mode)
                    .arg(autoName)
                    .arg(timeSign)
                    .arg(colour.name())
                    .arg(pos)
                    .arg(size));
    }
    std::function<void()> onStartRecord; // runs as a recording starts
    bool startRecord(QString path) override {
        if (onStartRecord)
            onStartRecord();
        return log.add("startRecord(" + path + ")"), recordResult;
    }
    void stopRecord() override { log.add("stopRecord"); }
};

// A 4K USB camera with Fast Mode whose play, pause and resolution are only logged.
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
        m_resolutionIndex = index, log.add(QString("setResolution(%1)").arg(index));
    }
};

// While it lives, accepts every modal message box (keeping title and text)
// and answers input dialogs with `inputText`.
class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    ModalAnswerer();
    QString inputText;
    QStringList boxTitles, boxTexts;

private:
    QTimer m_timer;
};
