#pragma once

#include "panels/measure/PanelKit.h"

#include <QWidget>

class QCheckBox;

// The label switches: nine check boxes choosing which values the labels of
// circles, arcs and point-to-point distances show. A click writes the box's
// key of ./INI/MeasureData.ini and asks the engine to repaint; the shapes
// read the file whenever they build a label. GUI thread only.
class MarkForm : public QWidget {
    Q_OBJECT
public:
    explicit MarkForm(QWidget* parent = nullptr);
    ~MarkForm() override;

public slots:
    void checkBoxRToggled(bool on);
    void checkBoxDToggled(bool on);
    void checkBoxP2PToggled(bool on);
    void checkBoxP2PCenterToggled(bool on);
    void checkBoxArcToggled(bool on);
    void checkBoxEAngleToggled(bool on);
    void checkBoxNAngleToggled(bool on);
    void checkBoxArc_RToggled(bool on);
    void checkBoxArc_DToggled(bool on);
    void changeLanguageSLOT(int language);

private:
    void setupUi();
    void initSize();
    void setLanguageText();
    static void store(const char* key, bool on);
    QCheckBox* box(const char* name) const;

    PanelKit::TextMap m_texts;
};
