#include "tests/support/ModalAnswer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

void answerNextModal(const char* className, std::function<void(QWidget*)> answer, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=]() {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal && modal->inherits(className) && modal->isVisible();
        if (!found && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (found)
            answer(modal);
    });
    timer->start(5);
}

void dismissNextMessageBox(QString* text) {
    answerNextModal("QMessageBox", [text](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        if (text)
            *text = box->text();
        box->done(0);
    });
}
