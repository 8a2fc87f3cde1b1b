// The export panel: settings, template lists, both export roads through the
// hub, the files it leaves and what it opens.
#include "tests/support/ModalCatcher.h"
#include "app/hub/MessagePassing.h"
#include "export/forms/XlsSet.h"
#include "measure/engine/XlsReportLayout.h"
#include "platform/AppPaths.h"
#include "platform/FileCommit.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "tests/support/TmpfsMount.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class ExportPanelTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = nullptr;
    QStringList written; // workbooks the stand-in report writer was asked for
    bool writeWorkbooks = true;
    bool writesMayFail = false; // the folder is made unwritable on purpose

    template <class T> T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }

    std::unique_ptr<XlsSet> makePanel() {
        auto panel = std::make_unique<XlsSet>();
        panel->show();
        return panel;
    }

private slots:
    void initTestCase() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        // Stand-ins for the overlay's report slots.
        connect(hub, &MessagePassing::getAllMeasureDataSIGNAL, this, [this](QString path, QString image) {
            written << path + "|" + image;
            if (!writeWorkbooks)
                return;
            MeasureTable table;
            table.names << "L1";
            for (int j = 0; j < 9; ++j)
                table.values << QString("1.%1").arg(j);
            table.unit = "mm";
            XlsReportLayout layout(XlsReportTemplate::ReadCurrent(), 1, table, !image.isEmpty(), QDateTime());
            const bool ok = layout.Write(path, image.isEmpty() ? QString() : image + ".jpg", false);
            if (!writesMayFail)
                QVERIFY(ok);
        });
        connect(hub, &MessagePassing::getAllMeasureDataWordSIGNAL, this,
                [](QString& html, QString) { html += QString::fromUtf8("<html><body>测量 ✓</body></html>"); });
    }

    void init() {
        env.reset(); // restores the working directory before the next one is made
        env = std::make_unique<TestEnv>();
        hub->setLanguage(1);
        hub->setCurCamera(nullptr);
        written.clear();
        writeWorkbooks = true;
        writesMayFail = false;
    }

    // Manual naming with the export folder set (and nothing else stored).
    void useFolder(const QString& folder, bool manual) {
        QSettings set("./XlsSet.ini", QSettings::IniFormat);
        set.setValue("isExport", false);
        set.setValue("isAutoName", !manual);
        set.setValue("xlsPath", folder);
    }

    static bool writeOlder(const QString& path) {
        QFile old(path);
        return old.open(QIODevice::WriteOnly) && old.write("older") == 5;
    }

    // An Excel export whose save dialog is answered with chosen.
    std::unique_ptr<XlsSet> exportNamed(const QString& chosen, ModalCatcher& catcher) {
        catcher.fileAnswer = chosen;
        auto panel = makePanel();
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        return panel;
    }

    // The workbooks that wait for a manual name in folder: hidden files.
    static QStringList waiting(const QString& folder) {
        return QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden | QDir::System);
    }

    static bool wholeWorkbook(const QString& path) {
        QProcess unzip;
        unzip.start("unzip", {"-tqq", path});
        return unzip.waitForFinished(60000) && unzip.exitStatus() == QProcess::NormalExit && unzip.exitCode() == 0;
    }

    static QByteArray contents(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    void settingsAndHostileTemplateNames() {
        QDir().mkpath("Template");
        {
            QSettings list("./Template/List.ini", QSettings::IniFormat);
            list.setValue("strList", QStringList({"default", "../x", "a/b", "mine_1", "..", "c.d"}));
            list.setValue("curKey", "../x");
            QSettings set("./XlsSet.ini", QSettings::IniFormat);
            set.setValue("isAutoName", false);
            set.setValue("xlsPath", env->file("gone"));
        }
        auto panel = makePanel();
        auto* combo = child<QComboBox>(panel.get(), "comboBox");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(1), QString("mine_1"));
        QCOMPARE(combo->currentText(), QString("default"));
        QCOMPARE(QSettings("./Template/List.ini", QSettings::IniFormat).value("curKey").toString(), QString("default"));
        QVERIFY(child<QRadioButton>(panel.get(), "rbtnHAND")->isChecked());
        QCOMPARE(child<QLineEdit>(panel.get(), "lineEditPath")->text(), AppPaths::appFile("Export/File"));
        QCOMPARE(child<QToolButton>(panel.get(), "btnExcelExport")->text(), QString("Export Excel"));

        combo->setCurrentIndex(1);
        QCOMPARE(QSettings("./Template/List.ini", QSettings::IniFormat).value("curKey").toString(), QString("mine_1"));
        child<QRadioButton>(panel.get(), "rbtnExportNO")->setChecked(true);
        QCOMPARE(QSettings("./XlsSet.ini", QSettings::IniFormat).value("isExport").toBool(), false);
        hub->setLanguage(2);
        emit hub->changeLanguageSIGNAL(2);
        QCOMPARE(child<QWidget>(panel.get(), "labName")->property("text").toString(), QString::fromUtf8("導出"));
    }

    void excelWithoutPictureOpensTheWorkbook() {
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", false);
        OpenedFiles opened;
        auto panel = makePanel();
        auto* excel = child<QToolButton>(panel.get(), "btnExcelExport");
        excel->click();
        QVERIFY(!excel->isEnabled());
        QCOMPARE(written.size(), 1);
        QVERIFY(written[0].endsWith(".xlsx|"));
        QTRY_COMPARE(opened.paths.size(), 1);
        QCOMPARE(opened.paths[0] + "|", written[0]);
        QTRY_VERIFY(excel->isEnabled());
    }

    void manualNamesReplaceSafelyAndCancelKeepsTheWaitingWorkbook() {
        {
            QSettings set("./XlsSet.ini", QSettings::IniFormat);
            set.setValue("isExport", false);
            set.setValue("isAutoName", false);
        }
        OpenedFiles opened;
        ModalCatcher catcher;
        auto panel = makePanel();
        const QString folder = AppPaths::appFile("Export/File");
        const QString chosen = env->file("mine.xlsx");
        QFile old(chosen);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older");
        old.close();
        catcher.fileAnswer = chosen;
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_COMPARE(opened.paths, QStringList({chosen}));
        QVERIFY(QFile(chosen).size() > 1000); // the workbook took the place of the older file
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

        // Cancelled: the workbook waits, hidden, under a name of its own.
        catcher.fileAnswer.clear();
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_COMPARE(catcher.fileDialogs, 2);
        QTRY_VERIFY(!waiting(folder).isEmpty());
        QCOMPARE(opened.paths.size(), 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), waiting(folder));
        QCOMPARE(waiting(folder).size(), 1);
        QVERIFY(wholeWorkbook(folder + "/" + waiting(folder)[0]));
        // The next export takes its place; the panel's end takes the last.
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
        const QString first = waiting(folder)[0];
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_COMPARE(catcher.fileDialogs, 3);
        QTRY_VERIFY(!waiting(folder).isEmpty() && waiting(folder) != QStringList({first}));
        QCOMPARE(waiting(folder).size(), 1);
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
        // One a killed export left (its program's id gone, no longer held)
        // goes at the next write in the folder, however fresh.
        const pid_t ended = ::fork();
        if (ended == 0)
            ::_exit(0);
        QVERIFY(::waitpid(ended, nullptr, 0) == ended);
        const QString mine = waiting(folder)[0], left = QString(mine).replace(QString::number(::getpid()),
                                                                                    QString::number(ended));
        QVERIFY(QFile::rename(folder + "/" + mine, folder + "/" + left));
        panel.reset();
        QCOMPARE(waiting(folder), QStringList({left}));
        QCOMPARE(FileCommit::writeBytes(folder + "/next.doc", "next", 1), QString());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"next.doc"}));
    }

    void failuresAreReported() {
        // Camera mode without a camera: no picture can come.
        ModalCatcher catcher;
        OpenedFiles opened;
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", true);
        auto panel = makePanel();
        auto* excel = child<QToolButton>(panel.get(), "btnExcelExport");
        hub->setIsCameraMode(true);
        excel->click();
        QTRY_COMPARE(catcher.texts, QStringList({"Export failed!"}));
        QCOMPARE(catcher.titles, QStringList({"Error"}));
        QVERIFY(excel->isEnabled());
        QVERIFY(written.isEmpty());

        // A still picture that never comes: the wait ends with the message.
        hub->setIsCameraMode(false);
        QSignalSpy asked(hub, SIGNAL(snapImageModeSIGNAL(QString, QString, int)));
        excel->click();
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked[0][0].toString(), AppPaths::appFile("image"));
        QVERIFY(!excel->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(excel->isEnabled(), XlsSet::kPictureTimeoutMs + 10000);
        QTRY_COMPARE(catcher.texts.size(), 2); // the box comes with the buttons; the catcher polls
        // A late picture (or one of some other save) does not start an export.
        emit hub->exportImageSIGNAL();
        QVERIFY(written.isEmpty());

        // A workbook that could not be written: reported, nothing opened.
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", false);
        auto second = makePanel();
        writeWorkbooks = false;
        child<QToolButton>(second.get(), "btnExcelExport")->click();
        QTRY_COMPARE(catcher.texts.size(), 3);
        QVERIFY(opened.paths.isEmpty());
    }

    // The picture saved for a report is a temporary file: once the workbook
    // or the Word report has taken it (or failed to), it goes.
    void exportLeavesNoPictureBehind_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("workbookWritten");
        QTest::newRow("excel") << "btnExcelExport" << true;
        QTest::newRow("excel, workbook not written") << "btnExcelExport" << false;
        QTest::newRow("word") << "btnWordExport" << true;
    }
    void exportLeavesNoPictureBehind() {
        QFETCH(QString, button);
        QFETCH(bool, workbookWritten);
        ModalCatcher catcher;
        OpenedFiles opened;
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", true);
        auto panel = makePanel();
        hub->setIsCameraMode(false);
        writeWorkbooks = workbookWritten;
        const QString picture = AppPaths::appFile("image.jpg");
        bool pictureTaken = false;
        // The still view's side: the picture is written, then announced.
        auto still = connect(hub, &MessagePassing::snapImageModeSIGNAL, this, [&](QString path, QString suffix, int) {
            QImage shot(640, 360, QImage::Format_RGB888);
            shot.fill(Qt::darkCyan);
            QVERIFY(shot.save(path + "." + suffix, "jpg", 100));
            QMetaObject::invokeMethod(hub, [this] { emit hub->exportImageSIGNAL(); }, Qt::QueuedConnection);
        });
        auto taken = connect(hub, &MessagePassing::getAllMeasureDataWordSIGNAL, this,
                             [&](QString&, QString path) { pictureTaken = QFile::exists(path + ".jpg"); });
        auto* exportButton = child<QToolButton>(panel.get(), button.toLatin1().constData());
        exportButton->click();
        QTRY_VERIFY(exportButton->isEnabled());
        disconnect(still);
        disconnect(taken);
        if (button == "btnWordExport") {
            QVERIFY(pictureTaken);
            QTRY_COMPARE(opened.paths.size(), 1);
        } else {
            QCOMPARE(written.size(), 1);
            if (workbookWritten) {
                QTRY_COMPARE(opened.paths.size(), 1);
                QProcess unzip;
                unzip.start("unzip", {"-l", opened.paths[0]});
                QVERIFY(unzip.waitForFinished(30000));
                QVERIFY(unzip.readAllStandardOutput().contains("xl/media/image1.jpg"));
            }
        }
        QVERIFY2(!QFile::exists(picture), qPrintable(picture));
    }

    void wordReportIsUtf8() {
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", false);
        OpenedFiles opened;
        auto panel = makePanel();
        child<QToolButton>(panel.get(), "btnWordExport")->click();
        QTRY_COMPARE(opened.paths.size(), 1);
        QVERIFY(opened.paths[0].endsWith(".doc"));
        QFile doc(opened.paths[0]);
        QVERIFY(doc.open(QIODevice::ReadOnly));
        QCOMPARE(doc.readAll(), QString::fromUtf8("<html><body>测量 ✓</body></html>\n").toUtf8());
        QVERIFY(written.isEmpty());
    }

    // The export folder on one disk, the chosen name on another: a rename
    // cannot cross, so the workbook is copied beside the target and renamed
    // there; the older file is replaced only then, "~temp.xlsx" goes.
    void manualNameOnAnotherDisk() {
        TmpfsMount exportDisk(env->file("exportDisk"), "size=4m");
        if (!exportDisk.ok())
            QSKIP(qPrintable(exportDisk.error()));
        TmpfsMount otherDisk(env->file("otherDisk"), "size=4m");
        QVERIFY2(otherDisk.ok(), qPrintable(otherDisk.error()));
        useFolder(exportDisk.path(), true);
        const QString chosen = otherDisk.path() + "/mine.xlsx";
        QVERIFY(writeOlder(chosen));
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = exportNamed(chosen, catcher);
        QTRY_COMPARE(opened.paths, QStringList({chosen}));
        QVERIFY(!catcher.titles.contains("Error")); // (the dialog's "replace it?" is answered yes)
        QProcess unzip;
        unzip.start("unzip", {"-tqq", chosen});
        QVERIFY(unzip.waitForFinished(60000));
        QVERIFY2(unzip.exitCode() == 0, unzip.readAll().constData());
        QCOMPARE(QDir(exportDisk.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(QDir(otherDisk.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"mine.xlsx"}));

        // The other disk full: the older file stays whole, the workbook waits
        // under its own hidden name, the box names the full disk, nothing is
        // opened.
        QVERIFY(otherDisk.fill("filler"));
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
        const QByteArray before = contents(chosen);
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_VERIFY(catcher.titles.contains("Error"));
        QCOMPARE(catcher.texts[catcher.titles.indexOf("Error")], "Export failed!\nThe disk is full: " + otherDisk.path());
        QCOMPARE(opened.paths.size(), 1);
        QCOMPARE(contents(chosen), before);
        QCOMPARE(waiting(exportDisk.path()).size(), 1);
        QCOMPARE(QDir(exportDisk.path()).entryList(QDir::Files | QDir::Hidden), waiting(exportDisk.path()));
        QCOMPARE(QDir(otherDisk.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"filler", "mine.xlsx"}));
    }

    // A manual name onto an existing report on the export folder's disk: the
    // report keeps its permissions and owner, and one the user may not
    // write, or whose owner a replacement would change, is refused with that
    // reason and stays byte for byte; so is a name in a folder the user may
    // not change. A refused name leaves the
    // waiting workbook as it was: hidden, with the permissions and owner of
    // a new file of the user's. Another user's file at a name the user did
    // not choose changes nothing. Rows "as a user" run the export with the
    // effective id of an ordinary user.
    void aManualNameKeepsTheReportsProtection_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("nobodysFile"); // else the tester's (root's when root)
        QTest::addColumn<bool>("asUser");
        QTest::addColumn<QString>("place");    // what else there is, and where the name is
        QTest::addColumn<QString>("refusal");  // followed by the chosen name; empty: replaced
        const QString notAllowed = "Writing the file is not allowed: ";
        QTest::newRow("0600 report") << 0600 << false << false << "" << "";
        QTest::newRow("0640 report of another owner") << 0640 << true << false << "" << "";
        QTest::newRow("the user's 0444 report, as the user") << 0444 << true << true << "" << notAllowed;
        QTest::newRow("root's 0644 report, as a user") << 0644 << false << true << "" << notAllowed;
        QTest::newRow("root's 0666 report, as a user") << 0666 << false << true << "" << notAllowed;
        QTest::newRow("the user's 0666 report in a 0555 folder, as the user")
            << 0666 << true << true << "read-only folder" << notAllowed;
        // A file mounted over the name: the rename is refused only after the
        // workbook took over the report's permissions and owner.
        QTest::newRow("a 0640 report of another owner, mounted over the name")
            << 0640 << true << false << "mount point" << "The file could not be written: ";
        QTest::newRow("the user's report beside root's ~temp.xlsx, as the user")
            << 0600 << true << true << "beside root's ~temp.xlsx" << "";
        // The name is nobody's link, in a shared sticky folder, to root's
        // report in a folder only root may enter.
        QTest::newRow("nobody's link to root's report") << 0600 << false << false << "nobody's link"
                                                        << "The name is another user's link, which is not followed: ";
    }
    void aManualNameKeepsTheReportsProtection() {
        QFETCH(int, mode);
        QFETCH(bool, nobodysFile);
        QFETCH(bool, asUser);
        QFETCH(QString, place);
        QFETCH(QString, refusal);
        const bool replaced = refusal.isEmpty();
        const uid_t nobody = 65534;
        if ((nobodysFile || asUser || place == "nobody's link") && ::geteuid() != 0)
            QSKIP("only root can make a file of another owner or act as another user");
        // Everything the export writes lies in folders the user may write.
        const QString folder = env->file("reports"), temp = env->file("tmp");
        const QString chosenFolder = place == "read-only folder" ? env->file("locked")
                                     : place == "nobody's link" ? env->file("shared") : folder;
        const QString chosen = chosenFolder + "/mine.xlsx";
        for (const QString& f : {folder, temp, chosenFolder})
            QVERIFY(QDir().mkpath(f) && ::chmod(QFile::encodeName(f).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(env->path()).constData(), 0777) == 0);
        const QByteArray name = QFile::encodeName(chosen);
        if (place == "nobody's link")
            QVERIFY(plantOthersLink(env->path(), "mine.xlsx", "secret") == chosen && writeOlder(env->file("locked/secret")));
        else
            QVERIFY(writeOlder(chosen));
        std::shared_ptr<void> unmount;
        if (place == "mount point") {
            const QString over = env->file("over.xlsx");
            QVERIFY(writeOlder(over));
            if (QProcess::execute("mount", {"--bind", over, chosen}) != 0)
                QSKIP("mounting a file over another is not allowed here");
            unmount.reset(static_cast<void*>(nullptr),
                          [chosen](void*) { QProcess::execute("umount", {chosen}); });
        }
        if (nobodysFile)
            QVERIFY(::chown(name.constData(), nobody, nobody) == 0);
        QVERIFY(::chmod(name.constData(), mode_t(mode)) == 0);
        if (place == "read-only folder")
            QVERIFY(::chmod(QFile::encodeName(chosenFolder).constData(), 0555) == 0);
        // The name every manual export once passed through, taken by root.
        const QString rootsTemp = folder + "/~temp.xlsx";
        if (place == "beside root's ~temp.xlsx") {
            QVERIFY(writeOlder(rootsTemp));
            QVERIFY(::chmod(QFile::encodeName(rootsTemp).constData(), 0644) == 0);
        }
        struct stat before;
        QVERIFY(::stat(name.constData(), &before) == 0);
        const mode_t umask = ::umask(022);
        ::umask(umask);
        useFolder(folder, true);
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp));
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        auto restore = [&] {
            if (::geteuid() != uid && (::seteuid(uid) != 0 || ::setegid(gid) != 0))
                qFatal("the tester's ids could not be restored");
            if (oldTemp.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", oldTemp);
        };
        // Whatever ends the export part, the tester is back with its own ids.
        const auto guard = qScopeGuard(restore);
        ModalCatcher catcher;
        OpenedFiles opened;
        if (asUser) {
            QVERIFY(::setegid(nobody) == 0 && ::seteuid(nobody) == 0);
            // As the user: access() would ask as root, the real user.
            if (::euidaccess(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
                restore();
                QSKIP("an ordinary user cannot reach the test's folder");
            }
        }
        auto panel = exportNamed(chosen, catcher);
        QTRY_VERIFY_WITH_TIMEOUT(!opened.paths.isEmpty() || catcher.titles.contains("Error"), 120000);
        restore();
        struct stat after;
        QVERIFY(::stat(name.constData(), &after) == 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        if (replaced) {
            QVERIFY2(!catcher.titles.contains("Error"), qPrintable(catcher.texts.join(" | ")));
            QCOMPARE(opened.paths, QStringList({chosen}));
            QVERIFY(wholeWorkbook(chosen));
            QVERIFY(waiting(folder).isEmpty());
        } else {
            QVERIFY2(catcher.titles.contains("Error"), qPrintable(opened.paths.join(' ')));
            QCOMPARE(catcher.texts[catcher.titles.indexOf("Error")], "Export failed!\n" + refusal + chosen);
            QVERIFY(opened.paths.isEmpty());
            QCOMPARE(contents(chosen), QByteArray("older"));
            // The workbook waits under its own hidden name, as after a
            // cancel, whole and as it was made.
            const QStringList left = waiting(folder);
            QCOMPARE(left.size(), 1);
            const QString workbook = folder + "/" + left[0];
            QVERIFY(wholeWorkbook(workbook));
            struct stat made;
            QVERIFY(::stat(QFile::encodeName(workbook).constData(), &made) == 0);
            QCOMPARE(int(made.st_mode & 07777), int(0666 & ~umask));
            QCOMPARE(made.st_uid, asUser ? nobody : uid);
            QCOMPARE(made.st_gid, asUser ? nobody : gid);
        }
        if (place == "beside root's ~temp.xlsx") {
            QCOMPARE(contents(rootsTemp), QByteArray("older"));
            QVERIFY(QFileInfo(rootsTemp).ownerId() == 0);
        }
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
    }

    // A new manual name in another folder of the export folder's disk gets
    // what that folder gives a file made there, as getfacl reads one touch
    // made: its default ACL, or its set-group-id group (nogroup).
    void aNewManualNameGetsWhatItsFolderGives_data() {
        QTest::addColumn<QString>("defaultAcl"); // empty: a set-group-id folder
        QTest::newRow("default ACL: one user in, others out") << "u:nobody:rw,g::r,o::-";
        QTest::newRow("set-group-id folder") << "";
    }
    void aNewManualNameGetsWhatItsFolderGives() {
        QFETCH(QString, defaultAcl);
        const QString folder = env->file("chosen");
        const QByteArray name = QFile::encodeName(folder);
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(env->file("reports")));
        const QString given = defaultAcl.isEmpty() ? QString() : setDefaultAcl(folder, defaultAcl);
        if (given.startsWith("unsupported") || (defaultAcl.isEmpty() && ::geteuid() != 0))
            QSKIP("no default ACL here, or not root to give a folder another group");
        QVERIFY2(given.isEmpty(), qPrintable(given));
        if (defaultAcl.isEmpty())
            QVERIFY(::chown(name.constData(), 0, 65534) == 0 && ::chmod(name.constData(), 02775) == 0);
        QCOMPARE(runProgram("touch", {folder + "/touched"}), QString());
        useFolder(env->file("reports"), true);
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = exportNamed(folder + "/mine.xlsx", catcher);
        QTRY_COMPARE(opened.paths, QStringList({folder + "/mine.xlsx"}));
        QCOMPARE(aclOf(folder + "/mine.xlsx"), aclOf(folder + "/touched"));
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
    }

    // The workbook's parts are built in the system's temporary folder: when
    // that disk is full, the box says so, not merely the report's name.
    void fullTemporaryDiskIsNamed() {
        TmpfsMount temp(env->file("temp"), "size=64k");
        if (!temp.ok())
            QSKIP(qPrintable(temp.error()));
        QVERIFY(temp.fill("filler"));
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        useFolder(env->path(), false);
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = makePanel();
        writesMayFail = true;
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_VERIFY(!catcher.texts.isEmpty());
        qputenv("TMPDIR", oldTemp);
        if (oldTemp.isNull())
            qunsetenv("TMPDIR");
        QCOMPARE(catcher.texts, QStringList({"Export failed!\nThe disk of the temporary folder is full: " + temp.path()}));
        QVERIFY(opened.paths.isEmpty());
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
    }

    // Why an export failed: a missing folder, a read-only disk, a full disk;
    // for both roads (a Word report whose write failed must not pass). A
    // report that was written but that nothing on the desktop can open is
    // no failure, but the box says where it is.
    void failureBoxSaysWhy_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("problem");
        for (const char* button : {"btnExcelExport", "btnWordExport"})
            for (const char* problem : {"missing", "read-only", "full", "no program opens it"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(button, problem))) << button << problem;
    }

    void failureBoxSaysWhy() {
        QFETCH(QString, button);
        QFETCH(QString, problem);
        const QString folder = env->file("target");
        std::unique_ptr<TmpfsMount> disk;
        QString expected;
        if (problem == "no program opens it") {
            // No handler of our own, and no launcher the desktop could find
            // (an empty search path, no browser named).
            QVERIFY(QDir().mkpath(folder));
            useFolder(env->path(), false);
            ModalCatcher catcher;
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", "");
            auto restore = qScopeGuard([&] { qputenv("PATH", path); });
            auto panel = makePanel();
            child<QLineEdit>(panel.get(), "lineEditPath")->setText(folder);
            child<QToolButton>(panel.get(), qPrintable(button))->click();
            QTRY_COMPARE(catcher.texts.size(), 1);
            const QStringList saved = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(saved.size(), 1);
            QVERIFY(saved[0].endsWith(button == "btnWordExport" ? ".doc" : ".xlsx"));
            QCOMPARE(catcher.texts[0],
                     "The report was saved, but no program here opens it:\n" + folder + "/" + saved[0]);
            QCOMPARE(catcher.titles, QStringList({"Export"}));
            QTRY_VERIFY(child<QToolButton>(panel.get(), qPrintable(button))->isEnabled());
            return;
        }
        if (problem == "missing") {
            expected = "The folder does not exist: " + folder;
        } else {
            disk = std::make_unique<TmpfsMount>(folder, problem == "full" ? "size=64k" : "ro,size=64k");
            if (!disk->ok())
                QSKIP(qPrintable(disk->error()));
            if (problem == "full")
                QVERIFY(disk->fill("filler"));
            expected = problem == "full" ? "The disk is full: " + folder : "The folder is read-only: " + folder;
        }
        useFolder(env->path(), false);
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = makePanel();
        child<QLineEdit>(panel.get(), "lineEditPath")->setText(folder); // typed, not stored
        writesMayFail = true;
        child<QToolButton>(panel.get(), qPrintable(button))->click();
        QTRY_COMPARE(catcher.texts, QStringList({"Export failed!\n" + expected}));
        QCOMPARE(catcher.titles, QStringList({"Error"}));
        QVERIFY(opened.paths.isEmpty());
        QTRY_VERIFY(child<QToolButton>(panel.get(), qPrintable(button))->isEnabled());
        if (disk)
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                     problem == "full" ? QStringList({"filler"}) : QStringList());
    }

    // A manual report name that is a symbolic link, or a chain of two, on
    // the export folder's disk or on another: the links stay, the report
    // lands in the file at the end. The same for a workbook written straight
    // to such a name.
    void aReportNameThatIsALinkStaysOne_data() {
        QTest::addColumn<bool>("otherDisk");
        QTest::newRow("same disk") << false;
        QTest::newRow("other disk") << true;
    }
    void aReportNameThatIsALinkStaysOne() {
        QFETCH(bool, otherDisk);
        std::unique_ptr<TmpfsMount> disk;
        const QString folder = env->file("reports");
        if (otherDisk) {
            disk = std::make_unique<TmpfsMount>(folder, "size=4m");
            if (!disk->ok())
                QSKIP(qPrintable(disk->error()));
        }
        QVERIFY(QDir().mkpath(folder));
        const QString real = folder + "/real.xlsx", middle = folder + "/middle.xlsx",
                      chosen = folder + "/chosen.xlsx";
        QVERIFY(writeOlder(real));
        QVERIFY(QFile::link(real, middle));
        QVERIFY(QFile::link("middle.xlsx", chosen));
        useFolder(env->path(), true);
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = exportNamed(chosen, catcher);
        QTRY_COMPARE(opened.paths, QStringList({chosen}));
        QVERIFY(!catcher.titles.contains("Error"));
        auto linksStayAndReportIsWhole = [&] {
            QVERIFY(QFileInfo(chosen).isSymLink() && QFileInfo(middle).isSymLink());
            QProcess unzip;
            unzip.start("unzip", {"-tqq", real});
            QVERIFY(unzip.waitForFinished(60000));
            QVERIFY2(unzip.exitCode() == 0, unzip.readAll().constData());
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System),
                     QStringList({"chosen.xlsx", "middle.xlsx", "real.xlsx"}));
        };
        linksStayAndReportIsWhole();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QFile::remove(real));
        QVERIFY(QFile(real).open(QIODevice::WriteOnly));
        XlsReportLayout layout(XlsReportTemplate::ReadCurrent(), 1, MeasureTable(), false, QDateTime());
        QVERIFY(layout.Write(chosen, QString(), false));
        linksStayAndReportIsWhole();
    }

    // More than a MiB free on the export disk, less than the workbook with
    // its picture needs: the box says the disk is full.
    void aWorkbookLargerThanTheRoomLeftIsAFullDisk() {
        TmpfsMount disk(env->file("exportDisk"), "size=4m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        useFolder(disk.path(), false);
        QSettings("./XlsSet.ini", QSettings::IniFormat).setValue("isExport", true);
        hub->setIsCameraMode(false);
        writesMayFail = true;
        qint64 pictureBytes = 0;
        auto still =
            connect(hub, &MessagePassing::snapImageModeSIGNAL, this, [&](QString path, QString suffix, int) {
                QVERIFY(noisePicture(1000, 800, 9).save(path + "." + suffix, "jpg", 100)); // some 2 MB
                pictureBytes = QFileInfo(path + "." + suffix).size();
                QMetaObject::invokeMethod(
                    hub, [this] { emit hub->exportImageSIGNAL(); }, Qt::QueuedConnection);
            });
        QVERIFY(disk.leaveFree("filler", 320)); // 1.25 MiB
        ModalCatcher catcher;
        OpenedFiles opened;
        auto panel = makePanel();
        child<QToolButton>(panel.get(), "btnExcelExport")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!catcher.texts.isEmpty() || !opened.paths.isEmpty(), 20000);
        disconnect(still);
        QVERIFY2(pictureBytes > 1400 * 1024, qPrintable(QString::number(pictureBytes)));
        QCOMPARE(catcher.texts, QStringList({"Export failed!\nThe disk is full: " + disk.path()}));
        QVERIFY(opened.paths.isEmpty());
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"filler"}));
        QTRY_VERIFY(child<QToolButton>(panel.get(), "btnExcelExport")->isEnabled());
    }
};

QTEST_MAIN(ExportPanelTest)
#include "tst_export_panel.moc"
