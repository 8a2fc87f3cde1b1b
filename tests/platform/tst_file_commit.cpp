// The one writer of the user's files: what it keeps of the file it replaces
// (format, permissions, owner, links), what it makes of a damaged settings
// file, and what it leaves when a write is refused or its program killed.
// Nearly full disks of every writer are driven in tests/app/tst_full_disk_saves.

#include "platform/FileCommit.h"
#include "platform/RegularFile.h"
#include "platform/SnapshotRecords.h"
#include "platform/WriteProblem.h"
#include "tests/support/HeldChild.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sched.h>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/sysmacros.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utime.h>

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

// The id of a process that has ended.
pid_t endedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

// Sets the time path was last changed to seconds ago.
bool touchedAgo(const QString& path, int seconds) {
    const utimbuf then{std::time(nullptr) - seconds, std::time(nullptr) - seconds};
    return ::utime(QFile::encodeName(path).constData(), &then) == 0;
}

// How a child running as nobody (65534) fares opening path: "read", "write",
// both ("read write"), "none", or "unreachable" when a folder on the way
// keeps it out.
QString nobodyMay(const QString& path) {
    QStringList may;
    for (int flags : {O_RDONLY, O_WRONLY}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            if (::access(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), X_OK) != 0)
                ::_exit(77);
            const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK);
            ::_exit(fd >= 0 ? 0 : 1);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) == 2)
            return "child failed";
        if (WEXITSTATUS(status) == 77)
            return "unreachable";
        if (WEXITSTATUS(status) == 0)
            may << (flags == O_RDONLY ? "read" : "write");
    }
    return may.isEmpty() ? "none" : may.join(' ');
}

// Writes the settings file at path with each writer of the user's files.
QString writeWith(const QString& writer, const QString& path) {
    if (writer == "settings read") // as the panels read their settings
        return QSettings(RegularFile::settingsName(path), QSettings::IniFormat).value("a").isValid()
                   ? "read"
                   : "unset";
    if (writer == "bytes")
        return FileCommit::writeBytes(path, "[General]\na=2\n", 1);
    if (writer == "new file") { // as a snapshot is written: where it went
        QString at = path;
        const QString why = FileCommit::writeNewBytes(&at, "[General]\na=2\n", 1);
        return why.isEmpty() && bytesOf(at) == "[General]\na=2\n" ? "written as " + QFileInfo(at).fileName()
                                                                  : why;
    }
    return FileCommit::editSettings(
        path, [](QSettings& s) { s.setValue("a", 3); }, 1);
}

