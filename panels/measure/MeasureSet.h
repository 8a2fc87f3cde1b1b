#pragma once

#include "panels/measure/PanelKit.h"

#include <QWidget>

class QComboBox;
class QRadioButton;
class QSpinBox;
class QToolButton;

// The measurement settings panel "Measure Setting": eleven settings kept in
// INI/MeasureSet.ini (group MeasureSet) under the application directory,
// each change written at once and announced by its own hub signal. The font
// size is shown one above its stored form for the stored 14 and 15. GUI
// thread only.
class MeasureSet : public QWidget {
    Q_OBJECT
public:
    explicit MeasureSet(QWidget* parent = nullptr);
    ~MeasureSet() override;

    // Stored font size -> shown, and back: 14 <-> 15, 15 <-> 16.
    static int shownFontSize(int stored);
    static int storedFontSize(int shown);

public slots:
    void btnClick();
    void spinBoxValueChanged(int value);
    void comboIndexChanged(int index);
    void changeLanguageSLOT(int language);
    void rBtnShowToggled(bool checked);
    void oneSecondLater();

private:
    void setupUi();
    void scaleWidgets();
    void initTexts();
    static QString file();
    static void write(const char* key, const QVariant& value);

    PanelKit::TextMap m_texts;
    QSpinBox* spinBox_lineWidth = nullptr;
    QSpinBox* spinBox_fontSize = nullptr;
    QSpinBox* spinBoxChiWidth = nullptr;
    QSpinBox* spinBox_AutoEdge = nullptr;
    QComboBox* combo_itemColor = nullptr;
    QComboBox* combo_fontColor = nullptr;
    QComboBox* comboChiColor = nullptr;
    QComboBox* comboLineSave = nullptr;
    QComboBox* comboMode = nullptr;
    QComboBox* comboMouse = nullptr;
    QRadioButton* rBtnShow = nullptr;
    QRadioButton* rBtnHide = nullptr;
    QList<QToolButton*> m_steps;
};
