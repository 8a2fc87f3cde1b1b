#include "platform/FileNames.h"

#include <QFile>
#include <QMutex>
#include <QSet>

#include <sys/stat.h>

namespace {
QMutex reservedLock;
// Full names (with extension) handed out whose files did not exist yet.
QSet<QString> reserved;

// Something is at the name: a file, or a link, dangling or not (a write
// there would follow another user's link, or fail on it).
bool occupied(const QString& fullName) {
    struct stat st;
    return ::lstat(QFile::encodeName(fullName).constData(), &st) == 0;
}

bool taken(const QString& fullName) {
    return occupied(fullName) || reserved.contains(fullName);
}
} // namespace

QString joinPath(QString a, QString b) {
    return a + b;
}

QString makeUniqueFileName(QString base, QString ext) {
    QMutexLocker lock(&reservedLock);
    // Names whose files have been written meanwhile need no reservation.
    for (auto it = reserved.begin(); it != reserved.end();) {
        if (occupied(*it))
            it = reserved.erase(it);
        else
            ++it;
    }
    QString candidate = base;
    for (int n = 1; taken(candidate + ext); ++n)
        candidate = base + QString("_%1").arg(n, 3, 10, QChar('0'));
    reserved.insert(candidate + ext);
    return candidate;
}

bool isSafeFileName(const QString& name) {
    if (name.isEmpty() || name == "." || name == ".." || name.trimmed() != name)
        return false;
    static const QString forbidden = QStringLiteral("/\\<>:\"|?*");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c))
            return false;
    }
    return true;
}
