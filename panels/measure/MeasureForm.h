#pragma once

#include <QWidget>

// The measurement tool palette. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class MeasureForm : public QWidget {
    Q_OBJECT
public:
    explicit MeasureForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
