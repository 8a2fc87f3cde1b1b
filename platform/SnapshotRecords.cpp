#include "platform/SnapshotRecords.h"

#include "platform/RegularFile.h"

#include "platform/AppPaths.h"
#include "platform/FileCommit.h"
#include "platform/filerules/FileRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QHash>
#include <QtDebug>

#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace SnapshotRecords {

QString takeWrittenPicture(const QString& path, QImage& image) {
    static const char* const formats[] = {"jpg", "bmp", "png", "tiff"};
    static const char* const suffixes[] = {".jpg", ".bmp", ".png", ".tiff"};
    // The saver's folder is the user's: a FIFO at the name is never waited on.
    const auto load = [&image](const QString& name, const char* format) {
        QFile file;
        return RegularFile::open(file, name) && image.load(&file, format);
    };
    for (int i = 0; i < 4; ++i) {
        if (load(path, formats[i]) || load(path + suffixes[i], formats[i])) {
            if (QFile::exists(path))
                QFile::remove(path);
            if (QFile::exists(path + suffixes[i]))
                QFile::remove(path + suffixes[i]);
            return suffixes[i];
        }
    }
    return QString();
}

namespace {
// The records this program is writing pictures for and their thumbnails,
// each held open (and so locked) until its picture is listed: another
// program sharing the folder leaves them alone.
std::mutex heldLock;
QHash<QString, int> heldFiles;

bool heldHere(const QString& path) {
    std::lock_guard<std::mutex> l(heldLock);
    return heldFiles.contains(path);
}

// Makes a held temporary file in ./.scaleImage and names it prefix + its
// temporary name + suffix while held: a file sweep takes only the writers'
// own names, and the files of a killed save are read before they go.
QString createHeld(const QString& prefix, const QString& suffix, int* fd) {
    *fd = -1;
    QDir().mkpath("./.scaleImage");
    const QString folder = QDir("./.scaleImage").absolutePath();
    std::string made;
    const int file = FileRules::createTemporary(QFile::encodeName(folder + "/x").toStdString(), &made);
    if (file < 0)
        return QString();
    const QString temporary = QFile::decodeName(QByteArray::fromStdString(made));
    const QString name = folder + "/" + prefix + QFileInfo(temporary).fileName() + suffix;
    if (std::rename(made.c_str(), QFile::encodeName(name).constData()) != 0) {
        ::unlink(made.c_str());
        ::close(file);
        return QString();
    }
    std::lock_guard<std::mutex> l(heldLock);
    heldFiles.insert(name, file);
    *fd = file;
    return name;
}

void release(const QString& path) {
    std::lock_guard<std::mutex> l(heldLock);
    const auto it = heldFiles.find(path);
    if (it != heldFiles.end()) {
        ::close(it.value());
        heldFiles.erase(it);
    }
}

// A record's name: ".pending" before a temporary name of the file rules
// (".pending.~<pid>=XXXXXX"), or ".pending-XXXXXX" from earlier versions,
// which tells no program.
const QRegularExpression& noteName() {
    static const QRegularExpression name("^\\.pending(-|(\\.~[0-9]+[-=]))[A-Za-z0-9]{6}$");
    return name;
}
} // namespace

QString notePending(const QString& picture, const QString& preparedThumbnail) {
    int fd = -1;
    const QString name = createHeld(".pending", QString(), &fd);
    if (name.isEmpty())
        return QString();
    ::fchmod(fd, 0600); // a private record, as before
    const QByteArray text = picture.toUtf8() + '\n' + preparedThumbnail.toUtf8() + '\n';
    if (::write(fd, text.constData(), size_t(text.size())) != text.size()) {
        dropNote(name);
        return QString();
    }
    return name;
}

void dropNote(const QString& note) {
    if (note.isEmpty())
        return;
    QFile::remove(note);
    release(note);
}

void keepNote(const QString& note) {
    release(note);
}

QString createThumbnail(int* fd) { return createHeld(".new", ".jpg", fd); }

void releaseThumbnail(const QString& thumbnail) { release(thumbnail); }

namespace {
// A record is a plain file anyone can write: it names a file by its path.
// Only a temporary thumbnail made by prepareThumbnail, in this very folder
// (no link on the way), is ever moved or deleted because of one.
bool isPreparedThumbnail(const QString& path, const QString& folder) {
    static const QRegularExpression name("^\\.new(-|(\\.~[0-9]+[-=]))[A-Za-z0-9]{6}\\.jpg$");
    const QFileInfo info(path);
    return name.match(info.fileName()).hasMatch() && !info.isSymLink() && info.isFile() &&
           info.canonicalPath() == QFileInfo(folder).canonicalFilePath();
}

// Whether the record or thumbnail at path may be taken: its name carries
// its program's id, but for those of earlier versions.
bool mayTakeFile(const QString& path) {
    long pid = 0;
    bool heldFromBirth = false;
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(".jpg"))
        name.chop(4);
    const int start = name.indexOf(".~");
    if (start >= 0)
        FileRules::isTemporaryName(QFile::encodeName(name.mid(start)).toStdString(), &pid, &heldFromBirth);
    struct stat st;
    return FileRules::mayTakeLeftover(QFile::encodeName(path).toStdString(), pid, &st, heldFromBirth) &&
           S_ISREG(st.st_mode);
}

