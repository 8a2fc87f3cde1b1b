#pragma once

#include <QWidget>

// The live-view control bar (play, pause, snap, record). Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class CameraForm : public QWidget {
    Q_OBJECT
public:
    explicit CameraForm(QWidget* parent = nullptr);
    void playIfPaused();

public slots:
    void changeLanguageSLOT(int language);
};
