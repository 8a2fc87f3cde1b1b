#pragma once

#include <QWidget>

// The scale panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class ScaleSet : public QWidget {
    Q_OBJECT
public:
    explicit ScaleSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