// How many files this process has open, as the system lists them.
int openFiles() {
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
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
        const int openBefore = openFiles();
        QCOMPARE(FileCommit::editSettings(ours, edit, 1), QString());
        QCOMPARE(bytesOf(ours), bytesOf(qts));
        QCOMPARE(entries(QFileInfo(ours).absolutePath()), QStringList({"x.ini"})); // no drafts left
        QCOMPARE(openFiles(), openBefore); // nor a file kept open
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

    // A template on a disk with a few pages free is saved whole, every value
    // read back by an independent reader, or refused as a full disk with
    // nothing left of it. Its last key straddles the first page's end: a
    // write cut there ends inside that value, with every key still there.
    void aTemplateOnANearlyFullDiskIsWholeOrRefused_data() {
        QTest::addColumn<int>("freePages");
        for (int pages = 0; pages <= 6; ++pages)
            QTest::addRow("%d pages free", pages) << pages;
    }
    void aTemplateOnANearlyFullDiskIsWholeOrRefused() {
        QFETCH(int, freePages);
        TmpfsMount disk(env->file("disk"), "size=256k");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        // "[General]\n", eight lines of 501 bytes, then one of 1,079 from
        // byte 4,018 to 5,097.
        QMap<QString, QString> values;
        for (int i = 0; i < 8; ++i)
            values.insert(QString("key%1").arg(i), QString(496 - 1, QChar('a' + i)));
        values.insert("last", QString(1074 - 1, 'z'));
        QVERIFY(disk.leaveFree("filler", freePages));
        const QString file = disk.path() + "/mine.ini";
        const QString why = FileCommit::editSettings(
            file,
            [&](QSettings& s) {
                for (auto it = values.cbegin(); it != values.cend(); ++it)
                    s.setValue(it.key(), it.value());
            },
            1);
        if (why.isEmpty()) {
            QCOMPARE(QFileInfo(file).size(), qint64(5097));
            const QJsonObject ini = readBack("ini", file);
            QVERIFY2(!ini.contains("error"), qPrintable(ini["error"].toString()));
            const QJsonObject general = ini["General"].toObject();
            QCOMPARE(general.size(), values.size());
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                QCOMPARE(general[it.key()].toString(), it.value());
            QCOMPARE(entries(disk.path()), QStringList({"filler", "mine.ini"}));
        } else {
            QCOMPARE(why, "The disk is full: " + disk.path());
            QCOMPARE(entries(disk.path()), QStringList({"filler"}));
        }
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
        // Long untouched, as a killed write's files are by the next start;
        // the running program's too, which its lock keeps.
        for (const QString& folder : {pictures, templates})
            for (const QString& entry : entries(folder))
                QVERIFY(touchedAgo(folder + "/" + entry, 3600));
        SnapshotRecords::takeLeftovers();
        const QStringList leftPictures = entries(pictures);
        QCOMPARE(FileCommit::writeBytes(templates + "/mine.ini", "a=1\n", 1), QString());
        const QStringList leftTemplates = entries(templates);
        endChild(running);
        QVERIFY2(underWay >= 3, qPrintable(QString::number(underWay)));
        QCOMPARE(leftPictures.size(), 1); // the running program's
        QVERIFY2(QRegularExpression(QString("^\\.~%1[-=]").arg(running)).match(leftPictures[0]).hasMatch(),
                 qPrintable(leftPictures[0]));
        QCOMPARE(leftTemplates, QStringList({"mine.ini"}));
    }

    // What the sweep takes: a temporary file of this user's writer whose
    // program has ended and that no write can still own: untouched for an
    // hour and held by no process. A write of a program in another pid
    // namespace or on another computer sharing the folder has an id that
    // says nothing here; it keeps touching and holding its file.
    void theSweepTakesOnlyLeftoversNoWriteCanOwn_data() {
        QTest::addColumn<QString>("name");  // %1: the id of its program
        QTest::addColumn<QString>("owner"); // "ended", "running", "this" (this program's id)
        QTest::addColumn<int>("age");       // seconds since last touched
        QTest::addColumn<bool>("held");     // a process holds a lock on it
        QTest::addColumn<bool>("othersFile");
        QTest::addColumn<bool>("swept");
        QTest::newRow("ended write, an hour old") << ".~%1-a1B2c3"
                                                  << "ended" << 3600 << false << false << true;
        QTest::newRow("ended write, just touched") << ".~%1-a1B2c3"
                                                   << "ended" << 0 << false << false << false;
        QTest::newRow("ended write, five minutes old") << ".~%1-a1B2c3"
                                                       << "ended" << 300 << false << false << false;
        QTest::newRow("ended settings read-back copy") << ".~%1-a1B2c3-check"
                                                       << "ended" << 3600 << false << false << true;
        QTest::newRow("ended settings lock") << ".~%1-a1B2c3.lock"
                                             << "ended" << 3600 << false << false << true;
        QTest::newRow("ended read-back copy's lock") << ".~%1-a1B2c3-check.lock"
                                                     << "ended" << 3600 << false << false << true;
        QTest::newRow("ended write, held by a process") << ".~%1-a1B2c3"
                                                        << "ended" << 3600 << true << false << false;
        QTest::newRow("another user's") << ".~%1-a1B2c3"
                                        << "ended" << 3600 << false << true << false;
        QTest::newRow("running program's, fresh") << ".~%1-a1B2c3"
                                                  << "running" << 0 << false << false << false;
        QTest::newRow("id since taken by a newer program") << ".~%1-a1B2c3"
                                                           << "running" << 3600 << false << false << true;
        QTest::newRow("ended write, eleven minutes old") << ".~%1-a1B2c3"
                                                         << "ended" << 660 << false << false << true;
        QTest::newRow("ended write held from its making, just touched") << ".~%1=a1B2c3"
                                                                        << "ended" << 0 << false << false << true;
        QTest::newRow("ended settings draft, its edit's file gone") << ".~%1=a1B2c3-1-check"
                                                                    << "ended" << 0 << false << false << true;
        QTest::newRow("this program's id, none of its writes (an earlier run as pid 1)")
            << ".~%1=a1B2c3"
            << "this" << 0 << false << false << true;
        QTest::newRow("this program's id, an hour old, held by none") << ".~%1-a1B2c3"
                                                                      << "this" << 3600 << false << false << true;
        QTest::newRow("this program's id, held") << ".~%1=a1B2c3"
                                                 << "this" << 0 << true << false << false;
        QTest::newRow("running program's, held from its making, fresh") << ".~%1=a1B2c3"
                                                                        << "running" << 0 << false << false << false;
        QTest::newRow("ended settings draft of an edit not held from its making, an hour old")
            << ".~%1-a1B2c3-1"
            << "ended" << 3600 << false << false << true;
        QTest::newRow("ended settings draft of an edit not held from its making, just touched")
            << ".~%1-a1B2c3-2-check"
            << "ended" << 0 << false << false << false;
        QTest::newRow("ended settings draft's own write, its edit's file gone") << ".~%1=a1B2c3-1.Xy12Ab"
                                                                             << "ended" << 0 << false << false
                                                                             << true;
        QTest::newRow("not a writer's: no tail") << ".~%1"
                                                 << "ended" << 3600 << false << false << false;
        QTest::newRow("not a writer's: other tail") << ".~%1-a1B2c3.tmp"
                                                    << "ended" << 3600 << false << false << false;
        QTest::newRow("not a writer's: longer name") << ".~%1-a1B2c3d4"
                                                     << "ended" << 3600 << false << false << false;
        QTest::newRow("not a writer's: word") << ".~%1-old"
                                              << "ended" << 3600 << false << false << false;
    }
    void theSweepTakesOnlyLeftoversNoWriteCanOwn() {
        QFETCH(QString, name);
        QFETCH(QString, owner);
        QFETCH(int, age);
        QFETCH(bool, held);
        QFETCH(bool, othersFile);
        QFETCH(bool, swept);
        if (othersFile && ::geteuid() != 0)
            QSKIP("only root can make a file of another owner");
        QProcess running;
        qint64 pid = owner == "this" ? ::getpid() : endedProcess();
        if (owner == "running") {
            running.start("sleep", {"600"});
            QVERIFY(running.waitForStarted());
            pid = running.processId();
        }
        const QString folder = env->file("Export/Image"), file = folder + "/" + name.arg(pid);
        QVERIFY(QDir().mkpath(folder));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("part of a picture");
        f.flush();
        if (othersFile)
            QVERIFY(::chown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
        QVERIFY(touchedAgo(file, age));
        if (held)
            QVERIFY(::flock(f.handle(), LOCK_EX) == 0);
        else
            f.close();
        FileCommit::sweepLeftovers(folder);
        f.close();
        running.kill();
        running.waitForFinished();
        QCOMPARE(QFileInfo::exists(file), !swept);
    }

    // Every write into a folder sweeps it: a leftover too fresh to tell at
    // one write (a write of another program may be under way) goes at a
    // later one once long untouched; one that appears later goes too.
    void aLeftoverTooFreshAtOneWriteGoesAtALaterOne() {
        const QString folder = env->file("Export/Image");
        QVERIFY(QDir().mkpath(folder));
        const QString early = folder + QString("/.~%1-a1B2c3").arg(endedProcess()),
                      late = folder + QString("/.~%1-d4E5f6").arg(endedProcess());
        QVERIFY(QFile(early).open(QIODevice::WriteOnly));
        QCOMPARE(FileCommit::writeBytes(folder + "/1.jpg", "first", 1), QString());
        QVERIFY(QFileInfo::exists(early));
        QVERIFY(touchedAgo(early, 11 * 60));
        QVERIFY(QFile(late).open(QIODevice::WriteOnly) && touchedAgo(late, 3600));
        QCOMPARE(FileCommit::writeBytes(folder + "/2.jpg", "second", 1), QString());
        QCOMPARE(FileCommit::editSettings(
                     folder + "/3.ini", [](QSettings& s) { s.setValue("a", 1); }, 1),
                 QString());
        QCOMPARE(entries(folder), QStringList({"1.jpg", "2.jpg", "3.ini"}));
    }

    // A replaced file keeps who may use it: owner, group, mode and ACL, as
    // getfacl reads them and as nobody finds when opening it, in a folder
    // whose default ACL would let nobody in to a new file.
    void aReplacedFileKeepsWhoMayUseIt_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("group");
        QTest::addColumn<QString>("acl"); // setfacl -m, none when empty
        QTest::addColumn<QString>("nobody");
        QTest::newRow("0644, nobody kept out by an ACL") << 0644 << 0u << "u:nobody:---" << "none";
        QTest::newRow("0640, one user may write") << 0640 << 0u << "u:nobody:rw" << "read write";
        QTest::newRow("0640 of the group nogroup") << 0640 << 65534u << "" << "read";
        QTest::newRow("0600, no ACL") << 0600 << 0u << "" << "none";
    }
    void aReplacedFileKeepsWhoMayUseIt() {
        QFETCH(int, mode);
        QFETCH(uint, group);
        QFETCH(QString, acl);
        QFETCH(QString, nobody);
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another group and ask as nobody");
        const QString folder = env->file("reports");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(env->path()).constData(), 0755) == 0);
        const QString given = setDefaultAcl(folder, "u:nobody:rw,g::r,o::r");
        if (given.startsWith("unsupported"))
            QSKIP(qPrintable(given));
        QVERIFY2(given.isEmpty(), qPrintable(given));
        for (const QString writer : {"bytes", "settings"}) {
            const QString file = folder + "/" + writer + ".ini";
            const QByteArray name = QFile::encodeName(file);
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[General]\na=1\n");
            f.close();
            QVERIFY(::chown(name.constData(), 0, gid_t(group)) == 0);
            QCOMPARE(runProgram("setfacl", {"-b", file}), QString());
            QVERIFY(::chmod(name.constData(), mode_t(mode)) == 0);
            if (!acl.isEmpty())
                QCOMPARE(runProgram("setfacl", {"-m", acl, file}), QString());
            const QString before = aclOf(file);
            QVERIFY2(!before.startsWith("getfacl failed"), qPrintable(before));
            if (::setxattr(name.constData(), "user.comment", "scale 2", 7, 0) != 0)
                QSKIP("the temporary folder's disk keeps no user attributes");
            const QString nobodyBefore = nobodyMay(file);
            if (nobodyBefore == "unreachable")
                QSKIP("nobody cannot reach the temporary folder");
            QCOMPARE(nobodyBefore, nobody);
            QCOMPARE(writeWith(writer, file), QString());
            QCOMPARE(aclOf(file), before);
            QCOMPARE(nobodyMay(file), nobody);
            char comment[16] = {};
            QCOMPARE(::getxattr(name.constData(), "user.comment", comment, sizeof comment), ssize_t(7));
            QCOMPARE(QByteArray(comment), QByteArray("scale 2"));
        }
    }

    // A new file gets what the folder's default ACL (or else the umask)
    // gives a file made there, as touch makes it.
    void aNewFileGetsWhatItsFolderGives_data() {
        newFileAclRows();
    }
    void aNewFileGetsWhatItsFolderGives() {
        QFETCH(QString, defaultAcl);
        QFETCH(int, mask);
        const QString folder = env->file("reports");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(env->path()).constData(), 0755) == 0);
        const QString given = defaultAcl.isEmpty() ? QString() : setDefaultAcl(folder, defaultAcl);
        if (given.startsWith("unsupported"))
            QSKIP(qPrintable(given));
        QVERIFY2(given.isEmpty(), qPrintable(given));
        const mode_t old = ::umask(mode_t(mask));
        const QString touched = runProgram("touch", {folder + "/touched"});
        QStringList written;
        for (const QString writer : {"bytes", "settings"})
            written << writeWith(writer, folder + "/" + writer + ".ini");
        ::umask(old);
        QCOMPARE(touched, QString());
        QCOMPARE(written, QStringList({QString(), QString()}));
        const QString expected = aclOf(folder + "/touched");
        QVERIFY2(!expected.startsWith("getfacl failed"), qPrintable(expected));
        for (const QString writer : {"bytes", "settings"}) {
            QCOMPARE(aclOf(folder + "/" + writer + ".ini"), expected);
            if (::geteuid() == 0)
                QCOMPARE(nobodyMay(folder + "/" + writer + ".ini"), nobodyMay(folder + "/touched"));
        }
    }

    // A pipe, a device or a folder at the name is no file to replace: the
    // write is refused at once with that reason and the name keeps what it
    // is; a read finds its settings unset. Reading a pipe for its old content would wait for a writer for
    // ever; the writer runs in a child that is ended should it wait.
    // Another user's link at the name in a shared sticky folder, dangling
    // into a folder only root may enter or naming root's file there: not
    // followed; the write is refused with that reason, nothing changes. A
    // new file moves on to the next free name.
    void anotherUsersLinkSteersNoWrite_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("to");
        for (const char* writer : {"bytes", "settings", "new file"})
            for (const char* to : {"made.ini", "secret"})
                QTest::addRow("%s, to %s", writer, to) << QString(writer) << QString(to);
    }
    void anotherUsersLinkSteersNoWrite() {
        QFETCH(QString, writer);
        QFETCH(QString, to);
        if (::geteuid() != 0)
            QSKIP("only root can give a link to another user");
        const QString link = plantOthersLink(env->path(), "List.ini", to);
        QVERIFY(!link.isEmpty());
        QCOMPARE(writeWith(writer, link),
                 writer == "new file" ? "written as List_001.ini"
                                      : "The name is another user's link, which is not followed: " + link);
        QCOMPARE(entries(env->file("locked")), QStringList({"secret"}));
        QCOMPARE(bytesOf(env->file("locked/secret")), QByteArray("root's"));
        QVERIFY(QFileInfo(link).isSymLink());
    }

    void onlyFilesAreReplaced_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("writer");
        for (const char* kind : {"pipe", "device", "folder"})
            for (const char* writer : {"bytes", "settings", "settings read"})
                QTest::addRow("%s, %s", kind, writer) << QString(kind) << QString(writer);
    }
    void onlyFilesAreReplaced() {
        QFETCH(QString, kind);
        QFETCH(QString, writer);
        const QString target = env->file("List.ini");
        const QByteArray name = QFile::encodeName(target);
        if (kind == "pipe")
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        else if (kind == "device" && ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("only root can make a device");
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(target));
        int pipe[2];
        QVERIFY(::pipe(pipe) == 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipe[0]);
            const QByteArray why = writeWith(writer, target).toUtf8();
            ::write(pipe[1], why.constData(), size_t(why.size()));
            ::_exit(0);
        }
        ::close(pipe[1]);
        pollfd answer{pipe[0], POLLIN, 0};
        const bool answered = ::poll(&answer, 1, 120 * 1000) == 1; // a state: the answer or the writer's end
        if (!answered)
            ::kill(pid, SIGKILL);
        QByteArray why;
        char buf[512];
        for (ssize_t n; answered && (n = ::read(pipe[0], buf, sizeof buf)) > 0;)
            why.append(buf, int(n));
        ::close(pipe[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY2(answered, "the write waited on the pipe");
        QCOMPARE(QString::fromUtf8(why),
                 writer == "settings read" ? "unset" : "The name is not an ordinary file: " + target);
        struct stat st;
        QVERIFY(::lstat(name.constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & S_IFMT), kind == "pipe" ? int(S_IFIFO) : kind == "device" ? int(S_IFCHR) : int(S_IFDIR));
        QCOMPARE(QDir(env->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList({"List.ini"}));
    }

    // A program that runs as the first process of a pid namespace (a
    // container) has the id 1 at every run: what a killed run left goes at
    // the next run's write, as any ended program's does.
    void aLeftoverOfAnEarlierRunAsPidOneGoes() {
        const QString folder = env->file("Export/Image");
        QVERIFY(QDir().mkpath(folder));
        const HeldChild killed = heldChild(
            [&](const std::function<void()>&) {
                static FileCommit picture(folder + "/shot.tiff"); // never committed
                picture.write(QByteArray(1 << 20, 'x'));
            },
            true);
        if (killed.kill < 0)
            QSKIP("no pid namespace can be made here (needs root)");
        endHeld(killed);
        const QStringList left = entries(folder);
        QCOMPARE(left.size(), 1);
        QVERIFY2(QRegularExpression("^\\.~1[-=]").match(left[0]).hasMatch(), qPrintable(left[0]));
        // A name that cannot say it was held from its making goes once long
        // untouched: as a killed run's has been by a later one.
        if (left[0].startsWith(".~1-"))
            QVERIFY(touchedAgo(folder + "/" + left[0], 11 * 60));
        const HeldChild next = heldChild(
            [&](const std::function<void()>&) {
                if (!FileCommit::writeBytes(folder + "/next.jpg", "next", 1).isEmpty())
                    ::_exit(4);
            },
            true);
        QVERIFY(next.kill > 0);
        endHeld(next);
        QCOMPARE(entries(folder), QStringList({"next.jpg"}));
    }

    // A settings edit under way in another pid namespace, whose id says
    // nothing here: its drafts (which QSettings rewrites, so no lock of
    // their own lasts) stay while its own file is held, however old they
    // look, and go at the next write once it has ended.
    void aSettingsEditUnderWayElsewhereKeepsItsDrafts() {
        const QString folder = env->file("Template");
        QVERIFY(QDir().mkpath(folder));
        const HeldChild editing = heldChild(
            [&](const std::function<void()>& waitHere) {
                FileCommit::editSettings(
                    folder + "/List.ini",
                    [&](QSettings& s) {
                        s.setValue("curKey", "theirs");
                        s.sync();
                        waitHere();
                    },
                    1);
            },
            true);
        if (editing.kill < 0)
            QSKIP("no pid namespace can be made here (needs root)");
        // Older than this namespace's first process: its id cannot keep them.
        const QStringList underWay = entries(folder);
        for (const QString& entry : underWay)
            QVERIFY(touchedAgo(folder + "/" + entry, 10 * 365 * 24 * 3600));
        const QString during = FileCommit::writeBytes(folder + "/mine.ini", "a=1\n", 1);
        const QStringList left = entries(folder);
        endHeld(editing);
        QCOMPARE(during, QString());
        QVERIFY(!underWay.isEmpty());
        QCOMPARE(left, QStringList(underWay + QStringList{"mine.ini"}));
        QCOMPARE(FileCommit::writeBytes(folder + "/mine.ini", "a=2\n", 1), QString());
        QCOMPARE(entries(folder), QStringList({"mine.ini"}));
    }

    // The records of snapshots under way in another program sharing the
    // folder stay, with their thumbnails, when this one lists the pictures
    // that a killed program's records name.
    void aSnapshotRecordUnderWayElsewhereStays() {
        const QString pictures = env->file("Export/Image"), thumbs = env->file(".scaleImage");
        QVERIFY(QDir().mkpath(pictures) && QDir().mkpath(thumbs));
        QImage image(8, 8, QImage::Format_RGB888);
        image.fill(Qt::green);
        const QString killedShot = pictures + "/killed.jpg", liveShot = pictures + "/live.jpg";
        const QString killedThumb = thumbs + "/.new-aaaaaa.jpg", liveThumb = thumbs + "/.new-bbbbbb.jpg";
        for (const QString& f : {killedShot, liveShot, killedThumb, liveThumb})
            QVERIFY(image.save(f));
        const HeldChild killed = heldChild(
            [&](const std::function<void()>&) { SnapshotRecords::notePending(killedShot, killedThumb); }, false);
        const HeldChild live = heldChild(
            [&](const std::function<void()>&) { SnapshotRecords::notePending(liveShot, liveThumb); }, false);
        QVERIFY(killed.kill > 0 && live.kill > 0);
        endHeld(killed);
        const QList<QPair<QString, QString>> listed = SnapshotRecords::takeLeftovers();
        const QStringList left = entries(thumbs);
        endHeld(live);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].first, killedShot);
        QCOMPARE(listed[0].second, killedThumb);
        QCOMPARE(left.size(), 3); // the live record, both thumbnails (the listed one is the caller's)
        QVERIFY(left.contains(".new-bbbbbb.jpg") && left.contains(".new-aaaaaa.jpg"));
        QVERIFY2(left.filter(QRegularExpression("^\\.pending")).size() == 1, qPrintable(left.join(' ')));
        // This program's own record is private whatever the umask, and
        // nothing of it stays open once it is dropped.
        const int files = openFiles();
        const mode_t mask = ::umask(0);
        const QString note = SnapshotRecords::notePending(liveShot, liveThumb);
        ::umask(mask);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(note).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        SnapshotRecords::dropNote(note);
        QCOMPARE(openFiles(), files);
    }

    // As an ordinary user: a picture the user may not write is refused with
    // that reason, and so is one of another owner that a replacement would
    // take from him; both stay byte for byte, with their owner and mode.
    void protectedFilesStayProtected_data() {
        QTest::addColumn<bool>("othersFile");
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("group"); // of the file, made by root
        QTest::newRow("read-only") << false << 0444 << 65534u;
        QTest::newRow("another owner's, group-writable") << true << 0664 << 65534u;
        // A replacement would leave the group, which the user cannot give it.
        QTest::newRow("the user's, of a group the user is not in") << false << 0660 << 0u;
    }
    void protectedFilesStayProtected() {
        QFETCH(bool, othersFile);
        QFETCH(int, mode);
        QFETCH(uint, group);
        const bool root = ::geteuid() == 0;
        if ((othersFile || group != 65534u) && !root)
            QSKIP("only root can make a file of another owner or group");
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
            QVERIFY(::chown(name.constData(), othersFile ? 0 : nobody, gid_t(group)) == 0);
        QVERIFY(::chmod(name.constData(), mode_t(mode)) == 0);
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
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(entries(folder), QStringList({"reference.jpg"}));
    }
};

QTEST_MAIN(FileCommitTest)
#include "tst_file_commit.moc"
