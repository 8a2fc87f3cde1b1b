#pragma once

#include <QWidget>

// The recent-snapshot strip. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class SnapHistory : public QWidget {
    Q_OBJECT
public:
    explicit SnapHistory(QWidget* parent = nullptr);
    void showAndReload();
    void renewLayout();

public slots:
    void changeLanguageSLOT(int language);
};
