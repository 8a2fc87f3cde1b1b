#include "camera/NetRecorderAdapter.h"

#include "camera/ThreadVideo.h"

NetRecorderAdapter::NetRecorderAdapter() : m_video(new ThreadVideo()) {}

NetRecorderAdapter::~NetRecorderAdapter() {
    // The file must be finished whatever the state: stop, drain, close.
    if (m_video->state() == ThreadVideo::StateRecording)
        m_video->stopRecord();
    m_video->wait(3000);
    delete m_video;
}

bool NetRecorderAdapter::startRecord(const QString& path, const NetRecordSettings& s) {
    return m_video->startRecord(path, s.inputWidth, s.inputHeight, s.inputCodec, s.inputPixelFormat, s.fps,
                                s.outputWidth, s.outputHeight, s.keepEvery);
}

int NetRecorderAdapter::state() const { return m_video->state(); }

void NetRecorderAdapter::pushFrame(const uint8_t* data, int bytes) { m_video->pushFrame(data, bytes); }

void NetRecorderAdapter::stopRecord() { m_video->stopRecord(); }
