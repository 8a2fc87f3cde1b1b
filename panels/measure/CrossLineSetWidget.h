#pragma once

#include "panels/measure/PanelKit.h"

#include <QColor>
#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;

// The cross-line editor: shows the line the engine last selected or dragged
// (setCrossLineDataSIGNAL) and sends every edit back with all seven values
// (setCrossLineInfoSIGNAL): position and angle sliders with - and + and
// Center, colour, graduation, Del (the editor then disables itself until
// the next fill) and the base line with its spacing. A fill never echoes.
// GUI thread only.
class CrossLineSetWidget : public QWidget {
    Q_OBJECT
public:
    explicit CrossLineSetWidget(QWidget* parent = nullptr);
    ~CrossLineSetWidget() override;

public slots:
    void setCrossLineDataSLOT(int index, bool isHLine, float centerPos, float angle, QColor color, bool show,
                              bool bScale);
    void changeLanguageSLOT(int language);
    void centerPosChanged(int value);
    void angleValueChanged(int value);
    void colorChanged(int value);
    void scaleChanged(bool checked);
    void posMinusSlot();
    void posPlusSlot();
    void angleMinusSlot();
    void anglePlusSlot();
    void moveCenterSlot();
    void delBtnClicked();
    void datumSetBtnSlot();

private:
    void setupUi();
    void initSize();
    void setLanguageText();
    void sendLine();
    void setTitle();

    int index = -1;
    bool isHLine = true;
    float centerPos = 0.0f;
    float angle = 0.0f;
    QColor color;
    bool show = true;
    bool bScale = false;

    PanelKit::TextMap m_texts;
    QLabel* labTitle = nullptr;
    QSpinBox* posSpinBox = nullptr;
    QSpinBox* angleSpinBox = nullptr;
    QSlider* posSlider = nullptr;
    QSlider* angleSlider = nullptr;
    QToolButton* posMinus = nullptr;
    QToolButton* posPlus = nullptr;
    QToolButton* angleMinus = nullptr;
    QToolButton* anglePlus = nullptr;
    QComboBox* colorBox = nullptr;
    QRadioButton* showRadioBtn = nullptr;
    QRadioButton* hideRadioBtn = nullptr;
    QPushButton* centerBtn = nullptr;
    QPushButton* delBtn = nullptr;
    QRadioButton* datumLineRadio = nullptr;
    QPushButton* datumSetBtn = nullptr;
    QDoubleSpinBox* datumLineWidth = nullptr;
};
