#include "platform/WriteProblem.h"

#include "platform/ProcessLimits.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {
// Below this a volume counts as full: a workbook with its picture needs more.
constexpr qint64 kFullBelowBytes = 1024 * 1024;

QString mountOf(const QString& path) {
    const QStorageInfo volume(path);
    return volume.isValid() ? volume.rootPath() : path;
}
} // namespace

QString WriteProblem::pick(int language, const char* zh, const char* en, const char* tw) {
    return QString::fromUtf8(language == 1 ? en : language == 2 ? tw : zh);
}

QString WriteProblem::folder(const QString& folder, int language, qint64 needed) {
    const QString place = placeProblem(folder, language);
    return place.isEmpty() ? roomProblem(folder, language, needed) : place;
}

QString WriteProblem::placeProblem(const QString& folder, int language) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return pick(language, "文件夹不存在：", "The folder does not exist: ", "資料夾不存在：") + folder;
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    if (::access(name.constData(), W_OK) != 0)
        return pick(language, "文件夹只读：", "The folder is read-only: ", "資料夾唯讀：") + folder;
    const QStorageInfo volume(info.absoluteFilePath());
    if (volume.isValid() && volume.isReadOnly())
        return pick(language, "磁盘只读：", "The disk is read-only: ", "磁碟唯讀：") + volume.rootPath();
    return QString();
}

QString WriteProblem::roomProblem(const QString& folder, int language, qint64 needed) {
    const QStorageInfo volume(QFileInfo(folder).absoluteFilePath());
    // Kernel file systems (no size at all) are never full.
    if (volume.isValid() && volume.bytesTotal() > 0 && volume.bytesAvailable() < std::max(kFullBelowBytes, needed))
        return pick(language, "磁盘空间已满：", "The disk is full: ", "磁碟空間已滿：") + volume.rootPath();
    return QString();
}

QString WriteProblem::explain(const QString& path, int error, int language, qint64 needed) {
    const QString parent = QFileInfo(path).absolutePath();
    const QString place = placeProblem(parent, language);
    if (!place.isEmpty())
        return place;
    // A write whose reason is unknown (QSettings tells none) while the
    // process can open no more files failed for that.
    if (error == 0)
        error = ProcessLimits::fileError();
    // The room left speaks only for a write the disk refused for room, or
    // for one whose reason is unknown: a refused name or permission on a
    // nearly full disk is told as what it is.
    switch (error) {
    case EROFS:
        return pick(language, "磁盘只读：", "The disk is read-only: ", "磁碟唯讀：") + mountOf(parent);
    case EACCES:
    case EPERM:
        return pick(language, "没有权限写入文件：", "Writing the file is not allowed: ", "沒有權限寫入檔案：") + path;
    case EISDIR:
    case ENODEV:
        // A folder, a pipe or a device at the name: only files are replaced.
        return RegularFile::notRegularText(language, path);
    case ELOOP:
        // Another user's link in a shared folder (FileRules::finalTarget).
        return pick(language, "该名称是其他用户的链接，不会跟随写入：",
                    "The name is another user's link, which is not followed: ", "該名稱是其他使用者的連結，不會跟隨寫入：") +
               path;
    case ENAMETOOLONG:
        return pick(language, "文件名太长：", "The file name is too long: ", "檔案名稱太長：") + path;
    case EMFILE:
    case ENFILE:
        return ProcessLimits::reason(error, language) + pick(language, "：", ": ", "：") + path;
    case EIO:
        return pick(language, "磁盘读写出错：", "The disk reported an error writing: ", "磁碟讀寫出錯：") + path;
    case EDQUOT:
        return pick(language, "磁盘配额已用完：", "The user's disk quota is used up: ", "磁碟配額已用完：") +
               mountOf(parent);
    case ENOSPC: {
        // With the bytes the write needs still free, what ran out is the
        // room for more files (the disk's table of files).
        const QString room = roomProblem(parent, language, needed);
        return !room.isEmpty() ? room
                               : pick(language, "磁盘无法再建文件：",
                                      "The disk has no room for more files: ", "磁碟無法再建立檔案：") +
                                     mountOf(parent);
    }
    default: {
        const QString room = roomProblem(parent, language, needed);
        return !room.isEmpty()
                   ? room
                   : pick(language, "文件无法写入：", "The file could not be written: ", "檔案無法寫入：") +
                         path;
    }
    }
}

QString WriteProblem::temporaryFull(const QString& tempFolder, int language) {
    return pick(language, "临时文件夹所在磁盘空间已满：", "The disk of the temporary folder is full: ",
                "暫存資料夾所在磁碟空間已滿：") +
           mountOf(tempFolder);
}
