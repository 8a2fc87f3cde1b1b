#include "camera/NetRecorderAdapter.h"

#include "app/hub/MessagePassing.h"
#include "camera/SnapshotFiles.h"

NetRecorderAdapter::NetRecorderAdapter() {
    // A full disk ends the recording: the capture bar must say so too.
    QObject::connect(&m_video, &ThreadVideo::endedByItself, MessagePassing::instance(),
                     [] { SnapshotFiles::endCaptureOfFailedRecording(); });
}

bool NetRecorderAdapter::startRecord(const QString& path, const NetRecordSettings& s) {
    return m_video.startRecord(path, s.inputWidth, s.inputHeight, s.inputCodec, s.inputPixelFormat, s.fps,
                               s.outputWidth, s.outputHeight, s.keepEvery, s.cameraFps);
}
