#include "app/MainWidget.h"

#include "app/MessagePassing.h"
#include "camera/deviceForm.h"
#include "platform/ProcessEnd.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>

MainWidget::MainWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("MianWidget");
    setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(this);
    auto* devices = new deviceForm(this);
    layout->addWidget(devices);
    btnClose = new QPushButton("X", this);
    btnClose->setObjectName("btnClose");
    layout->addWidget(btnClose, 0, Qt::AlignTop | Qt::AlignRight);
    connect(btnClose, &QPushButton::clicked, this, &MainWidget::btnCloseClick);
}

void MainWidget::btnCloseClick() {
    if (parentWidget())
        parentWidget()->hide();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "MainWindow")
            w->hide();
    hide();
    auto* devices = findChild<deviceForm*>();
    if (!devices) {
        ProcessEnd::requestExit(0);
        return;
    }
    devices->setExitAction([](bool netCameraUsed) {
        Q_UNUSED(netCameraUsed) // the camera SDK's resources are released by the network driver
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "MainWindow")
                w->close();
        ProcessEnd::requestExit(0);
    });
    devices->stopSDLLoop();
}
