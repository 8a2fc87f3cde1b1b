#pragma once

#include <QWidget>

// The guide-line panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class LineForm : public QWidget {
    Q_OBJECT
public:
    explicit LineForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
