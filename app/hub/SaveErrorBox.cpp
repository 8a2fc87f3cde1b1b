#include "app/hub/SaveErrorBox.h"

#include "app/hub/MessagePassing.h"
#include "platform/FileCommit.h"
#include "platform/WriteProblem.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QtDebug>

namespace {
QPointer<QMessageBox> g_box; // one box, however many writes fail
}

void SaveErrorBox::show(const QString& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app))
        return;
    QMetaObject::invokeMethod(
        app,
        [text] {
            if (g_box && g_box->isVisible()) {
                g_box->setText(text);
                g_box->raise();
                return;
            }
            auto* box = new QMessageBox(QMessageBox::Warning, "Error", text, QMessageBox::Ok);
            box->setAttribute(Qt::WA_DeleteOnClose);
            g_box = box;
            box->show();
        },
        Qt::QueuedConnection);
}

void SaveErrorBox::fileNotSaved(const QString& path, const QString& reason) {
    qWarning().noquote() << "Saving" << path << "failed:" << reason;
    const int language = MessagePassing::instance()->language();
    show(WriteProblem::pick(language, "文件保存失败：\n", "The file could not be saved:\n", "檔案保存失敗：\n") + path +
         "\n" + reason);
}

bool SaveErrorBox::editSettings(const QString& path, const std::function<void(QSettings&)>& edit) {
    const QString why = FileCommit::editSettings(path, edit, MessagePassing::instance()->language());
    if (why.isEmpty())
        return true;
    fileNotSaved(QFileInfo(path).absoluteFilePath(), why);
    return false;
}
