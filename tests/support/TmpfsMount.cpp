#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

TmpfsMount::TmpfsMount(const QString& folder, const QString& options) : m_folder(folder) {
    QDir().mkpath(folder);
    const QByteArray target = QFile::encodeName(folder);
    QStringList data;
    unsigned long flags = MS_NOSUID | MS_NODEV;
    for (const QString& o : options.split(',', Qt::SkipEmptyParts)) {
        if (o == "ro")
            flags |= MS_RDONLY;
        else
            data << o;
    }
    const QByteArray text = data.join(',').toUtf8();
    if (::mount("sevrin-test", target.constData(), "tmpfs", flags, text.constData()) == 0)
        m_mounted = true;
    else
        m_error = QString("mounting a tmpfs on %1 is not allowed here: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
}

TmpfsMount::~TmpfsMount() {
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool TmpfsMount::fill(const QString& name) {
    const int fd = ::open(QFile::encodeName(m_folder + "/" + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    // Whole pages first, then single bytes, until nothing more fits.
    const QByteArray chunk(4096, 'x');
    int lastErrno = 0;
    for (size_t size : {size_t(4096), size_t(1)}) {
        for (;;) {
            const ssize_t n = ::write(fd, chunk.constData(), size);
            if (n <= 0) {
                lastErrno = errno;
                break;
            }
        }
    }
    ::close(fd);
    return lastErrno == ENOSPC;
}

bool TmpfsMount::leaveFree(const QString& name, int pages) {
    if (!fill(name))
        return false;
    const QByteArray path = QFile::encodeName(m_folder + "/" + name);
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return false;
    const off_t used = (st.st_size + 4095) / 4096;
    return pages <= used && ::truncate(path.constData(), (used - pages) * 4096) == 0;
}
