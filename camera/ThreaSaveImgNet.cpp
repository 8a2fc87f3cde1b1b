#include "camera/ThreaSaveImgNet.h"

#include "app/hub/MessagePassing.h"
#include "camera/SnapshotFiles.h"
#include "platform/SnapshotRecords.h"

ThreaSaveImgNet::ThreaSaveImgNet(QObject* parent) : QThread(parent) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void ThreaSaveImgNet::startSave(QString path, int mode, bool saveDirect) {
    m_path = path;
    m_mode = mode;
    m_saveDirect = saveDirect;
    m_imgType = MessagePassing::instance()->imgType;
    start(QThread::InheritPriority);
}

ThreaSaveImgNet* ThreaSaveImgNet::launch(QString path, int mode, bool saveDirect) {
    auto* saver = new ThreaSaveImgNet();
    saver->startSave(path, mode, saveDirect);
    return saver;
}

void ThreaSaveImgNet::run() {
    if (SnapshotRecords::takeWrittenPicture(m_path, m_image).isEmpty())
        return; // not a picture: the file stays for the user to look at
    m_image.setDotsPerMeterX(12401);
    m_image.setDotsPerMeterY(12401);
    const QString target = m_path + "." + m_imgType;
    MessagePassing* hub = MessagePassing::instance();
    // A picture saved straight away is a new one, as a USB camera's is.
    if ((m_mode == 0 || m_mode == 1) && m_saveDirect) {
        SnapshotFiles::saveNewPicture(m_image, target, m_imgType.toUtf8(), true);
    } else if (m_mode == 0 || m_mode == 1) {
        hub->saveImageByFileDialog(m_image, target, false, true);
        hub->removeIconCamera();
    } else if (m_mode == 10) {
        SnapshotFiles::saveNewPicture(m_image, target, m_imgType.toUtf8(), false);
    }
}
