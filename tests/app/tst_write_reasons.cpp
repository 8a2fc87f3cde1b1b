// Why a write was refused, told in the language the program speaks: a
// snapshot into a missing folder or onto a read-only disk, and a template
// saved onto a read-only disk, in simplified Chinese, English and
// traditional Chinese; the system's own English never reaches the box.

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/ThreaSaveImg.h"
#include "export/forms/XlsEditDialog.h"
#include "export/forms/XlsSet.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/CameraTimeSet.h"
#include "panels/camera/PasswordDialog.h"
#include "platform/WriteProblem.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QMessageBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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
            QTest::newRow(qPrintable(QString("recent list at camera open, read-only disk, %1").arg(language)))
                << "recent list" << "read-only" << language << QString::fromUtf8(readOnly[language]);
            QTest::newRow(qPrintable(QString("lock password, read-only disk, %1").arg(language)))
                << "password" << "read-only" << language << QString::fromUtf8(readOnly[language]);
            // Settings the panels store as the user changes them: one key, and three at once.
            QTest::newRow(qPrintable(QString("picture type setting, read-only disk, %1").arg(language)))
                << "picture type" << "read-only" << language << QString::fromUtf8(readOnly[language]);
            QTest::newRow(qPrintable(QString("timed snapshots setting, read-only disk, %1").arg(language)))
                << "timed snapshots" << "read-only" << language << QString::fromUtf8(readOnly[language]);
            QTest::newRow(qPrintable(QString("workbook pictures setting, read-only disk, %1").arg(language)))
                << "workbook pictures" << "read-only" << language << QString::fromUtf8(readOnly[language]);
        }
    }

    void reasonInTheProgramsLanguage() {
        QFETCH(QString, writer);
        QFETCH(QString, problem);
        QFETCH(int, language);
        QFETCH(QString, reason);
        MessagePassing::instance()->setLanguage(language);
        // The recent list, the lock password and the panels' settings live
        // in the working folder: the read-only disk becomes the working folder.
        const bool panelSetting =
            writer == "picture type" || writer == "timed snapshots" || writer == "workbook pictures";
        const bool inWorkingFolder = writer == "recent list" || writer == "password" || panelSetting;
        QString folder = env->file(writer == "snapshot" ? "pictures" : inWorkingFolder ? "work" : "Template");
        if (inWorkingFolder) {
            QVERIFY(QDir().mkpath(folder));
            QSettings(folder + "/PasswordDialog.ini", QSettings::IniFormat).setValue("Password", "old");
            QSettings list(folder + "/ImageHistory.ini", QSettings::IniFormat);
            for (int i = 0; i < 3; ++i) {
                const QString picture = env->file(QString("p%1.jpg").arg(i));
                QFile file(picture);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
                list.setValue(QString::number(i + 1), picture); // renumbered at open
            }
            list.setValue("TotalCnt", 4);
            QSettings cameraSet(folder + "/CameraSet.ini", QSettings::IniFormat);
            cameraSet.setValue("ImgType", "jpg");
            cameraSet.setValue("imgPath", env->path()); // a folder that exists: nothing to store at the start
            QSettings timed(folder + "/CameraTimeSet.ini", QSettings::IniFormat);
            timed.setValue("IntervalIndex", 1);
            timed.setValue("Total", 5);
            QSettings(folder + "/XlsSet.ini", QSettings::IniFormat).setValue("isExport", true);
        }
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
            if (writer != "snapshot") // the files on it, then the disk made read-only
                QVERIFY(QProcess::execute("cp", {"-a", folder + "/.", disk->path()}) == 0);
            QVERIFY(QProcess::execute("mount", {"-o", "remount,ro", disk->path()}) == 0);
        }
        const auto backHome = qScopeGuard([this] { QDir::setCurrent(env->path()); });
        if (inWorkingFolder) {
            folder = disk->path();
            QVERIFY(QDir::setCurrent(folder));
        }

        ModalCatcher catcher;
        std::unique_ptr<ThreaSaveImg> saver;
        std::unique_ptr<XlsEditDialog> dialog;
        std::unique_ptr<PasswordDialog> password;
        std::unique_ptr<QWidget> panel;
        QByteArray settingsBefore;
        BaseCamera camera;
        const auto noCamera = qScopeGuard([] { MessagePassing::instance()->setCurCamera(nullptr); });
        if (writer == "recent list") {
            MessagePassing::instance()->setCurCamera(&camera);
            // The pictures are listed all the same.
            QCOMPARE(MessagePassing::instance()->getImageHistoryTotalCnt(), 3);
            QCOMPARE(MessagePassing::instance()->getImageHistoryPath(2), env->file("p2.jpg"));
        } else if (writer == "password") {
            password = std::make_unique<PasswordDialog>();
            password->show();
            password->findChild<QPushButton*>("pushButton")->click();
            password->findChild<QLineEdit*>("lineEdit")->setText("old");
            password->findChild<QLineEdit*>("lineEdit_2")->setText("new");
            password->findChild<QLineEdit*>("lineEdit_3")->setText("new");
            password->findChild<QPushButton*>("pushButton_2")->click();
        } else if (panelSetting) {
            const QString file = writer == "picture type"      ? "./CameraSet.ini"
                                 : writer == "timed snapshots" ? "./CameraTimeSet.ini"
                                                               : "./XlsSet.ini";
            QFile stored(file);
            QVERIFY(stored.open(QIODevice::ReadOnly));
            settingsBefore = stored.readAll();
            if (writer == "picture type") {
                panel = std::make_unique<CameraSet>();
                panel->findChild<QComboBox*>("comboImgType")->setCurrentIndex(1); // png
            } else if (writer == "timed snapshots") {
                panel = std::make_unique<CameraTimeSet>();
                panel->findChild<QSpinBox*>("spinBoxTotal")->setValue(7);
            } else {
                panel = std::make_unique<XlsSet>();
                panel->findChild<QRadioButton*>("rbtnExportNO")->click();
            }
        } else if (writer == "snapshot") {
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
        if (password) {
            // No word of success, and the dialog stays for another try.
            for (const char* done : {"密码修改成功", "Password modified", "密碼修改成功"})
                for (const QString& shown : catcher.texts)
                    QVERIFY2(!shown.contains(QString::fromUtf8(done)), qPrintable(shown));
            QVERIFY(password->isVisible());
            QCOMPARE(PasswordDialog::storedPassword("./PasswordDialog.ini", QString()), QString("old"));
        }
        if (panel) {
            // The file as it was, the choice still the user's on screen.
            QFile stored(writer == "picture type"      ? "./CameraSet.ini"
                         : writer == "timed snapshots" ? "./CameraTimeSet.ini"
                                                       : "./XlsSet.ini");
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), settingsBefore);
        }
        if (dialog)
            dialog->close();
        dialog.release(); // deletes itself on close
    }

    // On a nearly full disk (less than a MiB free) the room speaks only for
    // a write refused for room: a folder an ordinary user may not write
    // and a name longer than the system allows keep their own reasons. A
    // disk out of room for more files (bytes free), and a user's used-up
    // quota, are each told as what they are.
    void aNearlyFullDiskSpeaksOnlyForRoom_data() {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("reason"); // followed by the picture's path or the mount point
        const char* const notAllowed[3] = {"没有权限写入文件：",
                                           "Writing the file is not allowed: ", "沒有權限寫入檔案："};
        const char* const tooLong[3] = {"文件名太长：", "The file name is too long: ", "檔案名稱太長："};
        const char* const noMoreFiles[3] = {"磁盘无法再建文件：",
                                            "The disk has no room for more files: ", "磁碟無法再建立檔案："};
        const char* const quota[3] = {"磁盘配额已用完：",
                                      "The user's disk quota is used up: ", "磁碟配額已用完："};
        const char* const full[3] = {"磁盘空间已满：", "The disk is full: ", "磁碟空間已滿："};
        const char* const openFiles[3] = {"打开的文件数已达上限，不能再打开文件：",
                                          "The limit of open files is reached: no more files can be opened: ",
                                          "開啟的檔案數已達上限，不能再開啟檔案："};
        for (int language = 0; language < 3; ++language) {
            QTest::addRow("read-only folder, as a user, %d", language)
                << "read-only folder" << language << QString::fromUtf8(notAllowed[language]);
            QTest::addRow("256-byte name, %d", language)
                << "256-byte name" << language << QString::fromUtf8(tooLong[language]);
            QTest::addRow("no room for more files, %d", language)
                << "no more files" << language << QString::fromUtf8(noMoreFiles[language]);
            QTest::addRow("quota used up, %d", language)
                << "quota" << language << QString::fromUtf8(quota[language]);
            QTest::addRow("full disk, %d", language)
                << "full" << language << QString::fromUtf8(full[language]);
            QTest::addRow("open files at their limit, %d", language)
                << "open files" << language << QString::fromUtf8(openFiles[language]);
        }
    }
    void aNearlyFullDiskSpeaksOnlyForRoom() {
        QFETCH(QString, problem);
        QFETCH(int, language);
        QFETCH(QString, reason);
        MessagePassing* hub = MessagePassing::instance();
        hub->setLanguage(language);
        const uid_t nobody = 65534;
        const bool asUser = problem == "read-only folder";
        if (asUser && ::geteuid() != 0)
            QSKIP("only root can act as another user");
        // The pictures' folder is the disk; the program's own notes stay in
        // the working folder.
        TmpfsMount disk(env->file("pictures"),
                        problem == "no more files" ? "size=4m,nr_inodes=8" : "size=4m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        const QString name = problem == "256-byte name" ? QString(252, 'n') : QString("shot");
        const QString picture = disk.path() + "/" + name + "." + hub->imgType;
        QString expected = reason + picture;
        if (problem == "no more files") {
            for (int i = 0; QFile(disk.path() + QString("/f%1").arg(i)).open(QIODevice::WriteOnly); ++i)
                QVERIFY(i < 100);
            expected = reason + disk.path();
        } else {
            QVERIFY(disk.leaveFree("filler", problem == "full" ? 0 : 64)); // none, or 256 KiB
        }
        if (problem == "full")
            expected = reason + disk.path();
        if (asUser) {
            QFile old(picture);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the reference") > 0);
            old.close();
            const QByteArray file = QFile::encodeName(picture);
            QVERIFY(::chown(file.constData(), nobody, nobody) == 0 && ::chmod(file.constData(), 0444) == 0);
            // A new picture moves on past a taken name: the folder refuses it.
            QVERIFY(::chmod(QFile::encodeName(env->path()).constData(), 0777) == 0);
            QVERIFY(::chmod(QFile::encodeName(disk.path()).constData(), 0555) == 0);
        }
        ModalCatcher catcher;
        if (problem == "open files") {
            // As under ulimit -n, no descriptor above those open now; the
            // reason of a write that told none (as QSettings tells none).
            // (A saver's thread would not start: its event loop needs one.)
            ProcessAtLimit files(ProcessAtLimit::Files);
            QVERIFY(files.ok());
            catcher.texts << WriteProblem::explain(picture, 0, language);
            files.end();
            catcher.titles << "Error";
        } else if (problem == "quota") {
            // No disk here keeps quotas: the reason the write would get.
            catcher.texts << WriteProblem::explain(picture, EDQUOT, language);
            catcher.titles << "Error";
            expected = reason + disk.path();
        } else {
            if (asUser) {
                QVERIFY(::setegid(nobody) == 0 && ::seteuid(nobody) == 0);
                // As the user: access() would ask as root, the real user.
                if (::euidaccess(QFile::encodeName(env->path()).constData(), W_OK | X_OK) != 0) {
                    QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
                    QSKIP("an ordinary user cannot reach the test's folder");
                }
            }
            ThreaSaveImg saver;
            saver.setParams(disk.path() + "/" + name, 0, true, false, Qt::white, 3, 5, "UVCCamera");
            QImage image(64, 48, QImage::Format_RGB888);
            image.fill(Qt::darkCyan);
            *saver.imageBuffer(64, 48, 3) = image;
            saver.start();
            const bool ended = saver.wait(60000);
            if (asUser)
                QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
            QVERIFY(ended);
            QTRY_VERIFY(catcher.titles.contains("Error"));
        }
        const QString text = catcher.texts[catcher.titles.indexOf("Error")];
        QVERIFY2(text.endsWith(expected), qPrintable(text));
        QString sentences = text;
        sentences.remove(picture);
        sentences.remove(disk.path());
        if (language != 1)
            for (const char* english : {"No space", "quota", "Permission", "too long", "file", "disk"})
                QVERIFY2(!sentences.contains(english, Qt::CaseInsensitive), qPrintable(text));
        if (asUser) {
            QFile old(picture);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("the reference"));
        }
    }
};

QTEST_MAIN(WriteReasonsTest)
#include "tst_write_reasons.moc"
