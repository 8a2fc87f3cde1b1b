// The parameter-set dialog: names added, refused and removed, the list and
// selection kept in ./ArgsDialog.ini, and the hub asked to save, load and
// delete only with a name.
#include "app/hub/MessagePassing.h"
#include "panels/camera/ArgsDialog.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {
void click(QWidget* d, const char* name) { d->findChild<QPushButton*>(name)->click(); }
QStringList stored() { return QSettings("./ArgsDialog.ini", QSettings::IniFormat).value("List").toStringList(); }
int storedIndex() { return QSettings("./ArgsDialog.ini", QSettings::IniFormat).value("curIndex", 99).toInt(); }
// Answers the name prompt with `name`; an error box that follows is closed and its text kept.
void typeName(const QString& name, QString* error) {
    answerNextModal("QInputDialog", [name, error](QWidget* w) {
        auto* prompt = static_cast<QInputDialog*>(w);
        prompt->setTextValue(name);
        if (error)
            dismissNextMessageBox(error);
        prompt->accept();
    });
}
} // namespace

class TestArgsDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { MessagePassing::instance()->setLanguage(1); }

    void newNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("accepted") << "Day" << "";
        QTest::newRow("case differs") << "night" << "";
        QTest::newRow("empty") << "" << "The name cannot be empty!";
        QTest::newRow("taken") << "Night" << "The name already exists,please rename it!";
        QTest::newRow("separator") << "a/b" << "The name cannot be used as a file name,please rename it!";
        QTest::newRow("blank") << "   " << "The name cannot be used as a file name,please rename it!";
    }
    void newNames() {
        QFETCH(QString, name);
        QFETCH(QString, error);
        TestEnv env;
        QSettings("./ArgsDialog.ini", QSettings::IniFormat).setValue("List", QStringList{"Night"});
        ArgsDialog dialog;
        QSignalSpy saved(MessagePassing::instance(), SIGNAL(argsNewSIGNAL(QString)));
        QString shown;
        typeName(name, error.isEmpty() ? nullptr : &shown);
        click(&dialog, "btnNew");
        QCOMPARE(shown, error);
        if (error.isEmpty()) {
            QCOMPARE(stored(), (QStringList{"Night", name}));
            QCOMPARE(storedIndex(), 1);
            QCOMPARE(dialog.findChild<QLabel*>("labCurCombo")->text(), name);
            QCOMPARE(saved.count(), 1);
            QCOMPARE(saved.first().first().toString(), name);
        } else {
            QCOMPARE(stored(), QStringList{"Night"});
            QCOMPARE(saved.count(), 0);
        }
    }

    void deleting() {
        TestEnv env;
        QSettings("./ArgsDialog.ini", QSettings::IniFormat).setValue("List", QStringList{"a", "b", "c"});
        QSettings("./ArgsDialog.ini", QSettings::IniFormat).setValue("curIndex", 1);
        ArgsDialog dialog;
        QCOMPARE(storedIndex(), 1); // opening writes nothing
        QSignalSpy deleted(MessagePassing::instance(), SIGNAL(argsDelSIGNAL(QString)));
        click(&dialog, "btnDel"); // "b", the middle one: the last is selected after
        QCOMPARE(deleted.takeFirst().first().toString(), QString("b"));
        QCOMPARE(stored(), (QStringList{"a", "c"}));
        QCOMPARE(dialog.findChild<QLabel*>("labCurCombo")->text(), QString("c"));
        for (int i = 0; i < 3; ++i) // the third finds nothing to delete
            click(&dialog, "btnDel");
        QCOMPARE(stored(), QStringList{});
        QCOMPARE(storedIndex(), -1);
        QCOMPARE(deleted.count(), 2);
    }

    // Without a selected name Save and Load ask nothing of the panel.
    void saveAndLoadNeedAName() {
        TestEnv env;
        QSettings("./ArgsDialog.ini", QSettings::IniFormat).setValue("List", QStringList{"a"});
        QSettings("./ArgsDialog.ini", QSettings::IniFormat).setValue("curIndex", 5);
        ArgsDialog dialog;
        QSignalSpy saved(MessagePassing::instance(), SIGNAL(argsNewSIGNAL(QString)));
        QSignalSpy loaded(MessagePassing::instance(), SIGNAL(argsLoadSIGNAL(QString)));
        QCOMPARE(dialog.findChild<QLabel*>("labCurCombo")->text(), QString());
        click(&dialog, "btnSave");
        click(&dialog, "btnLoad");
        QCOMPARE(saved.count() + loaded.count(), 0);
        dialog.findChild<QComboBox*>("comboBoxName")->setCurrentIndex(0);
        click(&dialog, "btnSave");
        click(&dialog, "btnLoad");
        QCOMPARE(saved.count(), 1);
        QCOMPARE(loaded.first().first().toString(), QString("a"));
        QCOMPARE(storedIndex(), 0);
    }
};

QTEST_MAIN(TestArgsDialog)
#include "tst_args_dialog.moc"
