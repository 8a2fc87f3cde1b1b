#pragma once

#include <QWidget>

// The cross-line editor. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class CrossLineSetWidget : public QWidget {
    Q_OBJECT
public:
    explicit CrossLineSetWidget(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
