#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QToolButton;
class XlsLineEdit;

// What both template editors share: the column of template names
// (widget_grid, one XlsLineEdit per name), the list file ("strList", read
// "curKey") and the add, delete and rename steps on the template files of one
// folder. Every file step comes first; the list file changes only when it
// succeeded. Names read from the list that are no template names
// (ReportContent::IsTemplateName) are skipped. The editor itself loads and
// saves a template's content.
class TemplateEditDialog : public QDialog {
    Q_OBJECT
public:
    // folder: where "List.ini", "default.ini" and "<name>.ini" lie.
    explicit TemplateEditDialog(const QString& folder, QWidget* parent = nullptr);

    QString templateFile(const QString& name) const { return m_folder + "/" + name + ".ini"; }
    QString listFile() const { return templateFile("List"); }
    // The entries of the column, top to bottom.
    QList<XlsLineEdit*> entries() const { return m_entries; }
    XlsLineEdit* selectedEntry() const { return m_selected; }
    // The next free name "template_N" (N = 1, 2, ...) of a list.
    static QString nextTemplateName(const QStringList& names);
    // A typed name with everything but letters and digits dropped.
    static QString cleanName(const QString& typed);

public slots:
    void btnAddTemplateClick();
    void btnSubTemplateClick();
    void btnReNameClick();
    void myMousePressEventSLOT();
    void myReturnPressedSLOT(QString text);

protected:
    // Builds the column into widget_grid and selects the entry of "curKey"
    // (the first one when it is not listed). Call once the form exists.
    void initTemplateList(QWidget* grid, QToolButton* sub, QToolButton* rename, QToolButton* save);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Shows the named template on the page.
    virtual void loadTemplate(const QString& name) = 0;
    // A new template's file was copied from "default.ini"; in English the
    // editor writes its English defaults into it.
    virtual void initNewTemplate(const QString& file) = 0;
    // Called after a selection changed; nothing is selected when the list is empty.
    virtual void selectionChanged() {}

    QWidget* widget_grid = nullptr;

private:
    XlsLineEdit* addEntry(const QString& name);
    void restack();
    void endEditing();
    QStringList storedNames() const;
    void storeNames(const QStringList& names);

    QString m_folder;
    QList<XlsLineEdit*> m_entries;
    XlsLineEdit* m_selected = nullptr;
    QToolButton* m_sub = nullptr;
    QToolButton* m_rename = nullptr;
    QToolButton* m_save = nullptr;
};
