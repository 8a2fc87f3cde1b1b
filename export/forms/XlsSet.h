#pragma once

#include <QWidget>

// The export settings panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class XlsSet : public QWidget {
    Q_OBJECT
public:
    explicit XlsSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
