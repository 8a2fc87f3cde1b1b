#pragma once

#include <QString>
#include <QStringList>

// The one-question input dialog of the camera panels: modal, without parent,
// 600 x 400, empty title, no help button, its label and OK / Cancel texts in
// the hub's language (three texts each: simplified Chinese, English,
// traditional Chinese). With showEdit false it is a plain confirmation.
namespace PanelPrompt {

// True when accepted; *text then holds what was typed (when given).
bool ask(const QStringList& label, const QStringList& ok, const QStringList& cancel, bool showEdit,
         QString* text = nullptr);

} // namespace PanelPrompt
