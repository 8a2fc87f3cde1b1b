#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QToolButton;

// The scale panel: the current camera's calibration scales to choose from,
// and the start of a new two-point calibration.
class ScaleSet : public QWidget {
    Q_OBJECT
public:
    explicit ScaleSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
    void sendScaleInfoSLOT(QList<QString> names, QString current);

private:
    QComboBox* comboScale = nullptr;
    QToolButton* btnNew = nullptr;
};
