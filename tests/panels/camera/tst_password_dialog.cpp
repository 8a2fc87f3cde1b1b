// The lock dialog: check mode leaves the decision to the caller, modify mode
// checks the old password (stored or master), the confirmation, and stores.
#include "app/hub/MessagePassing.h"
#include "panels/camera/PasswordDialog.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QScopeGuard>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
void type(QWidget* dialog, const char* edit, const QString& text) {
    dialog->findChild<QLineEdit*>(edit)->setText(text);
}
void click(QWidget* dialog, const char* button) { dialog->findChild<QPushButton*>(button)->click(); }
QString stored(const QString& file) { return QSettings(file, QSettings::IniFormat).value("Password", "<none>").toString(); }
} // namespace

class TestPasswordDialog : public QObject {
    Q_OBJECT
private slots:
    void unlockDecides_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fallback");
        QTest::addColumn<QString>("saved"); // empty: no file
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("opens");
        QTest::newRow("empty default, empty typed") << "./PasswordDialog.ini" << "" << "" << "" << false << true;
        QTest::newRow("stored") << "./PasswordDialog.ini" << "" << "abc" << "abc" << false << true;
        QTest::newRow("wrong") << "./PasswordDialog.ini" << "" << "abc" << "abd" << false << false;
        QTest::newRow("master over stored") << "./LensForm.ini" << "5225" << "zz" << "PwLunet" << false << true;
        QTest::newRow("lens default") << "./LensForm.ini" << "5225" << "" << "5225" << false << true;
        QTest::newRow("lens default replaced") << "./LensForm.ini" << "5225" << "x" << "5225" << false << false;
        QTest::newRow("cancelled") << "./PasswordDialog.ini" << "" << "abc" << "abc" << true << false;
    }
    void unlockDecides() {
        QFETCH(QString, file);
        QFETCH(QString, fallback);
        QFETCH(QString, saved);
        QFETCH(QString, typed);
        QFETCH(bool, cancel);
        QFETCH(bool, opens);
        TestEnv env;
        if (!saved.isEmpty())
            QSettings(file, QSettings::IniFormat).setValue("Password", saved);
        answerNextModal("PasswordDialog", [&](QWidget* d) {
            type(d, "lineEdit", typed);
            click(d, cancel ? "pushButton_3" : "pushButton_2");
        });
        QCOMPARE(PasswordDialog::unlock(file, fallback), opens);
    }

    void modify_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        QTest::newRow("wrong old") << "abc" << "xyz" << "n" << "n" << "Password error! " << "abc";
        QTest::newRow("mismatch") << "abc" << "abc" << "n1" << "n2" << "Password Differ! " << "abc";
        QTest::newRow("stored old") << "abc" << "abc" << "n1" << "n1" << "Password modified successfully! " << "n1";
        QTest::newRow("master") << "abc" << "PwLunet" << "m" << "m" << "Password modified successfully! " << "m";
        QTest::newRow("nothing stored, empty old")
            << "" << "" << "q" << "q" << "Password modified successfully! " << "q";
        QTest::newRow("read-only file, as the user") << "abc" << "abc" << "n1" << "n1" << "(set in the row)" << "abc";
    }
    // Modify mode in English: each outcome's message; a failed try keeps the
    // dialog open and the file as it was. A file the user may not write
    // (a row run with the effective id of an ordinary user) is said as such,
    // never as a changed password.
    void modify() {
        QFETCH(QString, saved);
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        QFETCH(QString, after);
        TestEnv env;
        MessagePassing::instance()->setLanguage(1);
        if (!saved.isEmpty())
            QSettings("./PasswordDialog.ini", QSettings::IniFormat).setValue("Password", saved);
        const bool readOnly = QString(QTest::currentDataTag()).contains("read-only");
        const uid_t nobody = 65534;
        const QString file = env.file("PasswordDialog.ini");
        if (readOnly) {
            if (::geteuid() != 0)
                QSKIP("only root can act as another user");
            const QByteArray name = QFile::encodeName(file);
            QVERIFY(::chown(name.constData(), nobody, nobody) == 0 && ::chmod(name.constData(), 0444) == 0);
            QVERIFY(::chmod(QFile::encodeName(env.path()).constData(), 0777) == 0);
            message = "The password was not changed:\nWriting the file is not allowed: " + file;
        }
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        const auto restore = qScopeGuard([&] {
            if (::geteuid() != uid && (::seteuid(uid) != 0 || ::setegid(gid) != 0))
                qFatal("the tester's ids could not be restored");
        });
        if (readOnly) {
            QVERIFY(::setegid(nobody) == 0 && ::seteuid(nobody) == 0);
            if (::euidaccess(QFile::encodeName(env.path()).constData(), W_OK | X_OK) != 0)
                QSKIP("an ordinary user cannot reach the test's folder");
        }
        PasswordDialog dialog;
        QCOMPARE(dialog.findChild<QPushButton*>("pushButton")->text(), QString("Modify"));
        dialog.show();
        click(&dialog, "pushButton");
        QVERIFY(dialog.findChild<QLineEdit*>("lineEdit_3")->isVisible());
        type(&dialog, "lineEdit", old);
        type(&dialog, "lineEdit_2", fresh);
        type(&dialog, "lineEdit_3", confirm);
        QString shown;
        dismissNextMessageBox(&shown);
        click(&dialog, "pushButton_2");
        QCOMPARE(shown, message);
        QCOMPARE(stored("./PasswordDialog.ini"), after);
        const bool done = message.startsWith("Password modified");
        QCOMPARE(dialog.isVisible(), !done);
        QCOMPARE(dialog.result(), done ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(dialog.getPassWord(), old);
        MessagePassing::instance()->setLanguage(0);
    }

    // A change made inside the lock's own dialog opens that lock: the first
    // field still holds the old password, which was the stored one.
    void changeInsideLockOpensIt() {
        TestEnv env;
        QSettings("./LensForm.ini", QSettings::IniFormat).setValue("Password", "old");
        answerNextModal("PasswordDialog", [](QWidget* d) {
            click(d, "pushButton");
            type(d, "lineEdit", "old");
            type(d, "lineEdit_2", "new");
            type(d, "lineEdit_3", "new");
            dismissNextMessageBox();
            click(d, "pushButton_2");
        });
        QVERIFY(PasswordDialog::unlock("./LensForm.ini", "5225"));
        QCOMPARE(stored("./LensForm.ini"), QString("new"));
    }
};

QTEST_MAIN(TestPasswordDialog)
#include "tst_password_dialog.moc"
