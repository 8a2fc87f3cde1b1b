#include "camera/SnapshotFiles.h"

#include "app/MessagePassing.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QMessageBox>
#include <QMetaObject>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QtDebug>

#include <sys/stat.h>

namespace SnapshotFiles {

namespace {
mode_t processUmask() {
    // Read once (umask can only be read by setting it), before any thread writes files.
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

ErrorHandler& errorHandler() {
    static ErrorHandler handler;
    return handler;
}
} // namespace

bool writeImage(const QImage& image, const QString& path, const QByteArray& format, int quality, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (image.isNull())
        return fail("empty picture");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(writer.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

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

QImage thumbnail(const QImage& picture) {
    if (picture.isNull() || picture.height() <= 0)
        return QImage();
    const int w = picture.width() * 296 / picture.height();
    return picture.scaled(qMax(1, w), 296, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QString thumbnailPath(int index) { return QString("./.scaleImage/%1.jpg").arg(index); }

QString prepareThumbnail(const QImage& picture) {
    const QImage thumb = thumbnail(picture);
    if (thumb.isNull())
        return QString();
    QDir().mkpath("./.scaleImage");
    QTemporaryFile file("./.scaleImage/.new-XXXXXX.jpg");
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    QImageWriter writer(&file, "JPG");
    writer.setQuality(90);
    const bool ok = writer.write(thumb);
    const QString name = file.fileName();
    // A temporary file is private (0600); the thumbnail is a file like the
    // picture and follows the user's umask.
    ::fchmod(file.handle(), 0666 & ~processUmask());
    file.close();
    if (!ok) {
        QFile::remove(name);
        return QString();
    }
    return name;
}

int addToHistory(const QString& path, const QString& preparedThumbnail) {
    const int index = MessagePassing::instance()->addImageHistory(path);
    if (preparedThumbnail.isEmpty())
        return index;
    if (index < 0) {
        QFile::remove(preparedThumbnail);
        return index;
    }
    const QString target = thumbnailPath(index);
    QFile::remove(target);
    if (!QFile::rename(preparedThumbnail, target)) {
        qWarning() << "Cannot place the thumbnail" << target;
        QFile::remove(preparedThumbnail);
    }
    return index;
}

void runOnGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

QString saveErrorText(int language, const QString& path, const QString& reason) {
    switch (language) {
    case 1: return QString("The picture could not be saved:\n%1\n%2").arg(path, reason);
    case 2: return QString("圖片保存失敗：\n%1\n%2").arg(path, reason);
    default: return QString("图片保存失败：\n%1\n%2").arg(path, reason);
    }
}

void reportSaveError(const QString& path, const QString& reason) {
    qWarning().noquote() << "Saving" << path << "failed:" << reason;
    runOnGuiThread([path, reason] {
        const QString text = saveErrorText(MessagePassing::instance()->language(), path, reason);
        if (errorHandler()) {
            errorHandler()(text);
            return;
        }
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        // Not modal: the snapshot road goes on while the user reads it.
        auto* box = new QMessageBox(QMessageBox::Warning, "Error", text, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    });
}

void setErrorHandler(ErrorHandler handler) { errorHandler() = std::move(handler); }

} // namespace SnapshotFiles
