#include "platform/FileCommit.h"

#include "platform/FileNames.h"
#include "platform/WriteProblem.h"

#include "platform/filerules/FileRules.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why target may not be replaced (a folder, a pipe or device, a file the
// user may not change), 0 when it may.
int replaceProblem(const QString& target) {
    return FileRules::replaceProblem(QFile::encodeName(target).toStdString());
}

// A replaced file keeps its permissions and owner; a new one follows the umask.
int adoptModeAndOwner(int fd, const QString& target) {
    return FileRules::adoptModeAndOwner(fd, QFile::encodeName(target).toStdString());
}

// A temporary file beside target, held while open, whose name stays short
// whatever target's length (a legal name near the limit still saves) and
// carries this program's id; -1 with errno set when it cannot be made.
int createTemporary(const QString& target, QByteArray* name) {
    std::string made;
    const int fd = FileRules::createTemporary(QFile::encodeName(target).toStdString(), &made);
    *name = QByteArray::fromStdString(made);
    return fd;
}

// Writes all of data to fd, adding to *written what went: 0 when done,
// else errno (ENOSPC for a write that took nothing).
int writeAll(int fd, const char* p, qint64 left, qint64* written) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        p += n;
        left -= n;
        *written += n;
    }
    return 0;
}

void syncFolder(const QString& folder) {
    // The rename is on disk once the folder is; best effort (not every file
    // system lets a folder be opened for syncing).
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// How a value reads back from an INI file: numbers and booleans come back as
// text, lists as lists of text, geometry types as themselves.
bool sameValue(const QVariant& written, const QVariant& read) {
    if (written == read)
        return true;
    const int type = written.userType();
    if (type == QMetaType::QStringList || type == QMetaType::QVariantList)
        return written.toStringList() == read.toStringList() && read.toStringList().size() == written.toList().size();
    return written.canConvert<QString>() && read.canConvert<QString>() && written.toString() == read.toString();
}

} // namespace

FileCommit::FileCommit(const QString& path, qint64 expectedSize)
    : FileCommit(path, expectedSize, AtName::Replace) {}

FileCommit::FileCommit(const QString& path, qint64 expectedSize, AtName atName)
    : m_expected(expectedSize), m_moveOn(atName == AtName::MoveOn) {
    // A new file goes to the name itself, whatever is there by then.
    m_target = m_moveOn ? QFileInfo(path).absoluteFilePath() : finalTarget(path, &m_refused);
}

QString FileCommit::finalTarget(const QString& path, int* refused) {
    return QString::fromStdString(FileRules::finalTarget(path.toStdString(), refused));
}

void FileCommit::sweepLeftovers(const QString& folder) {
    FileRules::sweepTemporaries(QFile::encodeName(folder).toStdString());
}

FileCommit::~FileCommit() { discard(); }

void FileCommit::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
    // The file that held a new file's name goes with it, unless something
    // else has the name by now.
    struct stat st;
    if (m_claimed && ::lstat(QFile::encodeName(m_target).constData(), &st) == 0 &&
        st.st_dev == m_claimDevice && st.st_ino == m_claimInode)
        ::unlink(QFile::encodeName(m_target).constData());
    m_claimed = false;
}

int FileCommit::takeFreeName() {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = ::open(QFile::encodeName(m_target).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            struct stat st;
            m_claimed = ::fstat(fd, &st) == 0;
            m_claimDevice = st.st_dev;
            m_claimInode = st.st_ino;
            ::close(fd);
            return m_claimed ? 0 : errno;
        }
        if (errno != EEXIST)
            return errno;
        const QString name = QFileInfo(m_target).fileName();
        const QString ext = name.contains('.') ? name.mid(name.lastIndexOf('.')) : QString();
        m_target = makeUniqueFileName(m_target.chopped(ext.size()), ext) + ext;
    }
    return EEXIST;
}

bool FileCommit::open() {
    if (!m_moveOn && ((m_error = m_refused) != 0 || (m_error = replaceProblem(m_target)) != 0))
        return false;
    // What killed writes left here goes first, at every write: a leftover
    // too fresh to tell at one look is told at a later one.
    sweepLeftovers(QFileInfo(m_target).absolutePath());
    // Made with the permissions a new file gets there (the folder's default
    // ACL, else the umask); a replaced file's are set below.
    QByteArray name;
    const int fd = createTemporary(m_target, &name);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    m_fd = fd;
    m_temp = name;
    // A new file has what a file made there gets already.
    m_error = m_moveOn ? 0 : adoptModeAndOwner(fd, m_target);
    if (m_error != 0) {
        discard();
        return false;
    }
    return true;
}

