#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 8.
class NetCamera_Corvo : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Corvo(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Corvo"; }
    // Index 0: 3840 x 2160, 1: 1920 x 1080; other indices are ignored.
    void setResolution(int index) override;
    // 1920 x 1080 only when full is false at index 1; otherwise 3840 x 2160.
    QSize frameSize(bool full = true) const override;
    // At the size of the frames: 3840 x 2160 at 10 frames per second (index
    // 0) or 1920 x 1080 at 20 (index 1), output 1920 x 1080.
    bool startRecord(QString path) override;
};
