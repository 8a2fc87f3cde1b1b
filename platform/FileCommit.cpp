#include "platform/FileCommit.h"

#include "platform/WriteProblem.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's umask, read from the kernel's status file: umask(2) can only
// read it by changing it, which would race with other threads creating files.
mode_t processUmask() {
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 022;
}

// A replaced file keeps its permissions; a new one follows the umask.
mode_t modeFor(const QString& target) {
    struct stat old;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0)
        return old.st_mode & 07777;
    return 0666 & ~processUmask();
}

QString resolved(const QString& path) {
    const QFileInfo info(path);
    return info.isSymLink() ? info.symLinkTarget() : path;
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

FileCommit::FileCommit(const QString& path) : m_target(resolved(path)) {}

FileCommit::~FileCommit() { discard(); }

void FileCommit::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
}

bool FileCommit::open() {
    const QFileInfo info(m_target);
    QByteArray name = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".new-XXXXXX");
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    m_fd = fd;
    m_temp = name;
    // mkostemp makes a private file.
    ::fchmod(fd, modeFor(m_target));
    return true;
}

bool FileCommit::write(const QByteArray& data) {
    if (m_failed)
        return false;
    if (m_fd < 0 && !open()) {
        m_failed = true;
        return false;
    }
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : ENOSPC;
            m_failed = true;
            return false;
        }
        p += n;
        left -= n;
        m_size += n;
    }
    return true;
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
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && !m_failed) {
            m_error = errno;
            m_failed = true;
        }
    }
    if (!m_failed && std::rename(m_temp.constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_error = errno;
        m_failed = true;
    }
    if (m_failed) {
        discard();
        return WriteProblem::explain(m_target, m_error, language, m_size);
    }
    m_temp.clear();
    syncFolder(QFileInfo(m_target).absolutePath());
    return QString();
}

QString FileCommit::writeBytes(const QString& path, const QByteArray& data, int language) {
    FileCommit out(path);
    out.write(data);
    return out.commit(language);
}

QString FileCommit::writeImage(const QString& path, const QImage& image, const char* format, int quality,
                               int language) {
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (image.isNull() || !writer.write(image))
        return WriteProblem::pick(language, "图片无法编码：", "The picture could not be encoded: ",
                                  "圖片無法編碼：") +
               path;
    return writeBytes(path, encoded, language);
}

QString FileCommit::editSettings(const QString& path, const std::function<void(QSettings&)>& edit, int language) {
    const QString target = resolved(path);
    const QFileInfo info(target);
    QDir().mkpath(info.absolutePath()); // as QSettings itself makes a missing folder
    // The copy gets a name of its own: QSettings keeps what it last wrote of
    // a file name in a process-wide cache, so only a name never opened
    // before is read back from the disk.
    QByteArray draft = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".edit-XXXXXX");
    const int fd = ::mkostemp(draft.data(), O_CLOEXEC);
    if (fd < 0)
        return WriteProblem::explain(target, errno, language);
    ::close(fd);
    const QString draftName = QFile::decodeName(draft);
    const QString checkName = draftName + "-check";
    auto cleanUp = [&] {
        QFile::remove(draftName);
        QFile::remove(checkName);
    };
    // The old content first, so that keys the edit does not touch stay.
    if (info.exists()) {
        QFile old(target);
        if (!old.open(QIODevice::ReadOnly)) {
            cleanUp();
            return WriteProblem::explain(target, EACCES, language);
        }
        const QString why = writeBytes(draftName, old.readAll(), language);
        if (!why.isEmpty()) {
            cleanUp();
            return why;
        }
    }
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
    // With the old file's permissions, synced, then in place of it.
    const QByteArray checked = QFile::encodeName(checkName);
    int error = 0;
    const int cfd = ::open(checked.constData(), O_RDONLY | O_CLOEXEC);
    if (cfd < 0 || ::fchmod(cfd, modeFor(target)) != 0 || ::fsync(cfd) != 0)
        error = errno;
    if (cfd >= 0)
        ::close(cfd);
    if (error == 0 && std::rename(checked.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error != 0) {
        cleanUp();
        return WriteProblem::explain(target, error, language);
    }
    syncFolder(info.absolutePath());
    return QString();
}
