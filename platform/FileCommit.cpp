#include "platform/FileCommit.h"

#include "platform/WriteProblem.h"

#include "platform/filerules/FileRules.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The one who may not change a file may not replace it either.
bool mayReplace(const QString& target) {
    return FileRules::mayReplace(QFile::encodeName(target).toStdString());
}

// A replaced file keeps its permissions and owner; a new one follows the umask.
int adoptModeAndOwner(int fd, const QString& target) {
    return FileRules::adoptModeAndOwner(fd, QFile::encodeName(target).toStdString());
}

// A temporary name beside target that stays short whatever target's length
// (a legal name near the limit still saves) and carries this program's id.
QByteArray temporaryName(const QString& target) {
    return QByteArray::fromStdString(FileRules::temporaryName(QFile::encodeName(target).toStdString()));
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
    : m_target(finalTarget(path)), m_expected(expectedSize) {}

QString FileCommit::finalTarget(const QString& path) {
    return QString::fromStdString(FileRules::finalTarget(path.toStdString()));
}

void FileCommit::sweepLeftovers(const QString& folder) {
    // A write's file, its settings draft's read-back copy and the lock
    // QSettings takes beside a draft.
    const QDir dir(folder);
    for (const QString& entry :
         dir.entryList({".~*"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
        long pid = 0;
        if (!FileRules::isTemporaryName(QFile::encodeName(entry).toStdString(), &pid))
            continue;
        const QByteArray path = QFile::encodeName(dir.absoluteFilePath(entry));
        struct stat st;
        if (FileRules::mayTakeLeftover(path.toStdString(), pid, &st) && S_ISREG(st.st_mode))
            ::unlink(path.constData());
    }
}

void FileCommit::sweepOnce(const QString& folder) {
    // Leftovers of a killed program are there before this one writes: one
    // look a folder is enough, and a snapshot folder of thousands of pictures
    // is not listed again at every picture.
    static std::mutex lock;
    static QSet<QString> swept;
    {
        std::lock_guard<std::mutex> l(lock);
        if (swept.contains(folder))
            return;
        swept.insert(folder);
    }
    sweepLeftovers(folder);
}

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
    if (!mayReplace(m_target)) {
        m_error = EACCES;
        return false;
    }
    sweepOnce(QFileInfo(m_target).absolutePath());
    QByteArray name = temporaryName(m_target);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    m_fd = fd;
    m_temp = name;
    FileRules::holdWhileWriting(fd);
    // mkostemp makes a private file of this user's.
    m_error = adoptModeAndOwner(fd, m_target);
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
        return WriteProblem::explain(m_target, m_error, language, std::max(m_size, m_expected));
    }
    m_temp.clear();
    syncFolder(QFileInfo(m_target).absolutePath());
    return QString();
}

QString FileCommit::writeBytes(const QString& path, const QByteArray& data, int language) {
    FileCommit out(path, data.size());
    out.write(data);
    return out.commit(language);
}

namespace {

QString notEncoded(const QString& path, int language) {
    return WriteProblem::pick(language, "图片无法编码：", "The picture could not be encoded: ", "圖片無法編碼：") + path;
}

} // namespace

QString FileCommit::writeImage(const QString& path, const QImage& image, const char* format, int quality,
                               int language) {
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (image.isNull() || !writer.write(image))
        return notEncoded(path, language);
    return writeBytes(path, encoded, language);
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
    const QString target = finalTarget(path);
    const QFileInfo info(target);
    QDir().mkpath(info.absolutePath()); // as QSettings itself makes a missing folder
    if (!mayReplace(target))
        return WriteProblem::explain(target, EACCES, language);
    sweepOnce(info.absolutePath());
    // Each copy gets a name of its own: QSettings keeps what it last wrote of
    // a file name in a process-wide cache, so only a name never opened
    // before is read back from the disk.
    QStringList made;
    auto cleanUp = [&] {
        for (const QString& name : made) {
            QFile::remove(name);
            QFile::remove(name + "-check");
        }
    };
    auto newDraft = [&](int* error) {
        QByteArray name = temporaryName(target);
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            *error = errno;
            return QString();
        }
        ::close(fd);
        made.append(QFile::decodeName(name));
        return made.last();
    };
    int error = 0;
    QString draftName = newDraft(&error);
    if (draftName.isEmpty())
        return WriteProblem::explain(target, error, language);
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
    // With the old file's permissions and owner, synced, then in place of it.
    const QByteArray checked = QFile::encodeName(checkName);
    const int cfd = ::open(checked.constData(), O_RDONLY | O_CLOEXEC);
    if (cfd < 0)
        error = errno;
    else if ((error = adoptModeAndOwner(cfd, target)) == 0 && ::fsync(cfd) != 0)
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
