#pragma once

#include <QWidget>

// The measurement data table. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class MeasureDataForm : public QWidget {
    Q_OBJECT
public:
    explicit MeasureDataForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
