#include "PanelTestKit.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

int CallLog::find(const QString& prefix, int from) const {
    for (int i = from; i < calls.size(); ++i)
        if (calls[i].startsWith(prefix))
            return i;
    return -1;
}

int CallLog::count(const QString& prefix) const {
    int n = 0;
    for (const QString& c : calls)
        n += c.startsWith(prefix) ? 1 : 0;
    return n;
}

void RecordingCamera::snapImage(QString path, int mode, bool autoName, bool timeSign, QColor colour, int position,
                                int size) {
    log.add(QString("snapImage(%1,%2,%3,%4,%5,%6,%7)")
                .arg(path)
                .arg(mode)
                .arg(autoName)
                .arg(timeSign)
                .arg(colour.name())
                .arg(position)
                .arg(size));
}

ModalAnswerer::ModalAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(5);
}

void ModalAnswerer::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxTitles << box->windowTitle();
        boxTexts << box->text();
        box->accept();
    } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
        input->setTextValue(inputText);
        input->accept();
    }
}
