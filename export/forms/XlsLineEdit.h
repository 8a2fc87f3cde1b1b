#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

// One entry of a template editor's list: the template's name on a label,
// which turns into a line edit for renaming (double click, or startEdit).
// Return reports a changed name through myReturnPressed; the label keeps the
// old name until the receiver accepts the new one with setText. Escape ends
// the renaming with the old name, and goes no further (the dialog would
// close); with no renaming under way it reaches the dialog.
class XlsLineEdit : public QWidget {
    Q_OBJECT
public:
    explicit XlsLineEdit(QWidget* parent = nullptr);

    QString text() const;
    // Sets the name; ends editing and clears the selection mark.
    void setText(const QString& text);
    void startEdit();
    // false also leaves editing without reporting.
    void setSelected(bool selected);

signals:
    void myMousePressEvent();
    void myReturnPressed(QString text);

public slots:
    void lineEditReturnPressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Back to the label; the field holds the label's name again.
    void leaveEdit();

    QWidget* widgetSeclet;
    QLabel* label;
    QLineEdit* lineEdit;
    QWidget* widgetLine;
};
