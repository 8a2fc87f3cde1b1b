#pragma once

#include <QWidget>

// The overlay image view. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class OpacityForm : public QWidget {
    Q_OBJECT
public:
    explicit OpacityForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
