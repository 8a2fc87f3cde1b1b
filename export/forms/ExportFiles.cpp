#include "export/forms/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace ExportFiles {

namespace {

// Below this a volume counts as full: a workbook with its picture needs more.
constexpr qint64 kFullBelowBytes = 1024 * 1024;

QString pick(int language, const char* zh, const char* en, const char* tw) {
    return QString::fromUtf8(language == 1 ? en : language == 2 ? tw : zh);
}

// QSaveFile writes under a temporary name in the target's folder and renames
// it over the target on commit; until then an older file there is untouched,
// and a failed write removes the temporary file. Unbuffered, because a
// buffered QSaveFile (Qt 5.15) commits even when its last flush failed on a
// full disk, leaving an empty file in place of the older one.
bool openTarget(QSaveFile& out, QString* error) {
    if (out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    *error = out.errorString();
    return false;
}

bool writeChunk(QSaveFile& out, const QByteArray& data, QString* error) {
    if (out.write(data) == data.size())
        return true;
    *error = out.errorString();
    out.cancelWriting();
    return false;
}

bool finish(QSaveFile& out, QString* error) {
    // On disk before it takes the name: a crash must not leave an empty report.
    if (::fsync(out.handle()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        out.cancelWriting(); // the temporary file goes with out
        return false;
    }
    if (out.commit())
        return true;
    *error = out.errorString();
    return false;
}

bool copyThenReplace(const QString& from, const QString& to, QString* error) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    QSaveFile out(to);
    if (!openTarget(out, error))
        return false;
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty())
        if (!writeChunk(out, chunk, error))
            return false;
    if (in.error() != QFileDevice::NoError) {
        *error = in.errorString();
        out.cancelWriting();
        return false;
    }
    return finish(out, error);
}

} // namespace

bool moveReplacing(const QString& from, const QString& to, int language, QString* why) {
    // rename(2) replaces an existing target in one step.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    const int renameError = errno;
    QString error;
    bool moved = false;
    if (renameError == EXDEV) {
        moved = copyThenReplace(from, to, &error);
    } else {
        error = QString::fromLocal8Bit(std::strerror(renameError));
    }
    if (moved) {
        QFile::remove(from); // the copy is whole under its name: the temporary workbook goes
        return true;
    }
    if (why)
        *why = failureReason(to, error, language, QFileInfo(from).size());
    return false;
}

QString writeReplacing(const QString& path, const QByteArray& data, int language) {
    QSaveFile out(path);
    QString error;
    if (openTarget(out, &error) && writeChunk(out, data, &error) && finish(out, &error))
        return QString();
    return failureReason(path, error, language, data.size());
}

QString folderProblem(const QString& folder, int language, qint64 needed) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return pick(language, "文件夹不存在：", "The folder does not exist: ", "資料夾不存在：") + folder;
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    if (::access(name.constData(), W_OK) != 0)
        return pick(language, "文件夹只读：", "The folder is read-only: ", "資料夾唯讀：") + folder;
    const QStorageInfo volume(info.absoluteFilePath());
    if (volume.isValid() && volume.isReadOnly())
        return pick(language, "磁盘只读：", "The disk is read-only: ", "磁碟唯讀：") + volume.rootPath();
    if (volume.isValid() && volume.bytesAvailable() < std::max(kFullBelowBytes, needed))
        return pick(language, "磁盘空间已满：", "The disk is full: ", "磁碟空間已滿：") + volume.rootPath();
    return QString();
}

QString failureReason(const QString& path, const QString& fallback, int language, qint64 needed) {
    const QString problem = folderProblem(QFileInfo(path).absolutePath(), language, needed);
    return problem.isEmpty() ? fallback : problem;
}

} // namespace ExportFiles
