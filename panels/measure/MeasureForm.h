#pragma once

#include <QList>
#include <QWidget>

class QToolButton;

// The measurement tool palette: one button per tool number; a click sends
// the number through the hub (useMeasureToolSIGNAL), which the overlay maps
// to a shape kind.
class MeasureForm : public QWidget {
    Q_OBJECT
public:
    explicit MeasureForm(QWidget* parent = nullptr);
    // Tool numbers in palette order.
    static QList<int> toolNumbers();

public slots:
    void changeLanguageSLOT(int language);

private:
    QList<QToolButton*> m_buttons;
};
