#include "panels/camera/PanelPrompt.h"

#include "panels/camera/PanelParts.h"

#include <QInputDialog>
#include <QLineEdit>

namespace PanelPrompt {

bool ask(const QStringList& label, const QStringList& ok, const QStringList& cancel, bool showEdit, QString* text) {
    const int lang = PanelParts::language();
    QInputDialog prompt;
    prompt.resize(600, 400);
    prompt.setWindowTitle("");
    prompt.setWindowFlags(prompt.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    prompt.setTextEchoMode(QLineEdit::Normal);
    prompt.setLabelText(PanelParts::pick(label, lang));
    prompt.setOkButtonText(PanelParts::pick(ok, lang));
    prompt.setCancelButtonText(PanelParts::pick(cancel, lang));
    prompt.setTextValue(QString());
    if (!showEdit)
        if (QLineEdit* edit = prompt.findChild<QLineEdit*>())
            edit->hide();
    const bool accepted = prompt.exec() == QDialog::Accepted;
    if (accepted && text)
        *text = prompt.textValue();
    return accepted;
}

} // namespace PanelPrompt
