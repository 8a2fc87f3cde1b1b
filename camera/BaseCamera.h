#pragma once

#include <QColor>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

class QSlider;

// Pixel-format codes of raw frames, shared by the drivers, the video window,
// the decoder and the recorder. Network cameras deliver 24-bit BGR.
enum PixelFormatCode : int {
    PixFmtNV12 = 22, // default everywhere
    PixFmtMJPG = 15,
    PixFmtYUYV = 6,
};

// Keys of the camera control map. 0..9: {min, max, current};
// 10 and above: {available 0/1, current}. A missing key: no such control.
enum CameraControlKey : int {
    CtlExposure = 0,
    CtlTarget = 1,
    CtlGain = 2,
    CtlRedGain = 3,
    CtlGreenGain = 4,
    CtlBlueGain = 5,
    CtlSaturation = 6,
    CtlContrast = 7,
    CtlSharpness = 8,
    CtlHDR = 9,
    CtlMirror = 10,
    CtlFlip = 11,
    CtlBlackWhite = 12,
    Ctl3DNR = 13,
    CtlExposureType = 14,
    CtlCameraMode = 15,
    CtlPurple = 16,
};

using CameraControlMap = QMap<int, QList<int>>;

// The one abstract camera. Panels, the hub and the overlay reach the open
// camera only through MessagePassing::currentCamera() and these operations;
// model-specific behaviour elsewhere is chosen by className(), so those
// strings are part of the interface. GUI thread unless a driver says so.
class BaseCamera : public QObject {
    Q_OBJECT
public:
    explicit BaseCamera(QObject* parent = nullptr) : QObject(parent) {}
    ~BaseCamera() override = default;

    virtual QString className() const { return "BaseCamera"; }
    virtual bool isNetCamera() const { return false; }
    virtual bool isCompactPanel() const { return false; }
    virtual bool supportFastMode() const { return false; }
    virtual bool supportComposite() const { return false; }
    virtual bool isWideFrame() const { return true; }
    virtual int pixelFormat() const { return PixFmtNV12; }
    virtual float frameRate() { return 0.0f; }
    virtual int maxDecodeThreads() const { return 4; }
    virtual void setResolution(int index) { Q_UNUSED(index) }
    // With full = false a model in fast mode answers its reduced size.
    virtual QSize frameSize(bool full = true) const {
        Q_UNUSED(full)
        return QSize(1920, 1080);
    }
    virtual QSize previewSize() const { return QSize(800, 500); }
    virtual void initScaleList() {}
    virtual int scaleIndex() const { return 0; }
    virtual void play() {}
    virtual void pause() {}
    virtual bool isPlaying() const { return false; }
    virtual void doAWB() {}
    virtual void setAE(bool on) { Q_UNUSED(on) }
    // anchor (-10000, -10000): none. Returns the new zoom factor.
    virtual float setScaleIndex(int index, QPoint anchor) {
        Q_UNUSED(index) Q_UNUSED(anchor) return 1.0f;
    }
    virtual void fitToWindow() {}
    virtual bool isFitToWindow() const { return false; }
    virtual void snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                           int sizeIndex) {
        Q_UNUSED(path) Q_UNUSED(mode) Q_UNUSED(saveDirect) Q_UNUSED(timeStamp) Q_UNUSED(colour)
            Q_UNUSED(position) Q_UNUSED(sizeIndex)
    }
    virtual void setHFlip(int on) { Q_UNUSED(on) }
    virtual void setVFlip(int on) { Q_UNUSED(on) }
    virtual void setBWMode(int on) { Q_UNUSED(on) }
    virtual void set3DNR(int on) { Q_UNUSED(on) }
    virtual void setRmPurple(int on) { Q_UNUSED(on) }
    virtual void setExposureType(int type) { Q_UNUSED(type) }
    virtual void setCameraMode(int mode) { Q_UNUSED(mode) }
    virtual void setExposureRange(QSlider* slider, bool longExposure) { Q_UNUSED(slider) Q_UNUSED(longExposure) }
    // Empty when the camera has no such control, never a list of zeros.
    virtual QList<int> paramRange(int key) const { return controls.value(key); }
    virtual void syncParams() {}
    virtual void setParam(int key, int value) { Q_UNUSED(key) Q_UNUSED(value) }
    virtual QString exposureText(int sliderValue, bool longExposure, bool apply) {
        Q_UNUSED(sliderValue) Q_UNUSED(longExposure) Q_UNUSED(apply) return QString();
    }
    virtual int exposureToSlider(int cameraValue, bool longExposure) {
        Q_UNUSED(cameraValue) Q_UNUSED(longExposure) return 0;
    }
    virtual bool startReceiveFile(QString directory) { Q_UNUSED(directory) return false; }
    virtual void stopReceiveFile() {}
    // A camera class without a recorder answers true and records nothing.
    virtual bool startRecord(QString path) { Q_UNUSED(path) return true; }
    virtual void stopRecord() {}
    // The file a recording started by startRecord writes now; empty when none.
    virtual QString recordingPath() const { return QString(); }
    virtual bool resetParams() { return true; }
    virtual void setEdgeSearchSize(int width, int height) { Q_UNUSED(width) Q_UNUSED(height) }
    virtual void snapToEdge(int& x, int& y) { Q_UNUSED(x) Q_UNUSED(y) }
    virtual void readRGBGain() {}
    virtual void refreshParams() {}
    virtual bool isAEOn() const { return false; }
    virtual bool supportCameraMode() const { return false; }

protected:
    // The control map; filled by the model constructors. The base class holds
    // it so that paramRange has one implementation.
    CameraControlMap controls;
};
