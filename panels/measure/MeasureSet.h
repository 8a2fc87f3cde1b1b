#pragma once

#include <QWidget>

// The measurement display settings. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class MeasureSet : public QWidget {
    Q_OBJECT
public:
    explicit MeasureSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
