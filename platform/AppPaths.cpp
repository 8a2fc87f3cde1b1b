#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace AppPaths {

QString appDir() {
    const QByteArray env = qgetenv("SEVRIN_APP_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(QString::fromUtf8(env));
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString appFile(const QString& relative) {
    QString rel = relative;
    while (rel.startsWith('/'))
        rel.remove(0, 1);
    return appDir() + "/" + rel;
}

} // namespace AppPaths
