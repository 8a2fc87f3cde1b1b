#pragma once

#include "measure/engine/ItemLayer.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a new calibration scale: name, unit (default "mm"), decimals
// 0..4 (default 2) and real length 0..10000.00. Validates nothing; the
// engine checks the answers and asks again with a fresh dialog. The length
// field clears its text whenever it gets the focus. GUI thread only.
class SetScaleInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetScaleInfoDialog(QWidget* parent = nullptr);
    QString GetScaleName() const;
    QString GetScaleUnit() const;
    int GetScaleBits() const;
    double GetScaleLength() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The engine's dialog step: a fresh dialog without parent, application-
    // modal, and its four answers.
    static ItemLayer::ScaleEntry askScale();

private:
    QLabel* nameLabel = nullptr;
    QLabel* unitLabel = nullptr;
    QLabel* bitsLabel = nullptr;
    QLabel* lenghtLabel = nullptr;
    QLineEdit* nameLine = nullptr;
    QComboBox* unitBox = nullptr;
    QComboBox* bitsBox = nullptr;
    QDoubleSpinBox* lenghtSpinBox = nullptr;
    QPushButton* sureBtn = nullptr;
    QPushButton* cancelBtn = nullptr;
};
