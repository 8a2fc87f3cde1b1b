#pragma once

#include <QWidget>

// The time-lapse panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class CameraTimeSet : public QWidget {
    Q_OBJECT
public:
    explicit CameraTimeSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
