#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QTimer;
struct Ui_CameraTimeSet;

// The time-lapse panel: a number of shots at a fixed interval after a start
// delay, each with its unit; start, pause/continue and cancel; a progress bar.
// Shots go to the current camera's queued snapshot (mode 10) named
// "<base>_00001" and on; the hub's time-lapse flag is held while a series
// runs. Settings in ./CameraTimeSet.ini. GUI thread.
class CameraTimeSet : public QWidget {
    Q_OBJECT
public:
    explicit CameraTimeSet(QWidget* parent = nullptr);
    ~CameraTimeSet() override;

    // Milliseconds of `value` in unit `index` (0 minute, 1 second, 2 ms).
    static qint64 toMilliseconds(int value, int index);
    // The largest spin value whose milliseconds a timer can hold, per unit.
    static int maximumFor(int index);

public slots:
    void changeLanguageSLOT(int language);
    void spinBoxValueChanged(int value);
    void comboBoxIntervalIndexChanged(int index);
    void comboBoxDelayIndexChanged(int index);
    void btnDelayShootClick();
    void btnDelayShootClickAgain();
    void btnCancleClick();
    void btnCancleClickDelay();
    void btnPausePlayClick();

private:
    void initSize();
    void initTexts();
    void applyUnitLimits();
    void endSeries();

    Ui_CameraTimeSet* ui;
    QMap<QString, QStringList> uiTexts;
    int remainCount = 0;
    QTimer* intervalTimer = nullptr;
    // The start delay's single shot, owned so that a cancel can abandon it.
    QTimer* delayTimer = nullptr;
    QString baseName;
    QString pauseKeySuffix;
};
