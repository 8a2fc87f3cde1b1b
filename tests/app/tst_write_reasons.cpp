// Why a write was refused, told in the language the program speaks: a
// snapshot into a missing folder or onto a read-only disk, and a template
// saved onto a read-only disk, in simplified Chinese, English and
// traditional Chinese; the system's own English never reaches the box.

#include "app/hub/MessagePassing.h"
#include "camera/ThreaSaveImg.h"
#include "export/forms/XlsEditDialog.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

class WriteReasonsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() {
        QCoreApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->deleteLater();
        env.reset();
    }

    void reasonInTheProgramsLanguage_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("reason"); // followed by the folder
        const char* const missing[3] = {"文件夹不存在：", "The folder does not exist: ", "資料夾不存在："};
        const char* const readOnly[3] = {"文件夹只读：", "The folder is read-only: ", "資料夾唯讀："};
        for (int language = 0; language < 3; ++language) {
            QTest::newRow(qPrintable(QString("snapshot, missing folder, %1").arg(language)))
                << "snapshot" << "missing" << language << QString::fromUtf8(missing[language]);
            QTest::newRow(qPrintable(QString("snapshot, read-only disk, %1").arg(language)))
                << "snapshot" << "read-only" << language << QString::fromUtf8(readOnly[language]);
            QTest::newRow(qPrintable(QString("template save, read-only disk, %1").arg(language)))
                << "template" << "read-only" << language << QString::fromUtf8(readOnly[language]);
        }
    }

    void reasonInTheProgramsLanguage() {
        QFETCH(QString, writer);
        QFETCH(QString, problem);
        QFETCH(int, language);
        QFETCH(QString, reason);
        MessagePassing::instance()->setLanguage(language);
        const QString folder = env->file(writer == "snapshot" ? "pictures" : "Template");
        if (writer == "template") {
            QDir().mkpath(folder);
            QSettings(folder + "/default.ini", QSettings::IniFormat).setValue("strList", QStringList({"x"}));
            QSettings(folder + "/mine.ini", QSettings::IniFormat).setValue("imagePos", QPoint(0, 2));
            QSettings list(folder + "/List.ini", QSettings::IniFormat);
            list.setValue("strList", QStringList({"default", "mine"}));
            list.setValue("curKey", "mine");
        }
        std::unique_ptr<TmpfsMount> disk;
        if (problem == "read-only") {
            disk = std::make_unique<TmpfsMount>(writer == "snapshot" ? folder : env->file("ro"), "size=64k");
            if (!disk->ok())
                QSKIP(qPrintable(disk->error()));
            if (writer == "template") // the templates on it, then the disk made read-only
                QVERIFY(QProcess::execute("cp", {"-a", folder + "/.", disk->path()}) == 0);
            QVERIFY(QProcess::execute("mount", {"-o", "remount,ro", disk->path()}) == 0);
        }

        ModalCatcher catcher;
        std::unique_ptr<ThreaSaveImg> saver;
        std::unique_ptr<XlsEditDialog> dialog;
        if (writer == "snapshot") {
            saver = std::make_unique<ThreaSaveImg>();
            saver->setParams(folder + "/shot", 0, true, false, Qt::white, 3, 5, "UVCCamera");
            QImage image(64, 48, QImage::Format_RGB888);
            image.fill(Qt::darkCyan);
            *saver->imageBuffer(64, 48, 3) = image;
            saver->start();
            QVERIFY(saver->wait(60000));
        } else {
            // The program's template folder is ./Template: the read-only disk takes its place.
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(QFile::link(disk->path(), folder));
            dialog = std::make_unique<XlsEditDialog>();
            dialog->show();
            dialog->findChild<QTableWidget*>("tableWidget")->setItem(0, 0, new QTableWidgetItem("new"));
            dialog->findChild<QToolButton*>("btnSave")->click();
        }
        QTRY_VERIFY(catcher.titles.contains("Error"));
        const QString text = catcher.texts[catcher.titles.indexOf("Error")];
        QVERIFY2(text.contains(reason + folder), qPrintable(text));
        // No sentence of the system's (or the program's English) in another
        // language. The paths are left out: a temporary folder's own name may
        // hold such words.
        QString sentences = text;
        sentences.remove(folder);
        if (language != 1)
            for (const char* english : {"No such file", "Read-only", "Permission", "not permitted", "folder", "disk"})
                QVERIFY2(!sentences.contains(english, Qt::CaseInsensitive), qPrintable(text));
        QVERIFY(!catcher.titles.contains("Success"));
        if (dialog)
            dialog->close();
        dialog.release(); // deletes itself on close
    }
};

QTEST_MAIN(WriteReasonsTest)
#include "tst_write_reasons.moc"
