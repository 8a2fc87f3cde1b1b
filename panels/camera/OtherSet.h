#pragma once

#include <QWidget>

// The general settings panel (language, frame rates, fast mode). Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class OtherSet : public QWidget {
    Q_OBJECT
public:
    explicit OtherSet(QWidget* parent = nullptr);
    void initFPSList();

public slots:
    void changeLanguageSLOT(int language);
};
