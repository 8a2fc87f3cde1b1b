#pragma once

#include <QWidget>

// The lens panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class LensForm : public QWidget {
    Q_OBJECT
public:
    explicit LensForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
