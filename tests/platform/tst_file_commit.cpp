// The one writer of the user's files: what it keeps of the file it replaces
// (format, permissions, owner, links), what it makes of a damaged settings
// file, and what it leaves when a write is refused or its program killed.
// Nearly full disks of every writer are driven in tests/app/tst_full_disk_saves.

#include "platform/FileCommit.h"
#include "platform/SnapshotRecords.h"
#include "platform/WriteProblem.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A child process that stops itself in the middle of a write into folder
// (a picture, or the edit of a settings file), as a program killed there
// would have left it. The caller ends it.
pid_t stoppedWriter(const QString& folder, bool settings) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (settings) {
            FileCommit::editSettings(
                folder + "/List.ini",
                [](QSettings& s) {
                    s.setValue("curKey", "mine");
                    s.sync();
                    ::raise(SIGSTOP);
                },
                1);
        } else {
            FileCommit picture(folder + "/shot.tiff");
            picture.write(QByteArray(1 << 20, 'x'));
            ::raise(SIGSTOP);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, WUNTRACED);
    return pid;
}

void endChild(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The edits of a template and a line store: lists, points, groups, removal.
void edit(QSettings& s) {
    s.setValue("strList", QStringList({"Corp", "日期", "a, b"}));
    s.setValue("imagePos", QPoint(0, 2));
    s.setValue("Camera_1/HOR_0_POS", 547.5f);
    s.setValue("Camera_1/HORSIZE", 1);
    s.remove("gone");
    s.setValue("%weird key/=", true);
}
} // namespace

class FileCommitTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    // The file comes out as QSettings itself writes it, byte for byte.
    void settingsKeepQtsFormat_data() {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new file") << false;
        QTest::newRow("file with other keys") << true;
    }
    void settingsKeepQtsFormat() {
        QFETCH(bool, existing);
        const QString ours = env->file("ours/x.ini"), qts = env->file("qts.ini");
        if (existing)
            for (const QString& f : {ours, qts}) {
                QDir().mkpath(QFileInfo(f).absolutePath());
                QSettings s(f, QSettings::IniFormat);
                s.setValue("kept", 7);
                s.setValue("gone", "x");
                s.setValue("Camera_0/VERSIZE", 2);
            }
        {
            QSettings s(qts, QSettings::IniFormat);
            edit(s);
        }
        QCOMPARE(FileCommit::editSettings(ours, edit, 1), QString());
        QCOMPARE(bytesOf(ours), bytesOf(qts));
        QCOMPARE(entries(QFileInfo(ours).absolutePath()), QStringList({"x.ini"})); // no drafts left
    }

    void replacedFileKeepsItsPermissionsAndNewFollowsTheUmask() {
        const QString kept = env->file("kept.jpg"), fresh = env->file("fresh.jpg");
        QFile f(kept);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        const mode_t mask = ::umask(027);
        QImage image(16, 8, QImage::Format_RGB888);
        image.fill(Qt::red);
        QCOMPARE(FileCommit::writeImage(kept, image, "jpg", 90, 1), QString());
        QCOMPARE(FileCommit::writeImage(fresh, image, "jpg", 90, 1), QString());
        ::umask(mask);
        QCOMPARE(modeOf(kept), mode_t(0600));
        QCOMPARE(modeOf(fresh), mode_t(0640));
        QCOMPARE(QImage(kept).size(), QSize(16, 8));
    }

    void aLinkKeepsPointingAtTheReplacedFile() {
        const QString real = env->file("real.ini"), link = env->file("link.ini");
        QVERIFY(QFile(real).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(real, link));
        QCOMPARE(FileCommit::writeBytes(link, "a=1\n", 1), QString());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(bytesOf(real), QByteArray("a=1\n"));
    }

    void refusedWritesLeaveNothing() {
        // A folder in the file's place cannot be replaced by a file.
        const QString taken = env->file("taken.ini");
        QVERIFY(QDir().mkpath(taken + "/inside"));
        QVERIFY(!FileCommit::writeBytes(taken, "a=1\n", 1).isEmpty());
        QVERIFY(!FileCommit::editSettings(taken, edit, 1).isEmpty());
        QVERIFY(QFileInfo(taken + "/inside").isDir());
        // A picture that cannot be encoded writes nothing.
        QVERIFY(!FileCommit::writeImage(env->file("null.jpg"), QImage(), "jpg", 90, 1).isEmpty());
        QCOMPARE(entries(env->path()), QStringList({"taken.ini"}));
    }

    // A settings file QSettings cannot fully parse (a stray line, a crash's
    // tail, an editor's byte-order mark) is rewritten whole: its readable
    // keys stay, the damage goes, the edit lands.
    void damagedSettingsAreRewrittenWhole_data() {
        QTest::addColumn<QByteArray>("damaged");
        const QByteArray good = "[General]\nstrList=default, mine\ncurKey=mine\n";
        QByteArray noise;
        quint32 seed = 11;
        for (int i = 0; i < 300; ++i) {
            seed = seed * 1664525u + 1013904223u;
            noise += char(seed >> 24);
        }
        QTest::newRow("stray line") << good + "stray line\n";
        QTest::newRow("unclosed section") << good + "[General\n";
        QTest::newRow("NUL-filled tail") << good + QByteArray(4096, '\0');
        QTest::newRow("random bytes") << good + noise;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") + good;
    }
    void damagedSettingsAreRewrittenWhole() {
        QFETCH(QByteArray, damaged);
        const QString list = env->file("Template/List.ini");
        QVERIFY(QDir().mkpath(env->file("Template")));
        QFile f(list);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(damaged);
        f.close();
        QCOMPARE(FileCommit::editSettings(
                     list, [](QSettings& s) { s.setValue("curKey", "default"); }, 1),
                 QString());
        const QJsonObject ini = readBack("ini", list);
        QVERIFY2(!ini.contains("error"), qPrintable(ini["error"].toString()));
        QCOMPARE(ini["General"].toObject()["curKey"].toString(), QString("default"));
        QCOMPARE(ini["General"].toObject()["strList"].toString(), QString("default, mine"));
        QVERIFY(!bytesOf(list).contains("stray") && !bytesOf(list).contains('\0'));
        QCOMPARE(entries(env->file("Template")), QStringList({"List.ini"}));
    }

    // Every link on the way stays a link: the file at the end of the chain
    // is the one replaced.
    void aChainOfLinksIsFollowedToTheEnd() {
        const QString real = env->file("real.ini"), middle = env->file("middle.ini"),
                      outer = env->file("outer.ini");
        QVERIFY(QFile(real).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(real, middle));
        QVERIFY(QFile::link("middle.ini", outer)); // relative, as ln -s makes it
        QCOMPARE(FileCommit::writeBytes(outer, "a=1\n", 1), QString());
        QCOMPARE(bytesOf(real), QByteArray("a=1\n"));
        QCOMPARE(FileCommit::editSettings(
                     outer, [](QSettings& s) { s.setValue("b", 2); }, 1),
                 QString());
        QVERIFY(QFileInfo(middle).isSymLink() && QFileInfo(outer).isSymLink());
        QCOMPARE(QSettings(real, QSettings::IniFormat).value("b").toInt(), 2);
        QCOMPARE(entries(env->path()), QStringList({"middle.ini", "outer.ini", "real.ini"}));
    }

    // A name of 249 bytes (of 255 the system allows) saves: the temporary
    // name beside it does not grow with it.
    void theLongestNamesSave_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("249 ASCII bytes") << QString(245, 'a') + ".jpg";
        QTest::newRow("83 Chinese characters") << QString(83, QChar(0x6D4B));
    }
    void theLongestNamesSave() {
        QFETCH(QString, name);
        QCOMPARE(QFile::encodeName(name).size(), 249);
        QCOMPARE(FileCommit::writeBytes(env->file(name), "[General]\na=0\n", 1), QString());
        QCOMPARE(FileCommit::editSettings(
                     env->file(name), [](QSettings& s) { s.setValue("a", 1); }, 1),
                 QString());
        QCOMPARE(entries(env->path()), QStringList({name}));
    }

    // More than a MiB free, less than the file needs: the reason is a full
    // disk, named by where it is mounted.
    void aWriteLargerThanTheRoomLeftIsAFullDisk() {
        TmpfsMount disk(env->file("disk"), "size=4m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        QVERIFY(disk.leaveFree("filler", 384)); // 1.5 MiB
        const QByteArray data(2 * 1024 * 1024, 'x');
        const QString full = "The disk is full: " + disk.path();
        QCOMPARE(FileCommit::writeBytes(disk.path() + "/big.bin", data, 1), full);
        QCOMPARE(WriteProblem::folder(disk.path(), 1, data.size()), full);
        QCOMPARE(WriteProblem::folder(disk.path(), 1, 1024 * 1024), QString());
        QCOMPARE(entries(disk.path()), QStringList({"filler"}));
    }

    // Writes cut short by killed programs leave their temporary files; the
    // start (for the snapshot folder) and the next write into a folder
    // remove them, never those of a write still under way in a running one.
    void leftoversOfKilledWritesGo() {
        const QString pictures = env->file("Export/Image"), templates = env->file("Template");
        QVERIFY(QDir().mkpath(pictures) && QDir().mkpath(templates));
        const pid_t killedPicture = stoppedWriter(pictures, false),
                    killedEdit = stoppedWriter(pictures, true),
                    killedTemplate = stoppedWriter(templates, true), running = stoppedWriter(pictures, false);
        const int underWay = entries(pictures).size();
        for (pid_t pid : {killedPicture, killedEdit, killedTemplate})
            endChild(pid);
        SnapshotRecords::takeLeftovers();
        const QStringList leftPictures = entries(pictures);
        QCOMPARE(FileCommit::writeBytes(templates + "/mine.ini", "a=1\n", 1), QString());
        const QStringList leftTemplates = entries(templates);
        endChild(running);
        QVERIFY2(underWay >= 3, qPrintable(QString::number(underWay)));
        QCOMPARE(leftPictures.size(), 1); // the running program's
        QVERIFY2(leftPictures[0].startsWith(QString(".~%1-").arg(running)), qPrintable(leftPictures[0]));
        QCOMPARE(leftTemplates, QStringList({"mine.ini"}));
    }

    // As an ordinary user: a picture the user may not write is refused with
    // that reason, and so is one of another owner that a replacement would
    // take from him; both stay byte for byte, with their owner and mode.
    void protectedFilesStayProtected_data() {
        QTest::addColumn<bool>("othersFile");
        QTest::newRow("read-only") << false;
        QTest::newRow("another owner's, group-writable") << true;
    }
    void protectedFilesStayProtected() {
        QFETCH(bool, othersFile);
        const bool root = ::geteuid() == 0;
        if (othersFile && !root)
            QSKIP("only root can make a file of another owner");
        const uid_t nobody = 65534;
        const QString folder = env->file("shared"), picture = folder + "/reference.jpg";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(env->path()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
        QFile f(picture);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("the reference");
        f.close();
        const QByteArray name = QFile::encodeName(picture);
        if (root)
            QVERIFY(::chown(name.constData(), othersFile ? 0 : nobody, nobody) == 0);
        QVERIFY(::chmod(name.constData(), othersFile ? 0664 : 0444) == 0);
        struct stat before;
        QVERIFY(::stat(name.constData(), &before) == 0);

        int pipe[2];
        QVERIFY(::pipe(pipe) == 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipe[0]);
            if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(2);
            if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
                ::_exit(77); // the temporary folder lies behind a folder only its owner may enter
            const QByteArray why = FileCommit::writeBytes(picture, "replaced", 1).toUtf8();
            ::write(pipe[1], why.constData(), size_t(why.size()));
            ::_exit(0);
        }
        ::close(pipe[1]);
        QByteArray why;
        char buf[512];
        for (ssize_t n; (n = ::read(pipe[0], buf, sizeof buf)) > 0;)
            why.append(buf, int(n));
        ::close(pipe[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
            QSKIP("an ordinary user cannot reach the temporary folder");
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(QString::fromUtf8(why), "Writing the file is not allowed: " + picture);
        struct stat after;
        QVERIFY(::stat(name.constData(), &after) == 0);
        QCOMPARE(bytesOf(picture), QByteArray("the reference"));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(entries(folder), QStringList({"reference.jpg"}));
    }
};

QTEST_MAIN(FileCommitTest)
#include "tst_file_commit.moc"
