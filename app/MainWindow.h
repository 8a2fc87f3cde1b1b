#pragma once

#include <QWidget>

class MainWidget;

// The main window: frameless and maximised; its centre widget hosts the video
// window. Reads the language at start and shows itself 35 ms after construction.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    MainWidget* centralWidgetWindow() const { return m_mainWidget; }

private slots:
    void startDelay();

private:
    QWidget* widget_center = nullptr;
    MainWidget* m_mainWidget = nullptr;
};

// The main window's centre widget, parent of the video display.
extern QWidget* videoHostWidget;
