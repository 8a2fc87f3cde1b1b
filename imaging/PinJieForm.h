#pragma once

#include <QWidget>

// The stitching panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class PinJieForm : public QWidget {
    Q_OBJECT
public:
    explicit PinJieForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
