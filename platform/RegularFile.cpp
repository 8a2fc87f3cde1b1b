#include "platform/RegularFile.h"

#include "platform/WriteProblem.h"
#include "platform/filerules/FileRules.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int RegularFile::openForReading(const QString& path) {
    return FileRules::openRegularForReading(QFile::encodeName(path).toStdString());
}

bool RegularFile::open(QFile& file, const QString& path) {
    file.close();
    const int fd = openForReading(path);
    if (fd < 0)
        return false;
    file.setFileName(path);
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

bool RegularFile::isSpecial(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

QString RegularFile::settingsName(const QString& path) {
    if (!isSpecial(path))
        return path;
    qWarning("Settings %s not read: the name is not an ordinary file", qPrintable(path));
    return path + "/.not-a-folder";
}

QString RegularFile::notRegularText(int language, const QString& path) {
    return WriteProblem::pick(language, "该名称不是普通文件：",
                              "The name is not an ordinary file: ", "該名稱不是一般檔案：") +
           path;
}
