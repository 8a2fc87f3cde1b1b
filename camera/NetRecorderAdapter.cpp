#include "camera/NetRecorderAdapter.h"

bool NetRecorderAdapter::startRecord(const QString& path, const NetRecordSettings& s) {
    return m_video.startRecord(path, s.inputWidth, s.inputHeight, s.inputCodec, s.inputPixelFormat, s.fps,
                               s.outputWidth, s.outputHeight, s.keepEvery);
}
