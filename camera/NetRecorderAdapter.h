#pragma once

#include "camera/NetCameraRecorder.h"
#include "camera/ThreadVideo.h"

// A network camera's recorder: the recording thread behind the interface the
// network driver expects. Destroying it finishes the file (ThreadVideo's own
// destructor stops, drains and closes it).
class NetRecorderAdapter : public NetCameraRecorder {
public:
    NetRecorderAdapter();
    bool startRecord(const QString& path, const NetRecordSettings& settings) override;
    int state() const override { return m_video.state(); }
    // The SDK hands each frame over as it arrives: that moment is its capture
    // time, so a camera sending faster than the file's rate is thinned to it.
    void pushFrame(const uint8_t* data, int bytes) override {
        m_video.pushFrame(data, bytes, 0, 0, ThreadVideo::monotonicMs());
    }
    void stopRecord() override { m_video.stopRecord(); }

private:
    ThreadVideo m_video;
};