bool FileCommit::write(const QByteArray& data) {
    if (m_failed)
        return false;
    if (m_fd < 0 && !open()) {
        m_failed = true;
        return false;
    }
    m_error = writeAll(m_fd, data.constData(), data.size(), &m_size);
    m_failed = m_error != 0;
    return !m_failed;
}

QString FileCommit::commit(int language) {
    if (!m_failed && m_fd < 0 && !open())
        m_failed = true;
    if (!m_failed) {
        // On disk before it takes the name: a crash must not leave a cut file.
        if (::fsync(m_fd) != 0) {
            m_error = errno;
            m_failed = true;
        }
    }
    // A new file's name is held first by a file of its own: the content
    // then takes the place of that file, never of anything else.
    if (!m_failed && m_moveOn && (m_error = takeFreeName()) != 0)
        m_failed = true;
    // Held until it has the target's name: no sweep takes it on the way.
    if (!m_failed && std::rename(m_temp.constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_error = errno;
        m_failed = true;
    }
    if (!m_failed) {
        const int fd = m_fd;
        m_fd = -1;
        ::close(fd);
    }
    if (m_failed) {
        discard();
        return WriteProblem::explain(m_target, m_error, language, std::max(m_size, m_expected));
    }
    m_temp.clear();
    m_claimed = false;
    syncFolder(QFileInfo(m_target).absolutePath());
    return QString();
}

QString FileCommit::writeBytes(const QString& path, const QByteArray& data, int language) {
    FileCommit out(path, data.size());
    out.write(data);
    return out.commit(language);
}

QString FileCommit::writeNewBytes(QString* path, const QByteArray& data, int language) {
    FileCommit out(*path, data.size(), AtName::MoveOn);
    out.write(data);
    const QString why = out.commit(language);
    *path = out.target();
    return why;
}

namespace {

QString notEncoded(const QString& path, int language) {
    return WriteProblem::pick(language, "图片无法编码：", "The picture could not be encoded: ", "圖片無法編碼：") + path;
}

bool encode(const QImage& image, const char* format, int quality, QByteArray* encoded) {
    QBuffer buffer(encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return !image.isNull() && writer.write(image);
}

} // namespace

QString FileCommit::writeImage(const QString& path, const QImage& image, const char* format, int quality,
                               int language) {
    QByteArray encoded;
    return encode(image, format, quality, &encoded) ? writeBytes(path, encoded, language)
                                                    : notEncoded(path, language);
}

QString FileCommit::writeNewImage(QString* path, const QImage& image, const char* format, int quality,
                                  int language) {
    QByteArray encoded;
    return encode(image, format, quality, &encoded) ? writeNewBytes(path, encoded, language)
                                                    : notEncoded(*path, language);
}

namespace {

// What the image writer encodes goes to the file as it comes.
class CommitDevice : public QIODevice {
public:
    explicit CommitDevice(FileCommit* out) : m_out(out) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        return m_out->write(QByteArray::fromRawData(data, int(size))) ? size : -1;
    }

private:
    FileCommit* m_out;
};

} // namespace

QString FileCommit::streamImage(const QString& path, const QImage& image, const char* format, int quality,
                                int language) {
    FileCommit out(path);
    bool encoded = false;
    {
        CommitDevice device(&out);
        QImageWriter writer(&device, format);
        writer.setQuality(quality);
        encoded = !image.isNull() && writer.write(image);
    }
    if (!encoded && !out.m_failed)
        return notEncoded(path, language);
    return out.commit(language);
}

QString FileCommit::editSettings(const QString& path, const std::function<void(QSettings&)>& edit, int language) {
    int refused = 0;
    const QString target = finalTarget(path, &refused);
    const QFileInfo info(target);
    QDir().mkpath(info.absolutePath()); // as QSettings itself makes a missing folder
    if (const int problem = refused ? refused : replaceProblem(target))
        return WriteProblem::explain(target, problem, language);
    sweepLeftovers(info.absolutePath());
    // The edit's own file, held while the edit runs, owns its drafts: no
    // sweep takes them while it is there and held. Made as a new file there
    // is made, it also shows what a new settings file gets.
    QByteArray own;
    const int ownFd = createTemporary(target, &own);
    if (ownFd < 0)
        return WriteProblem::explain(target, errno, language);
    // Each draft gets a name of its own: QSettings keeps what it last wrote
    // of a file name in a process-wide cache, so only a name never opened
    // before is read back from the disk. Private while they hold the old
    // content.
    QStringList made;
    auto cleanUp = [&] {
        for (const QString& name : made) {
            QFile::remove(name);
            QFile::remove(name + "-check");
        }
        ::unlink(own.constData());
        ::close(ownFd);
    };
    auto newDraft = [&](int* error) {
        const QByteArray name = own + "-" + QByteArray::number(made.size() + 1);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            *error = errno;
            return QString();
        }
        ::close(fd);
        made.append(QFile::decodeName(name));
        *error = 0;
        return made.last();
    };
    int error = 0;
    QString draftName = newDraft(&error);
    if (draftName.isEmpty()) {
        cleanUp();
        return WriteProblem::explain(target, error, language);
    }
    // The old content first, so that keys the edit does not touch stay.
    // Opened without waiting: only a regular file is read, and not through
    // a link that took the name after its links were followed.
    const int oldFd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (oldFd < 0 && errno != ENOENT) {
        cleanUp();
        return WriteProblem::explain(target, EACCES, language);
    }
    if (oldFd >= 0) {
        struct stat old;
        if (::fstat(oldFd, &old) != 0 || !S_ISREG(old.st_mode)) {
            ::close(oldFd);
            cleanUp();
            return WriteProblem::explain(target, ENODEV, language);
        }
        QFile in;
        if (!in.open(oldFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(oldFd);
            cleanUp();
            return WriteProblem::explain(target, EACCES, language);
        }
        const QByteArray content = in.readAll();
        if (in.error() != QFileDevice::NoError) {
            cleanUp();
            return WriteProblem::explain(target, EACCES, language);
        }
        in.close();
        const QString why = writeBytes(draftName, content, language);
        if (!why.isEmpty()) {
            cleanUp();
            return why;
        }
    }
    // A file QSettings cannot fully parse keeps that mark on every later
    // status, a failed write's included: the keys it could read go into a
    // fresh copy, whose status then tells the write alone.
    {
        // The status tells of the reading only once the file has been read.
        QSettings old(draftName, QSettings::IniFormat);
        const QStringList keys = old.allKeys();
        old.sync(); // nothing to write
        if (old.status() == QSettings::FormatError) {
            QVariantMap readable;
            for (const QString& key : keys)
                readable.insert(key, old.value(key));
            draftName = newDraft(&error);
            if (draftName.isEmpty()) {
                cleanUp();
                return WriteProblem::explain(target, error, language);
            }
            QSettings fresh(draftName, QSettings::IniFormat);
            for (auto it = readable.cbegin(); it != readable.cend(); ++it)
                fresh.setValue(it.key(), it.value());
        }
    }
    const QByteArray draft = QFile::encodeName(draftName);
    QVariantMap expected;
    bool written = false;
    {
        QSettings settings(draftName, QSettings::IniFormat);
        edit(settings);
        while (!settings.group().isEmpty())
            settings.endGroup();
        settings.sync();
        written = settings.status() == QSettings::NoError;
        for (const QString& key : settings.allKeys())
            expected.insert(key, settings.value(key));
    }
    // Read back under a second new name: a file cut short on a full disk
    // misses keys or ends inside a value.
    const QString checkName = draftName + "-check";
    bool whole = written && std::rename(draft.constData(), QFile::encodeName(checkName).constData()) == 0;
    if (whole) {
        const QSettings check(checkName, QSettings::IniFormat);
        whole = check.status() == QSettings::NoError && check.allKeys().size() == expected.size();
        for (auto it = expected.cbegin(); whole && it != expected.cend(); ++it)
            whole = sameValue(it.value(), check.value(it.key()));
    }
    if (!whole) {
        cleanUp();
        return WriteProblem::explain(target, 0, language);
    }
    // With the old file's owner, permissions and ACL, or what a new file
    // gets there (as the edit's own file got them), synced, then in place.
    const QByteArray checked = QFile::encodeName(checkName);
    const int cfd = ::open(checked.constData(), O_RDONLY | O_CLOEXEC);
    if (cfd < 0)
        error = errno;
    else if ((error = adoptModeAndOwner(cfd, QFileInfo::exists(target) ? target : QFile::decodeName(own))) == 0 &&
             ::fsync(cfd) != 0)
        error = errno;
    if (cfd >= 0)
        ::close(cfd);
    if (error == 0 && std::rename(checked.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error != 0) {
        cleanUp();
        return WriteProblem::explain(target, error, language);
    }
    cleanUp(); // the first copy of a damaged file
    syncFolder(info.absolutePath());
    return QString();
}
