// The one writer of the user's files: what it keeps of the file it replaces
// (format, permissions, a link) and what it leaves when a write is refused.
// Full disks are driven in tests/app/tst_full_disk_saves.

#include "platform/FileCommit.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

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
};

QTEST_MAIN(FileCommitTest)
#include "tst_file_commit.moc"
