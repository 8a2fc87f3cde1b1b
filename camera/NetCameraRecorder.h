#pragma once

#include <QString>

#include <cstdint>

// The values a network camera starts its recorder with. Codec and pixel
// format are FFmpeg ids (13 raw video, 3 BGR24).
struct NetRecordSettings {
    int inputWidth = 1920;
    int inputHeight = 1080;
    int inputCodec = 13;
    int inputPixelFormat = 3;
    int fps = 10;
    int outputWidth = 1920;
    int outputHeight = 1080;
    int keepEvery = 1;
    // Frames per second the camera sends, as its SDK states it (0: unknown).
    double cameraFps = 0;
};

// What NetCamera needs of a recorder (the recording thread behind an
// adapter). The camera owns it from creation to deletion.
class NetCameraRecorder {
public:
    // Deleted on the GUI thread. Must leave a finished file: when the state is
    // 1 or 0, stop, let the thread drain (waiting up to 3000 ms) and close it.
    virtual ~NetCameraRecorder() = default;
    // GUI thread. False when it cannot record (bad settings, file not opened).
    virtual bool startRecord(const QString& path, const NetRecordSettings& settings) = 0;
    // -100 idle, 1 recording, 0 stop asked, -1 finished. Any thread.
    virtual int state() const = 0;
    // On the SDK's frame thread, with the camera's ring lock held: the frame
    // (inputWidth x inputHeight x 3 bytes, packed BGR) is valid only during the
    // call, so the recorder copies what it keeps, and must not call back into
    // the camera.
    virtual void pushFrame(const uint8_t* data, int bytes) = 0;
    // GUI thread, with the camera's ring lock held (no push runs meanwhile).
    virtual void stopRecord() = 0;
};
