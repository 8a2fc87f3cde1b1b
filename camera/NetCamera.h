#pragma once

#include "camera/BaseCamera.h"
#include "camera/VideoZoom.h"
#include "camera/NetCameraLinks.h"
#include "camera/NetCameraModel.h"
#include "camera/NetCameraRecorder.h"
#include "camera/VideoFeeds.h"
#include "platform/WFSdk.h"

#include <QImage>
#include <QList>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// The network camera driver: finds cameras by broadcast, opens one through
// the camera SDK (WF_* calls, platform/WFSdk.h), receives its BGR frames on
// the SDK's thread into a ring of three images and serves the video window
// from it (NetVideoFeed), drives parameters, resolution, snapshots, received
// files and recording through the SDK. Model classes (NetCamera_*) supply
// their control tables through a NetCameraModel.
//
// Threads: everything on the GUI thread except frameCallBack (SDK thread) and
// the NetVideoFeed reads. The ring, its indices and the recorder are guarded
// by one lock; no WF_* call is ever made while holding it, because
// WF_LiveStop waits for a running callback that may be waiting for the lock.
class NetCamera : public BaseCamera, public NetVideoFeed {
    Q_OBJECT
public:
    explicit NetCamera(QObject* parent = nullptr);
    ~NetCamera() override;

    // ---- discovery (GUI thread) ----
    // Searches, fills netCameraAddrs and netCameraNames (parallel lists, only
    // cameras of types 0..8), and initialises the SDK when any was found.
    // False (after an "Error" box) when the SDK cannot be initialised.
    static bool broadcastCameras();
    // Opens camera `index` of netCameraNames, as its model class, live.
    // Null (after an "Error" box when the SDK refuses the camera) otherwise.
    static NetCamera* createCamera(int index, QObject* parent);
    // Releases the SDK at shutdown, when a network camera was used.
    static void uninitSDK();
    // "Corvo:" ... for types 0..8, empty otherwise.
    static QString namePrefix(int type);
    // The model class of a broadcast type with its frame size; null outside 0..8.
    static NetCamera* newModel(int type, QObject* parent);

    static void setLinks(const NetCameraLinks& links);
    static const NetCameraLinks& links();

    // Registers the frame callback, attaches the video window, starts frames.
    void startLive(int number);
    // The SDK's frame callback; `camera` is the NetCamera.
    static void frameCallBack(unsigned char* data, const WF_FrameInfo* info, void* camera);

    QString address() const { return m_address; }
    int resolutionIndex() const { return m_resolution; }
    NetRecordSettings recordSettings() const { return m_recordSettings; }
    const NetCameraModel* model() const { return m_model; }

    // ---- BaseCamera ----
    QString className() const override { return "NetCamera"; }
    bool isNetCamera() const override { return true; }
    float frameRate() override;
    void setResolution(int index) override;
    QSize frameSize(bool full = true) const override;
    void initScaleList() override;
    int scaleIndex() const override { return m_zoom.scaleIndex(); }
    void play() override;
    void pause() override;
    bool isPlaying() const override { return m_playing; }
    void doAWB() override;
    void setAE(bool on) override;
    float setScaleIndex(int index, QPoint anchor) override;
    void fitToWindow() override;
    bool isFitToWindow() const override { return m_zoom.isFit(); }
    void snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                   int sizeIndex) override;
    void setHFlip(int on) override;
    void setVFlip(int on) override;
    void setBWMode(int on) override;
    void setExposureType(int type) override;
    void setExposureRange(QSlider* slider, bool longExposure) override;
    void syncParams() override;
    void setParam(int key, int value) override;
    QString exposureText(int sliderValue, bool longExposure, bool apply) override;
    int exposureToSlider(int cameraValue, bool longExposure) override;
    bool startReceiveFile(QString directory) override;
    void stopReceiveFile() override;
    bool startRecord(QString path) override;
    void stopRecord() override;
    void setEdgeSearchSize(int width, int height) override;
    void snapToEdge(int& x, int& y) override;

    // ---- NetVideoFeed (any thread) ----
    bool feedPlaying() const override { return m_playing; }
    // A serial of the newest stored frame (-1 when none since the ring was made).
    int newestFrameIndex() const override;
    bool withNewestFrame(
        const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) override;

protected:
    // Model constructors: the control map from the model's table, current 0.
    void applyModel(const NetCameraModel& model);
    // Frame size, ring, zoom list, SDK resolution and video window for index.
    void switchResolution(int index, QSize size);
    // Starts a recorder with these settings; false when one runs or it fails.
    bool beginRecording(const QString& path, const NetRecordSettings& settings);
    int cameraNumber() const { return m_number; }
    void setCurrentValue(int key, int value);
    // WF_GetAllParam, then the current value of each key from its field.
    void readParamRecord(std::initializer_list<std::pair<int, int>> keyAndField);

private:
    void storeFrame(const uint8_t* data, const WF_FrameInfo& info);
    float sdkFrameRate() const;
    void makeRing(int width, int height);
    void attachVideo();
    void placeVideo(const QRect& rect);
    static void showError(const char* english, const char* simplified, const char* traditional);

    // Guarded by m_ringMutex.
    mutable std::mutex m_ringMutex;
    std::vector<QImage> m_ring; // empty until startLive; BGR bytes in RGB888 images
    int m_ringIndex = 0;        // the slot the next frame goes to
    int m_newest = -1;          // the slot of the newest frame, -1 when none
    int m_serial = -1;          // counts stored frames
    std::unique_ptr<NetCameraRecorder> m_recorder;
    QSize m_recordInput;        // frame size the running recorder takes

    QString m_address;
    int m_resolution = 0;
    int m_number = 0;
    int m_width = 100;
    int m_height = 100;
    VideoZoom m_zoom;
    QString m_recordPath;
    std::atomic<bool> m_playing{false};
    bool m_live = false; // startLive ran: the SDK holds our callback
    int m_edgeWidth = 31;
    int m_edgeHeight = 31;
    NetRecordSettings m_recordSettings;
    const NetCameraModel* m_model = nullptr;
};
