#pragma once

#include <QString>
#include <functional>

class QWidget;

// Answers the next modal window of class `className` (e.g. "QMessageBox",
// "PasswordDialog") once it is the active modal widget: `answer` gets it and
// should close it (accept, reject, click a button). Polls every 5 ms from the
// event loop that the modal's exec runs, so call it before the code that opens
// the window. Gives up after `timeoutMs`.
void answerNextModal(const char* className, std::function<void(QWidget*)> answer, int timeoutMs = 10000);

// Closes the next QMessageBox and stores its text in *text (when given).
void dismissNextMessageBox(QString* text = nullptr);
