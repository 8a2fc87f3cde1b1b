#pragma once

#include "panels/measure/PanelKit.h"

#include <QColor>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QSettings;
class QSpinBox;
class QToolButton;

// The cross-line grid panel: numbers of horizontal and vertical lines (never
// below what the engine holds), delete-all, colour of new lines and of the
// reticle, width of all lines, hide, and the reticle switches. Requests go
// through the hub; the panel's own choices are kept in ./LineFormSet.ini.
// GUI thread only.
class LineForm : public QWidget {
    Q_OBJECT
public:
    explicit LineForm(QWidget* parent = nullptr);
    ~LineForm() override;

    // A stored colour index (0..8) or width index (0..5); anything else, text
    // included, gives 0.
    static int storedIndex(const QSettings& settings, const char* key, int count);

public slots:
    void btnAddHClick();
    void btnSubHClick();
    void btnAddVClick();
    void btnSubVClick();
    void btnHOKClick();
    void btnVOKClick();
    void delAllCrossLine();
    void hideCheckToggled(bool hidden);
    void colorBoxIndexChanged(int index);
    void sendCrossLineInfoSLOT(int hor, int ver, QColor color);
    void checkBoxTenToggled(bool on);
    void checkBoxCenterToggled(bool on);
    void onesecondDelay();
    void changeLanguageSLOT(int language);
    void changeResolutionSLOT();
    void slo_ComboBoxWidthChanged(int index);

private:
    void setupUi();
    void initSize();
    void setLanguageText();
    void sendCount(QSpinBox* box, bool horizontal);
    static void resetCount(QSpinBox* box, int count);
    QColor currentColour() const;

    PanelKit::TextMap m_texts;
    QSpinBox* horizontalNumber = nullptr;
    QSpinBox* verticalNumber = nullptr;
    QToolButton* btnAddH = nullptr;
    QToolButton* btnSubH = nullptr;
    QToolButton* btnAddV = nullptr;
    QToolButton* btnSubV = nullptr;
    QToolButton* btnHOK = nullptr;
    QToolButton* btnVOK = nullptr;
    QToolButton* delAllBtn = nullptr;
    QLabel* horizontalLabel = nullptr;
    QLabel* verticalLabel = nullptr;
    QComboBox* colorBox = nullptr;
    QComboBox* comboBoxWidth = nullptr;
    QCheckBox* hideCheck = nullptr;
    QCheckBox* checkBoxTen = nullptr;
    QCheckBox* checkBoxCenter = nullptr;
};
