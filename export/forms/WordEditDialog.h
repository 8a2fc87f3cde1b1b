#pragma once

#include "export/forms/TemplateEditDialog.h"

class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;

// The Word report template editor: templates of "WordTemplate" under the
// application directory listed on the left, a mock-up of the report page on
// the right whose fields are typed into (title, subtitle, four captions,
// summary) and whose logo is chosen from a picture file, copied into the
// folder as Logo.<ext>, Logo_001.<ext>, ... Not modal; deleted when closed,
// which is announced through the hub.
class WordEditDialog : public TemplateEditDialog {
    Q_OBJECT
public:
    explicit WordEditDialog(QWidget* parent = nullptr);

    // The seven text keys of a template file: the characters U+0000..U+0006.
    static QString fieldKey(int index) { return QString(QChar(ushort(index))); }
    // The page's text fields in key order (lineEdit_1..6 and lineEdit_8).
    QList<QLineEdit*> fields() const;

public slots:
    void btnSaveDelay() override;
    void btnLogoClick();
    void oneSecondDelay();

protected:
    void announceClosed() override;
    void loadTemplate(const QString& name) override;
    bool initNewTemplate(const QString& file) override;

private:
    void showLogo();

    QWidget* widget_word;
    QLabel* labLogo;
    QToolButton* btnLogo;
    QString m_logo; // file name inside the folder; empty: none
};
