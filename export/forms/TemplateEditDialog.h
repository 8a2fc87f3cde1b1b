#pragma once

#include <functional>

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QHBoxLayout;
class QSettings;
class QToolButton;
class QVBoxLayout;
class XlsLineEdit;

// What both template editors share: the column of template names
// (widget_grid, one XlsLineEdit per name), the list file ("strList", read
// "curKey") and the add, delete and rename steps on the template files of one
// folder. Every file step comes first; the list file changes only when it
// succeeded, and the column only when the list file was stored. A failed
// step shows the "Error" box and leaves files, list and column as they were. Names read from the list that are no template names
// (ReportContent::IsTemplateName) are skipped. The editor itself loads and
// saves a template's content. Both are top-level windows of the size of the
// screen, deleted when closed, with their buttons in a bar at the top
// (widget_btn), texts in the language of the moment they are built.
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
    // Ends name and cell editing, then saves 30 ms later (btnSaveDelay).
    void btnSaveClick();
    virtual void btnSaveDelay() = 0;

protected:
    // Every way an editor closes ends here: accepted, rejected (Escape) or
    // closed (the title bar's button, which rejects). Tells the hub after.
    void done(int result) override;
    // The hub's word that this editor closed: the export panel reloads its
    // template lists.
    virtual void announceClosed() = 0;
    // A message box without parent in the current language, waited for.
    static void showMessage(const char* title, const char* zh, const char* en, const char* tw);
    // The "Error" box for a template file (or the list file) at path that
    // could not be written, renamed or removed, and why (WriteProblem's
    // words; the folder's problem when empty).
    static void fileError(const QString& path, const QString& reason = QString());
    // The "Success" box after a template was saved.
    static void savedMessage();
    // Copies the file from to the new file to (copyWhole), or changes the INI
    // file at path as edit does (saveSettings), through FileCommit: true
    // when the whole file reached the disk, else the "Error" box and false,
    // with the file as it was.
    static bool copyWhole(const QString& from, const QString& to);
    static bool saveSettings(const QString& path, const std::function<void(QSettings&)>& edit);
    // A tool button of the bar in the current language, clicked to slot.
    QToolButton* barButton(const char* name, const char* zh, const char* en, const char* tw, const char* slot);
    // The grey body below the bar with the template column (widget_grid) on
    // the left; the editor adds its page to the returned layout.
    QHBoxLayout* buildBody();
    // Fills widget_grid and selects the entry of "curKey" (the first one
    // when it is not listed). Call once the form exists.
    void initTemplateList();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Shows the named template on the page.
    virtual void loadTemplate(const QString& name) = 0;
    // A new template's file was copied from "default.ini"; in English the
    // editor writes its English defaults into it. False (after the "Error"
    // box) when that write failed.
    virtual bool initNewTemplate(const QString& file) = 0;
    // Called after a selection changed; nothing is selected when the list is empty.
    virtual void selectionChanged() {}

    QWidget* widget_grid = nullptr;
    QVBoxLayout* m_outer;      // the window's layout: the bar, then the editor's body
    QHBoxLayout* m_barLayout;  // the bar's buttons; the template buttons come first
    QToolButton* btnSave;

private:
    XlsLineEdit* addEntry(const QString& name);
    void restack();
    void endEditing();
    QStringList storedNames() const;
    // False (after the "Error" box) when the list file was not stored.
    bool storeNames(const QStringList& names);

    QString m_folder;
    QList<XlsLineEdit*> m_entries;
    XlsLineEdit* m_selected = nullptr;
    QToolButton* m_sub;
    QToolButton* m_rename;
};
