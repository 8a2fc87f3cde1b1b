#pragma once

#include <QWidget>

class QPushButton;

// The central widget: a frameless, translucent top-level window laid over the
// main window; holds the whole visible interface (placeholder layout for now).
class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr);

public slots:
    // The close button: hides the windows and starts the shutdown road.
    void btnCloseClick();

private:
    QPushButton* btnClose = nullptr;
};
