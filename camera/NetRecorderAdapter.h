#pragma once

#include "camera/NetCameraRecorder.h"

class ThreadVideo;

// A network camera's recorder: the recording thread behind the interface the
// network driver expects. Owns its ThreadVideo.
class NetRecorderAdapter : public NetCameraRecorder {
public:
    NetRecorderAdapter();
    ~NetRecorderAdapter() override;
    bool startRecord(const QString& path, const NetRecordSettings& settings) override;
    int state() const override;
    void pushFrame(const uint8_t* data, int bytes) override;
    void stopRecord() override;

private:
    ThreadVideo* m_video;
};
