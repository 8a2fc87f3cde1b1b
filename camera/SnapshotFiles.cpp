#include "camera/SnapshotFiles.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "platform/FileCommit.h"
#include "platform/ProcessLimits.h"
#include "platform/SnapshotRecords.h"
#include "platform/WriteProblem.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QFileInfo>
#include <QMetaObject>
#include <QtDebug>

#include <cerrno>
#include <unistd.h>

namespace SnapshotFiles {

bool writeImage(const QImage& image, const QString& path, const QByteArray& format, int quality, QString* error) {
    const QString why =
        FileCommit::writeImage(path, image, format.constData(), quality, MessagePassing::instance()->language());
    if (error)
        *error = why;
    return why.isEmpty();
}

QString folderWriteProblem(const QString& path) {
    const int language = MessagePassing::instance()->language();
    const QString folder = QFileInfo(path).absolutePath();
    const QString problem = WriteProblem::folder(folder, language);
    if (!problem.isEmpty())
        return problem;
    // A folder may refuse files whatever its permissions say (a kernel file
    // system, a policy): a file of its own tells.
    QByteArray probe = QFile::encodeName(folder + "/.probe-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return WriteProblem::explain(path, errno, language);
    ::close(fd);
    ::unlink(probe.constData());
    return WriteProblem::pick(language, "相机没有写入图片。", "The camera did not write the picture.",
                              "相機沒有寫入圖片。");
}

QString noFrameReason() {
    return WriteProblem::pick(MessagePassing::instance()->language(), "相机没有送来可以解码的画面。",
                              "The camera sent no frame that could be decoded.", "相機沒有送來可以解碼的畫面。");
}

QString noMemoryReason() {
    return WriteProblem::pick(MessagePassing::instance()->language(), "内存不足，图片没有保存。",
                              "Not enough memory: the picture was not saved.", "記憶體不足，圖片沒有儲存。");
}

QString refusedReason() {
    const int language = MessagePassing::instance()->language();
    const int limit = ProcessLimits::reachedNow();
    return limit ? ProcessLimits::reason(limit, language) + WriteProblem::pick(language, "。图片没有保存。",
                                                                               ". The picture was not saved.",
                                                                               "。圖片沒有儲存。")
                 : noMemoryReason();
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
    // Made as every writer's temporary file is: the folder's default ACL
    // and the umask decide who may read it, here and under its index's name.
    int fd = -1;
    const QString name = SnapshotRecords::createThumbnail(&fd);
    if (name.isEmpty())
        return QString();
    QFile file;
    bool ok = file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    if (ok) {
        QImageWriter writer(&file, "JPG");
        writer.setQuality(90);
        ok = writer.write(thumb) && file.flush();
        file.close();
    }
    if (!ok) {
        discardThumbnail(name);
        return QString();
    }
    return name;
}

void discardThumbnail(const QString& preparedThumbnail) {
    if (preparedThumbnail.isEmpty())
        return;
    QFile::remove(preparedThumbnail);
    SnapshotRecords::releaseThumbnail(preparedThumbnail);
}

namespace {
// Moves the prepared thumbnail (may be empty) to the name of the list's
// index, replacing an old one; removes it when the list took no index.
void placeThumbnail(int index, const QString& preparedThumbnail) {
    if (preparedThumbnail.isEmpty())
        return;
    if (index >= 0) {
        const QString target = thumbnailPath(index);
        QFile::remove(target);
        if (QFile::rename(preparedThumbnail, target)) {
            SnapshotRecords::releaseThumbnail(preparedThumbnail);
            return;
        }
        qWarning() << "Cannot place the thumbnail" << target;
    }
    discardThumbnail(preparedThumbnail);
}
} // namespace

int addToHistory(const QString& path, const QString& preparedThumbnail) {
    MessagePassing* hub = MessagePassing::instance();
    // Saves of a program that has ended since the list was loaded (or seemed
    // too fresh to tell then) were taken before this one.
    if (SnapshotRecords::leftoversMayRemain()) {
        for (const auto& item : SnapshotRecords::takeLeftovers()) {
            if (!hub->getHistoryList().contains(item.first))
                placeThumbnail(hub->addImageHistory(item.first), item.second);
            else if (!item.second.isEmpty())
                QFile::remove(item.second); // listed already, with its own thumbnail
        }
    }
    const int index = hub->addImageHistory(path);
    placeThumbnail(index, preparedThumbnail);
    return index;
}

void saveNewPicture(const QImage& image, QString file, const QByteArray& format, bool clearIcon) {
    // The thumbnail and a record of the pair come before the picture: a
    // program killed between the write and the listing lists it at its next
    // start instead of leaving it out for good.
    const QString thumb = prepareThumbnail(image);
    QString note = SnapshotRecords::notePending(file, thumb);
    const QString chosen = file;
    const QString error =
        FileCommit::writeNewImage(&file, image, format.constData(), 100, MessagePassing::instance()->language());
    const bool written = error.isEmpty();
    if (file != chosen) { // the name was taken meanwhile: the record names where it went
        SnapshotRecords::dropNote(note);
        note = written ? SnapshotRecords::notePending(file, thumb) : QString();
    }
    if (!written) {
        SnapshotRecords::dropNote(note);
        discardThumbnail(thumb);
        reportSaveError(file, error);
        if (clearIcon)
            runOnGuiThread([] { MessagePassing::instance()->removeIconCamera(); });
        return;
    }
    runOnGuiThread([file, thumb, note, clearIcon] {
        addToHistory(file, thumb);
        if (MessagePassing::instance()->imageHistoryStored())
            SnapshotRecords::dropNote(note);
        else // the list on disk lacks it: the next start lists it by its record
            SnapshotRecords::keepNote(note);
        if (clearIcon)
            MessagePassing::instance()->removeIconCamera();
    });
}

void runOnGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

namespace {
QString recordingErrorText(int language, const QString& path, const QString& reason) {
    switch (language) {
    case 1: return QString("The recording failed:\n%1\n%2").arg(path, reason);
    case 2: return QString("錄影失敗：\n%1\n%2").arg(path, reason);
    default: return QString("录像失败：\n%1\n%2").arg(path, reason);
    }
}
} // namespace

QString saveErrorText(int language, const QString& path, const QString& reason) {
    switch (language) {
    case 1: return QString("The picture could not be saved:\n%1\n%2").arg(path, reason);
    case 2: return QString("圖片保存失敗：\n%1\n%2").arg(path, reason);
    default: return QString("图片保存失败：\n%1\n%2").arg(path, reason);
    }
}

namespace {
QString cameraLostText(int language, const QString& path) {
    switch (language) {
    case 1: return QString("The recording ended because the camera was lost:\n%1\nWhat was recorded until then is kept.").arg(path);
    case 2: return QString("相機已斷開，錄影已結束：\n%1\n斷開之前錄製的內容已保存。").arg(path);
    default: return QString("相机已断开，录像已结束：\n%1\n断开之前录制的内容已保存。").arg(path);
    }
}

void showError(const QString& path, const QString& reason, bool recording) {
    qWarning().noquote() << (recording ? "Recording" : "Saving") << path << "failed:" << reason;
    const int language = MessagePassing::instance()->language();
    // A recorder reports a full disk as an unknown error; say what it is.
    const QString folder = recording ? WriteProblem::folder(QFileInfo(path).absolutePath(), language) : QString();
    const QString why = folder.isEmpty() ? reason : folder;
    SaveErrorBox::show(recording ? recordingErrorText(language, path, why) : saveErrorText(language, path, why));
}
} // namespace

void reportSaveError(const QString& path, const QString& reason) { showError(path, reason, false); }

bool reportUnsaved(const QString& path, int mode, const QString& reason) {
    const bool userPicture = mode == 0 || mode == 1 || mode == 2 || mode == 8 || mode == 9 || mode == 10;
    if (!userPicture)
        return false;
    reportSaveError(path, reason);
    // The snap button and the palette's Screenshot and Save wait for this
    // picture; a queued series keeps its busy state until it ends.
    if (mode != 10 && mode != 2)
        MessagePassing::instance()->removeIconCamera();
    return true;
}
void reportRecordingError(const QString& path, const QString& reason) { showError(path, reason, true); }

void reportRecordingCameraLost(const QString& path) {
    qWarning().noquote() << "Recording" << path << "ended: the camera was lost";
    SaveErrorBox::show(cameraLostText(MessagePassing::instance()->language(), path));
}

void endCaptureOfFailedRecording() {
    MessagePassing* hub = MessagePassing::instance();
    if (hub->isVideoState())
        hub->stopVideo();
}

} // namespace SnapshotFiles