// Per folder of records: whether its last look left what may yet be a
// leftover. GUI thread.
QHash<QString, bool>& lookAgain() {
    static QHash<QString, bool> folders;
    return folders;
}

// Snapshots are written into the snapshot folder (the stored one, or the
// default), canonical names of those that exist.
QStringList snapshotFolders() {
    const QSettings cameraSet(RegularFile::settingsName("./CameraSet.ini"), QSettings::IniFormat);
    QStringList folders;
    for (const QString& folder : {cameraSet.value("imgPath").toString(), AppPaths::appFile("Export/Image")}) {
        const QString canonical = folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty())
            folders.append(canonical);
    }
    return folders;
}

// A picture named anywhere but a snapshot folder is not one of ours to list.
bool isSnapshotPicture(const QString& path) {
    static const QStringList types{"jpg", "jpeg", "png", "bmp", "tif", "tiff"};
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || !types.contains(info.suffix(), Qt::CaseInsensitive))
        return false;
    return snapshotFolders().contains(info.canonicalPath());
}
} // namespace

QList<QPair<QString, QString>> takeLeftovers() {
    QList<QPair<QString, QString>> found;
    const QString folder = QDir("./.scaleImage").absolutePath();
    // What may yet be a leftover: a look at the next listing tells.
    bool mayRemain = false;
    const auto lookedAt = qScopeGuard([&] { lookAgain()[folder] = mayRemain; });
    // What snapshots cut short by a killed program left half-written.
    for (const QString& pictures : snapshotFolders())
        FileCommit::sweepLeftovers(pictures);
    QDir dir(folder);
    if (!dir.exists())
        return found;
    QStringList named;
    const QFileInfoList notes =
        dir.entryInfoList({".pending*"}, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Time | QDir::Reversed);
    for (const QFileInfo& info : notes) {
        const QRegularExpressionMatch m = noteName().match(info.fileName());
        if (!m.hasMatch())
            continue;
        // A record no live program can own, as the file rules tell it: one
        // still held is a save under way in a program sharing the folder.
        QFile note(info.absoluteFilePath());
        const bool mayTake = mayTakeFile(note.fileName());
        mayRemain = mayRemain || (!mayTake && !heldHere(note.fileName()));
        QString thumb;
        if (note.open(QIODevice::ReadOnly)) {
            // Two paths: a record longer than that is not one of ours.
            const QStringList lines = QString::fromUtf8(note.read(16384)).split('\n');
            const QString picture = lines.value(0);
            thumb = lines.value(1);
            if (!mayTake) {
                // A save under way: its thumbnail is its own.
                if (!thumb.isEmpty() && isPreparedThumbnail(thumb, folder))
                    named.append(QFileInfo(thumb).absoluteFilePath());
            } else if (!picture.isEmpty() && QFile::exists(picture)) {
                if (!isSnapshotPicture(picture)) {
                    qWarning().noquote() << "Ignoring the snapshot record" << info.fileName() << "naming" << picture;
                } else {
                    const bool hasThumb = !thumb.isEmpty() && isPreparedThumbnail(thumb, folder);
                    if (!hasThumb && !thumb.isEmpty() && QFileInfo::exists(thumb))
                        qWarning().noquote() << "Ignoring the thumbnail" << thumb << "of the snapshot record"
                                             << info.fileName();
                    if (hasThumb)
                        named.append(QFileInfo(thumb).absoluteFilePath());
                    found.append({picture, hasThumb ? thumb : QString()});
                }
            }
        }
        note.close();
        if (mayTake) {
            note.remove();
            // The thumbnail of a killed save not listed goes with its record.
            if (!thumb.isEmpty() && isPreparedThumbnail(thumb, folder) &&
                !named.contains(QFileInfo(thumb).absoluteFilePath()))
                QFile::remove(thumb);
        }
    }
    // A thumbnail no record names is on its way to a record or a list of a
    // program sharing the folder, or left by one killed: it goes once no
    // live program can own it (one of an earlier version, whose name tells
    // no program, once long untouched).
    for (const QFileInfo& info : dir.entryInfoList({".new-*", ".new.~*"}, QDir::Files | QDir::Hidden)) {
        const QString path = info.absoluteFilePath();
        if (named.contains(path) || !isPreparedThumbnail(path, folder))
            continue;
        if (mayTakeFile(path))
            QFile::remove(path);
        else
            mayRemain = mayRemain || !heldHere(path);
    }
    return found;
}

bool leftoversMayRemain() { return lookAgain().value(QDir("./.scaleImage").absolutePath(), false); }

} // namespace SnapshotRecords
