#pragma once

#include "panels/measure/PanelKit.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QToolButton;

// The calibration-scale panel: chooses the engine's current scale, starts the
// three calibrations, deletes a scale (never position 0), sets unit and
// decimals, and keeps one scale-bar length per list position in
// ./ScaleSet.ini (groups "Camera_0_scl_<i>", key ScaleLength). Can be locked
// behind the password. Talks to the engine only through the hub. GUI thread.
class ScaleSet : public QWidget {
    Q_OBJECT
public:
    explicit ScaleSet(QWidget* parent = nullptr);
    ~ScaleSet() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The password step of the lock: runs the password dialog and answers
    // whether it was accepted, with the typed text. Replaceable (tests, or
    // before the password dialog exists).
    using PasswordAsker = std::function<bool(QString& typed)>;
    static void setPasswordAsker(PasswordAsker asker);

    QList<int> barLengths() const { return m_lengths; }

public slots:
    void btnClick();
    void comboIndexChanged(QString text);
    void spinBoxValueChanged(int value);
    void sendScaleInfoSLOT(QList<QString> names, QString current);
    void setScaleUnitSLOT(QString unit, int count);
    void slo_INIDelay();
    void checkBoxToggled(bool state);
    void changeLanguageSLOT(int language);
    // false: reads ./ScaleSet.ini into the bar-length list; true: writes it.
    void OnIniReadWrite(bool write);

private:
    void setupUi();
    void initSize();
    void initTexts();
    void setLocked(bool locked);
    // Bar length at the chosen position; 0 when no position is chosen.
    int chosenLength() const;

    QList<int> m_lengths;
    PanelKit::TextMap m_texts;
    QToolButton* btn_line = nullptr;
    QToolButton* btn_parallel = nullptr;
    QToolButton* btn_circle = nullptr;
    QToolButton* btn_del = nullptr;
    QToolButton* btnSub_ScaleLength = nullptr;
    QToolButton* btnAdd_ScaleLength = nullptr;
    QComboBox* combo_name = nullptr;
    QComboBox* combo_unit = nullptr;
    QComboBox* combo_bit = nullptr;
    QCheckBox* checkBox_lock = nullptr;
    QSpinBox* spinBox_ScaleLength = nullptr;
};
