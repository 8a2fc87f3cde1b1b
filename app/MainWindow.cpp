#include "app/MainWindow.h"

#include "app/MainWidget.h"
#include "app/MessagePassing.h"

#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

QWidget* videoHostWidget = nullptr;

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("MainWindow");
    setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
    setWindowTitle("Sevrin");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    widget_center = new QWidget(this);
    widget_center->setObjectName("widget_center");
    layout->addWidget(widget_center);
    videoHostWidget = widget_center;

    QSettings other("./OtherSet.ini", QSettings::IniFormat);
    MessagePassing::instance()->setLanguage(other.value("language", 0).toInt());

    m_mainWidget = new MainWidget(nullptr);
    QTimer::singleShot(35, this, &MainWindow::startDelay);
}

void MainWindow::startDelay() {
    showMaximized();
    m_mainWidget->setGeometry(geometry());
    m_mainWidget->show();
}
