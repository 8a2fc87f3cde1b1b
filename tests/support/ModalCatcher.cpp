#include "tests/support/ModalCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>

ModalCatcher::ModalCatcher() {
    connect(&m_timer, &QTimer::timeout, this, &ModalCatcher::poll);
    m_timer.start(5);
}

void ModalCatcher::poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;

        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            titles << box->windowTitle();
            texts << box->text();
            // A question (a file dialog's "replace it?") is answered yes.
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->done(QMessageBox::Ok);
            box->hide();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            ++fileDialogs;
            if (fileAnswer.isEmpty()) {
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            } else {
                dialog->selectFile(fileAnswer);
                // Typed into the name field as well: selectFile() leaves a
                // field that has the focus as it is, and the dialog then
                // refuses the accept and stays open. Whether the field has
                // the focus yet depends on when the window's activation
                // arrives, so it is given the focus here first and every
                // answer takes the same path.
                if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
                    QApplication::setActiveWindow(dialog);
                    name->setFocus();
                    name->setText(fileAnswer);
                }
                // Queued: accepting may ask a question in a nested loop, and
                // this timer does not fire again until poll() returns.
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
        }
    }
}

OpenedFiles::OpenedFiles() {
    QDesktopServices::setUrlHandler("file", this, "open");
}

OpenedFiles::~OpenedFiles() {
    QDesktopServices::unsetUrlHandler("file");
}

void OpenedFiles::open(const QUrl& url) {
    paths << url.toLocalFile();
}
