#pragma once

#include <QString>

#include <functional>

class QWidget;

// Answers the next modal dialog or message box: polls (every 20 ms, on the
// event loop that the dialog's exec runs) until QApplication::activeModalWidget
// is there, then calls act with it once.
void whenModal(std::function<void(QWidget*)> act);
// Clicks the push button of w whose text is text (a message-box button, say).
void clickButtonText(QWidget* w, const QString& text);
