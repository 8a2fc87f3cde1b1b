#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

struct Ui_PasswordDialog;

// The lock dialog behind every user lock (lens output, camera parameters,
// scale settings). Check mode only collects a password; the caller decides.
// Modify mode checks the old password itself, stores the new one under
// "Password" in the caller's INI file and reports in a message box. Besides
// the stored password every lock accepts the built-in master password.
// Built on the stack for one question; GUI thread.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(QWidget* parent = nullptr);
    ~PasswordDialog() override;

    // Opens every lock and authorises every change, whatever is stored.
    static QString masterPassword() { return QStringLiteral("PwLunet"); }
    // The "Password" value of `iniPath`, or `defaultPassword` when absent.
    static QString storedPassword(const QString& iniPath, const QString& defaultPassword);
    // One lock question: true when the dialog is accepted with the stored
    // password or the master password. The stored value is read before the
    // dialog runs, so a password changed in the dialog itself (its first
    // field then holds the old one) also opens the lock.
    static bool unlock(const QString& iniPath = QStringLiteral("./PasswordDialog.ini"),
                       const QString& defaultPassword = QString(), QWidget* parent = nullptr);

    void setIniPath(QString iniPath, QString defaultPassword);
    QString getPassWord() const;
    void setLanguage(int language);

public slots:
    void modifyButtonSlot();
    void okButtonSlot();
    void exitButtonSlot();

private:
    void initLanguageText();

    QList<QStringList> texts;
    bool modifyMode = false;
    Ui_PasswordDialog* ui;
    QString iniPath;
    QString defaultPassword;
};
