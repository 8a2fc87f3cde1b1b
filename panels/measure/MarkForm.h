#pragma once

#include <QWidget>

// The label-content settings. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class MarkForm : public QWidget {
    Q_OBJECT
public:
    explicit MarkForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
