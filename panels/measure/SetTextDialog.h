#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the one line of a text mark: OK accepts, Cancel, Escape and the
// close button reject. Stays on top; texts in the hub's language at
// construction. GUI thread only.
class SetTextDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetTextDialog(QWidget* parent = nullptr);
    // The line as typed, not trimmed.
    QString GetText() const;
    // The engine's text step: a dialog without parent, its top-left corner at
    // the mouse cursor, run modally; the text when accepted, else empty.
    static QString askText();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* label = nullptr;
    QLineEdit* lineEdit = nullptr;
    QPushButton* pushButton = nullptr;
    QPushButton* pushButton_2 = nullptr;
};
