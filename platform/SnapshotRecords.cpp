#include "platform/SnapshotRecords.h"

#include "platform/AppPaths.h"
#include "platform/FileCommit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryFile>
#include <QtDebug>

namespace SnapshotRecords {

QString takeWrittenPicture(const QString& path, QImage& image) {
    static const char* const formats[] = {"jpg", "bmp", "png", "tiff"};
    static const char* const suffixes[] = {".jpg", ".bmp", ".png", ".tiff"};
    for (int i = 0; i < 4; ++i) {
        if (image.load(path, formats[i]) || image.load(path + suffixes[i], formats[i])) {
            if (QFile::exists(path))
                QFile::remove(path);
            if (QFile::exists(path + suffixes[i]))
                QFile::remove(path + suffixes[i]);
            return suffixes[i];
        }
    }
    return QString();
}

QString notePending(const QString& picture, const QString& preparedThumbnail) {
    QDir().mkpath("./.scaleImage");
    QTemporaryFile note("./.scaleImage/.pending-XXXXXX");
    note.setAutoRemove(false);
    if (!note.open())
        return QString();
    const QByteArray text = picture.toUtf8() + '\n' + preparedThumbnail.toUtf8() + '\n';
    const bool ok = note.write(text) == text.size() && note.flush();
    const QString name = note.fileName();
    note.close();
    if (!ok) {
        QFile::remove(name);
        return QString();
    }
    return name;
}

void dropNote(const QString& note) {
    if (!note.isEmpty())
        QFile::remove(note);
}

namespace {
// A record is a plain file anyone can write: it names a file by its path.
// Only a temporary thumbnail made by prepareThumbnail, in this very folder
// (no link on the way), is ever moved or deleted because of one.
bool isPreparedThumbnail(const QString& path, const QString& folder) {
    static const QRegularExpression name("^\\.new-[A-Za-z0-9]{6}\\.jpg$");
    const QFileInfo info(path);
    return name.match(info.fileName()).hasMatch() && !info.isSymLink() && info.isFile() &&
           info.canonicalPath() == QFileInfo(folder).canonicalFilePath();
}

// Snapshots are written into the snapshot folder (the stored one, or the
// default), canonical names of those that exist.
QStringList snapshotFolders() {
    const QSettings cameraSet("./CameraSet.ini", QSettings::IniFormat);
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
    // Once per folder: later loads in the same run (another camera opened)
    // may meet the records of saves that are still under way.
    static QStringList done;
    const QString folder = QDir("./.scaleImage").absolutePath();
    if (done.contains(folder))
        return found;
    done.append(folder);
    // What snapshots cut short by a killed program left half-written.
    for (const QString& pictures : snapshotFolders())
        FileCommit::sweepLeftovers(pictures);
    QDir dir(folder);
    if (!dir.exists())
        return found;
    QStringList named;
    const QFileInfoList notes =
        dir.entryInfoList({".pending-*"}, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Time | QDir::Reversed);
    for (const QFileInfo& info : notes) {
        QFile note(info.absoluteFilePath());
        if (note.open(QIODevice::ReadOnly)) {
            // Two paths: a record longer than that is not one of ours.
            const QStringList lines = QString::fromUtf8(note.read(16384)).split('\n');
            const QString picture = lines.value(0);
            const QString thumb = lines.value(1);
            if (!picture.isEmpty() && QFile::exists(picture)) {
                if (!isSnapshotPicture(picture)) {
                    qWarning().noquote() << "Ignoring the snapshot record" << info.fileName() << "naming" << picture;
                } else {
                    const bool hasThumb = !thumb.isEmpty() && isPreparedThumbnail(thumb, folder);
                    if (!hasThumb && !thumb.isEmpty() && QFileInfo::exists(thumb))
                        qWarning().noquote() << "Ignoring the thumbnail" << thumb << "of the snapshot record"
                                             << info.fileName();
                    found.append({picture, hasThumb ? thumb : QString()});
                    if (hasThumb)
                        named.append(QFileInfo(thumb).absoluteFilePath());
                }
            }
        }
        note.close();
        note.remove();
    }
    for (const QFileInfo& info : dir.entryInfoList({".new-*"}, QDir::Files | QDir::Hidden))
        if (!named.contains(info.absoluteFilePath()))
            QFile::remove(info.absoluteFilePath());
    return found;
}

} // namespace SnapshotRecords
