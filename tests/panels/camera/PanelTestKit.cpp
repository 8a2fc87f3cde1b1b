#include "PanelTestKit.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxTitles << box->windowTitle();
            boxTexts << box->text();
            box->accept();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            input->setTextValue(inputText);
            input->accept();
        }
    });
    m_timer.start(5);
}
