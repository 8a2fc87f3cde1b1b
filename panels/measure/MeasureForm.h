#pragma once

#include "panels/measure/PanelKit.h"

#include <QWidget>

class QLabel;
class QToolButton;

// The measurement tool palette: 29 icon buttons named "btn_<N>", N being the
// tool number. Shape tools send N through the hub (useMeasureToolSIGNAL);
// the palette itself handles the lock pair (19, 20), auto edge (21),
// screenshot (26) and save (27). Lock and auto-edge states are kept in
// ./MeasureForm.ini. GUI thread only.
class MeasureForm : public QWidget {
    Q_OBJECT
public:
    explicit MeasureForm(QWidget* parent = nullptr);
    ~MeasureForm() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void btnClick();
    void changeLanguageSLOT(int language);
    void setAutoEdgeStateSLOT(bool on);
    void setIsCanMoveItemSLOT(bool on);
    void addIconCameraSLOT();
    void removeIconCameraSLOT();

private:
    void setupUi();
    void initSize();
    void initTexts();
    QToolButton* button(int n) const;
    // Screenshot (mode 8) or save (mode 9) of the measured picture.
    void savePicture(int mode, const QString& prefix);

    PanelKit::TextMap m_texts;
    QLabel* labTitle = nullptr;
    QLabel* labTitle_2 = nullptr;
};
