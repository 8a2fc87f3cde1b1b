#pragma once

#include "StitchPanGenerator.h"

#include "camera/BaseCamera.h"

#include <QElapsedTimer>
#include <QImage>

#include <vector>

// A live camera over a moving stage for the stitching panel: each mode-3
// snapshot delivers the specimen at the next position of a pan (the last one
// repeats) through the hub, mode 4 a given flat field. With a frame rate,
// frames follow the pan in time instead (one pan frame per frame period) and
// a snapshot waits for the next frame, as a streaming camera's would.
class StitchStageCamera : public BaseCamera {
public:
    explicit StitchStageCamera(cv::Size frame) : m_frame(frame) {}

    std::vector<StitchPanFrame> pan;
    QImage flat;
    double fps = 0.0;  // 0: one pan frame per snapshot, at once
    int repeat = 1;    // with a frame rate: camera frames that show each pan frame
    int snaps = 0;     // snapshots asked for (mode 3)
    bool playing = true;
    bool composite = true;

    QSize frameSize(bool) const override { return QSize(m_frame.width, m_frame.height); }
    QSize previewSize() const override { return QSize(m_frame.width * 5 / 12, m_frame.height * 5 / 11); }
    bool isPlaying() const override { return playing; }
    bool supportComposite() const override { return composite; }
    void snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                   int sizeIndex) override;

private:
    cv::Size m_frame;
    QElapsedTimer m_clock;
};
