#include "camera/NetCamera.h"

#include "camera/SnapshotFiles.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "camera/NetCameraExposure.h"
#include "camera/VideoZoom.h"
#include "camera/NetCamera_Corvo.h"
#include "camera/NetCamera_Gormet.h"
#include "camera/NetCamera_Halder.h"
#include "camera/NetCamera_Krell.h"
#include "camera/NetCamera_Moravel.h"
#include "camera/NetCamera_Pellam.h"
#include "camera/NetCamera_Saffen.h"
#include "camera/NetCamera_Vosker.h"
#include "camera/NetCamera_Zamble.h"
#include "platform/NetSdk.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSlider>

#include <climits>
#include <cstring>
#include <string>

namespace {

NetCameraLinks g_links;
// Broadcast index of each entry of netCameraAddrs / netCameraNames.
QList<int> g_broadcastIndex;

std::wstring wide(const QString& s) { return s.toStdWString(); }

} // namespace

// ---------------------------------------------------------------- discovery

QString NetCamera::namePrefix(int type) {
    static const char* const prefixes[] = {"Halder:", "Zamble:", "Moravel:", "Gormet:", "Saffen:",
                                           "Krell:",  "Vosker:", "Pellam:",  "Corvo:"};
    return type >= 0 && type <= 8 ? QString(prefixes[type]) : QString();
}

NetCamera* NetCamera::newModel(int type, QObject* parent) {
    NetCamera* camera = nullptr;
    switch (type) {
    case 0: camera = new NetCamera_Halder(parent); break;
    case 1: camera = new NetCamera_Zamble(parent); break;
    case 2: camera = new NetCamera_Moravel(parent); break;
    case 3: camera = new NetCamera_Gormet(parent); break;
    case 4: camera = new NetCamera_Saffen(parent); break;
    case 5: camera = new NetCamera_Krell(parent); break;
    case 6: camera = new NetCamera_Vosker(parent); break;
    case 7: camera = new NetCamera_Pellam(parent); break;
    case 8: camera = new NetCamera_Corvo(parent); break;
    default: return nullptr;
    }
    if (type == 8) {
        camera->m_width = 3840;
        camera->m_height = 2160;
    } else {
        camera->m_width = 1920;
        camera->m_height = 1080;
        camera->m_recordSettings.fps = 10;
    }
    camera->m_resolution = 0;
    return camera;
}

void NetCamera::showError(const char* english, const char* simplified, const char* traditional) {
    const int lang = MessagePassing::instance()->language();
    const QString text = QString::fromUtf8(lang == 0 ? simplified : lang == 2 ? traditional : english);
    QMessageBox::information(nullptr, "Error", text, QMessageBox::Ok, QMessageBox::Ok);
}

bool NetCamera::broadcastCameras() {
    WF_BroadcastCamera();
    uint32_t ips[WF_MAX_CAMERAS];
    int count = WF_MAX_CAMERAS;
    if (WF_BroadcastResult(&count, ips) != 0)
        count = 0;
    netCameraAddrs.clear();
    netCameraNames.clear();
    g_broadcastIndex.clear();
    // The two lists stay parallel: a camera of an unknown type is left out of
    // both, so that position i of the name list is position i of the address list.
    for (int i = 0; i < count; ++i) {
        int type = 8;
        WF_BroadcastResultType(i, &type);
        const QString prefix = namePrefix(type);
        if (prefix.isEmpty())
            continue;
        const QString address = NetSdk::addressText(ips[i]);
        netCameraAddrs.append(address);
        netCameraNames.append(prefix + address);
        g_broadcastIndex.append(i);
    }
    if (netCameraNames.isEmpty())
        return true;
    if (WF_InitRes(1, 3) == 0)
        return true;
    showError("Memory request failed!", "内存申请失败！", "記憶體申請失敗！");
    return false;
}

NetCamera* NetCamera::createCamera(int index, QObject* parent) {
    uint32_t ip = 0;
    int result = -1;
    int sdkIndex = -1;
    if (index >= 0 && index < netCameraAddrs.size() && NetSdk::addressValue(netCameraAddrs[index], &ip)) {
        sdkIndex = index < g_broadcastIndex.size() ? g_broadcastIndex[index] : index;
        result = WF_InitCameraSingle(0, sdkIndex, ip, WF_CAMERA_PORT);
    }
    if (result != 0) {
        showError("Camera initialization failed!", "相机初始化失败！", "相機初始化失敗！");
        return nullptr;
    }
    int type = 8;
    WF_BroadcastResultType(sdkIndex, &type);
    NetCamera* camera = newModel(type, parent);
    if (!camera)
        return nullptr;
    camera->m_address = netCameraAddrs[index];
    camera->startLive(0);
    return camera;
}

void NetCamera::uninitSDK() { WF_UnInitRes(); }

void NetCamera::setLinks(const NetCameraLinks& links) { g_links = links; }

const NetCameraLinks& NetCamera::links() { return g_links; }

// ---------------------------------------------------------------- life

NetCamera::NetCamera(QObject* parent) : BaseCamera(parent) {}

NetCamera::~NetCamera() {
    // Frames stop before anything they write into goes away.
    if (m_live) {
        WF_LiveStop(m_number);
        WF_SetFrameCallBack(m_number, nullptr, nullptr);
    }
    m_playing = false;
    if (g_links.detachVideo)
        g_links.detachVideo(this);
    std::unique_ptr<NetCameraRecorder> recorder;
    {
        std::lock_guard<std::mutex> lock(m_ringMutex);
        if (m_recorder && m_recorder->state() == 1)
            m_recorder->stopRecord();
        recorder = std::move(m_recorder);
        m_ring.clear();
    }
    // The recorder finishes its file (waiting up to 3000 ms) as it is deleted.
    recorder.reset();
}

void NetCamera::applyModel(const NetCameraModel& model) {
    m_model = &model;
    controls.clear();
    for (int key = 0; key < 10; ++key)
        if (model.hasKey[key])
            controls.insert(key, {model.ranges[key][0], model.ranges[key][1], 0});
    for (int i = 0; i < 5; ++i)
        controls.insert(10 + i, {model.switches[i], 0});
}

void NetCamera::setCurrentValue(int key, int value) {
    auto it = controls.find(key);
    if (it == controls.end())
        return;
    const int slot = key < 10 ? 2 : 1;
    if (it->size() > slot)
        (*it)[slot] = value;
}

void NetCamera::readParamRecord(std::initializer_list<std::pair<int, int>> keyAndField) {
    int record[WF_PARAM_BLOCK_INTS] = {};
    WF_GetAllParam(m_number, record);
    for (const auto& [key, field] : keyAndField)
        if (field >= 0 && field < WF_PARAM_BLOCK_INTS)
            setCurrentValue(key, record[field]);
}

void NetCamera::makeRing(int width, int height) {
    // Allocated outside the lock: the callback keeps running meanwhile.
    std::vector<QImage> ring;
    for (int i = 0; i < 3; ++i)
        ring.emplace_back(width, height, QImage::Format_RGB888);
    std::lock_guard<std::mutex> lock(m_ringMutex);
    m_ring.swap(ring);
    m_newest = -1;
    // The old images are freed as `ring` leaves scope, after the lock.
}

void NetCamera::startLive(int number) {
    m_number = number;
    bool fresh;
    {
        std::lock_guard<std::mutex> lock(m_ringMutex);
        fresh = m_ring.empty();
    }
    if (fresh) {
        makeRing(m_width, m_height);
        {
            std::lock_guard<std::mutex> lock(m_ringMutex);
            m_ringIndex = 0;
        }
        WF_SetFrameCallBack(number, &NetCamera::frameCallBack, this);
        m_live = true;
        attachVideo();
    }
    WF_SetResolution(number, m_resolution);
    WF_LiveStart(number);
    m_playing = true;
    initScaleList();
}

void NetCamera::attachVideo() {
    if (g_links.attachVideo)
        g_links.attachVideo(this, m_width, m_height);
}

// ---------------------------------------------------------------- frames

void NetCamera::frameCallBack(unsigned char* data, const WF_FrameInfo* info, void* camera) {
    auto* self = static_cast<NetCamera*>(camera);
    if (!self || !data || !info)
        return;
    // Not the virtual frameRate(): while a model's destructor runs, the frames
    // still flow until ~NetCamera stops them, and only NetCamera's own
    // members may be touched meanwhile.
    if (!(self->sdkFrameRate() > 3.0f))
        return;
    self->storeFrame(data, *info);
}

void NetCamera::storeFrame(const uint8_t* data, const WF_FrameInfo& info) {
    std::unique_ptr<NetCameraRecorder> finished;
    {
        std::lock_guard<std::mutex> lock(m_ringMutex);
        if (m_ring.empty())
            return;
        QImage& slot = m_ring[size_t(m_ringIndex)];
        const int rowBytes = info.width * 3;
        // A frame of another size was sent before a resolution change took
        // effect (or after the ring was replaced): it does not fit this ring.
        if (info.width != slot.width() || info.height != slot.height() || info.bytes < rowBytes * info.height)
            return;
        if (slot.bytesPerLine() == rowBytes) {
            std::memcpy(slot.bits(), data, size_t(rowBytes) * info.height);
        } else {
            for (int y = 0; y < info.height; ++y)
                std::memcpy(slot.scanLine(y), data + size_t(y) * rowBytes, size_t(rowBytes));
        }
        if (m_recorder) {
            const int state = m_recorder->state();
            if (state == 1 && m_recordInput == QSize(info.width, info.height))
                m_recorder->pushFrame(data, rowBytes * info.height);
            else if (state == -1)
                finished = std::move(m_recorder);
        }
        m_newest = m_ringIndex;
        m_ringIndex = (m_ringIndex + 1) % 3;
        m_serial = m_serial == INT_MAX ? 0 : m_serial + 1;
    }
    if (finished) {
        // Recorders are deleted on the GUI thread.
        NetCameraRecorder* recorder = finished.release();
        if (QCoreApplication::instance())
            QMetaObject::invokeMethod(QCoreApplication::instance(), [recorder] { delete recorder; },
                                      Qt::QueuedConnection);
        else
            delete recorder;
    }
}

int NetCamera::newestFrameIndex() const {
    std::lock_guard<std::mutex> lock(m_ringMutex);
    return m_newest < 0 ? -1 : m_serial;
}

bool NetCamera::withNewestFrame(
    const std::function<void(const uint8_t* bgr, int width, int height, int stride)>& fn) {
    std::lock_guard<std::mutex> lock(m_ringMutex);
    if (m_newest < 0 || m_ring.empty())
        return false;
    const QImage& slot = m_ring[size_t(m_newest)];
    fn(slot.constBits(), slot.width(), slot.height(), int(slot.bytesPerLine()));
    return true;
}

float NetCamera::frameRate() { return sdkFrameRate(); }

float NetCamera::sdkFrameRate() const {
    float fps = 0.0f;
    WF_GetCameraFrameRate(m_number, &fps);
    return fps;
}

// ---------------------------------------------------------------- resolution and zoom

void NetCamera::setResolution(int index) {
    if (index < 0 || index > 2)
        return;
    switchResolution(index, index == 2 ? QSize(3840, 2160) : QSize(1920, 1080));
}

void NetCamera::switchResolution(int index, QSize size) {
    m_width = size.width();
    m_height = size.height();
    m_resolution = index;
    bool hasRing;
    {
        std::lock_guard<std::mutex> lock(m_ringMutex);
        hasRing = !m_ring.empty();
    }
    if (hasRing)
        makeRing(m_width, m_height);
    initScaleList();
    WF_SetResolution(m_number, index);
    attachVideo();
}

QSize NetCamera::frameSize(bool full) const {
    Q_UNUSED(full)
    return QSize(m_width, m_height);
}

void NetCamera::initScaleList() { m_zoom.init(QSize(m_width, m_height), VideoZoom::hostSize()); }

void NetCamera::placeVideo(const QRect& rect) {
    if (g_links.placeVideo && !rect.isEmpty())
        g_links.placeVideo(rect);
}

float NetCamera::setScaleIndex(int index, QPoint anchor) {
    const QRect current = g_links.videoRect ? g_links.videoRect() : QRect();
    QRect placed;
    const float f = m_zoom.setScaleIndex(index, anchor, QSize(m_width, m_height), VideoZoom::hostSize(), current, &placed);
    placeVideo(placed);
    return f;
}

void NetCamera::fitToWindow() {
    placeVideo(m_zoom.fitToWindow(QSize(m_width, m_height), VideoZoom::screenSize(), VideoZoom::hostSize()));
}

void NetCamera::setEdgeSearchSize(int width, int height) {
    m_edgeWidth = width;
    m_edgeHeight = height;
}

void NetCamera::snapToEdge(int& x, int& y) {
    if (!g_links.videoRect || m_edgeWidth <= 0 || m_edgeHeight <= 0)
        return;
    VideoZoom::snapToEdge(g_links.readBack, g_links.videoRect(), QSize(m_edgeWidth, m_edgeHeight), x, y);
}

// ---------------------------------------------------------------- controls

void NetCamera::play() {
    WF_LiveStart(m_number);
    m_playing = true;
}

void NetCamera::pause() {
    WF_LiveStop(m_number);
    m_playing = false;
}

void NetCamera::doAWB() { WF_SetDoAWB(m_number, 0, 1, 0, nullptr); }

void NetCamera::setAE(bool on) { WF_SetDoAE(m_number, 0, on ? 1 : 0, 0, nullptr); }

void NetCamera::setHFlip(int on) { WF_SetHFlip(m_number, on); }

void NetCamera::setVFlip(int on) { WF_SetVFlip(m_number, on); }

void NetCamera::setExposureType(int type) { WF_SetBWMode(m_number, type); }

void NetCamera::setBWMode(int on) {
    if (!m_model)
        return;
    if (m_model->blackWhite == NetCameraModel::BlackWhiteCall::Temperature)
        WF_SetTemperature(m_number, on);
    else
        WF_SetBWMode(m_number, on);
}

void NetCamera::setParam(int key, int value) {
    switch (key) {
    case CtlTarget: WF_SetBestAe(m_number, value); break;
    case CtlGain: WF_SetGain_A(m_number, value); break;
    case CtlRedGain: WF_SetGainR(m_number, value); break;
    case CtlGreenGain: WF_SetGainG(m_number, value); break;
    case CtlBlueGain: WF_SetGainB(m_number, value); break;
    case CtlSaturation: WF_SetSaturation(m_number, value); break;
    case CtlContrast: WF_SetContrast(m_number, value); break;
    case CtlSharpness: WF_SetSharpness(m_number, value); break;
    case CtlHDR: WF_SetHDR(m_number, value); break;
    default: break; // exposure goes through exposureText
    }
}

void NetCamera::syncParams() {
    int id = WF_ParamGainG;
    if (WF_GetParam(m_number, &id) == 0)
        setCurrentValue(CtlGreenGain, id);
    readParamRecord({{CtlExposure, 0}, {CtlTarget, 8}, {CtlGain, 1}, {CtlRedGain, 2}, {CtlBlueGain, 3},
                     {CtlSaturation, 7}, {CtlContrast, 4}, {CtlSharpness, 6}, {CtlHDR, 5}, {CtlMirror, 9},
                     {CtlFlip, 10}, {CtlBlackWhite, 12}, {CtlExposureType, 11}});
    setCurrentValue(Ctl3DNR, 0);
    MessagePassing::instance()->initImgEffect();
}

void NetCamera::setExposureRange(QSlider* slider, bool longExposure) {
    if (!m_model || !slider)
        return;
    int lo, hi;
    NetCameraExposure::range(*m_model, longExposure, &lo, &hi);
    slider->setRange(lo, hi);
}

QString NetCamera::exposureText(int sliderValue, bool longExposure, bool apply) {
    if (!m_model)
        return QString();
    int value = 0;
    const QString text = NetCameraExposure::text(*m_model, sliderValue, longExposure, &value);
    if (apply)
        WF_SetExposure(m_number, value);
    return text;
}

int NetCamera::exposureToSlider(int cameraValue, bool longExposure) {
    return m_model ? NetCameraExposure::toSlider(*m_model, cameraValue, longExposure) : 0;
}

// ---------------------------------------------------------------- snapshots and files

void NetCamera::snapImage(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                          int sizeIndex) {
    Q_UNUSED(timeStamp) Q_UNUSED(colour) Q_UNUSED(position) Q_UNUSED(sizeIndex)
    const std::wstring widePath = wide(path);
    if (mode == 1) {
        // The camera keeps the picture: once it has been told there is
        // nothing to wait for, and the snap button is free for the next one.
        const int answer = WF_GetFrameFromCamera(m_number, widePath.c_str());
        MessagePassing::instance()->removeIconCamera();
        if (answer != 0)
            showError("The camera could not take the picture!", "相机拍照失败！", "相機拍照失敗！");
        return;
    }
    if (WF_GetFrameToImage(m_number, widePath.c_str(), WF_ImageJpg, 0, 0) != 0) {
        // No file to hand on: the save thread would only find nothing. The
        // user learns why (the folder's own error, as a USB camera's save
        // shows it) and the snap button or the palette is free again.
        SnapshotFiles::reportSaveError(path + ".jpg", SnapshotFiles::folderWriteProblem(path));
        if (mode == 0 || mode == 8 || mode == 9)
            MessagePassing::instance()->removeIconCamera();
        return;
    }
    if (mode == 2 || mode == 5 || mode == 8 || mode == 9) {
        MessagePassing::instance()->snapImage(path, mode);
    } else if (g_links.startSaveThread) {
        g_links.startSaveThread(path, mode, saveDirect);
    } else {
        qWarning().noquote() << "network camera: no snapshot save thread connected; picture left at" << path;
    }
}

bool NetCamera::startReceiveFile(QString directory) {
    const std::wstring dir = wide(directory);
    if (WF_ReceiveFile(m_number, 1, dir.c_str()) == 0)
        return true;
    WF_ReceiveFile(m_number, 0, dir.c_str());
    return false;
}

void NetCamera::stopReceiveFile() { WF_ReceiveFile(m_number, 0, nullptr); }

// ---------------------------------------------------------------- recording

bool NetCamera::startRecord(QString path) {
    NetRecordSettings settings = m_recordSettings;
    // The frames are as large as the camera sends them now.
    settings.inputWidth = m_width;
    settings.inputHeight = m_height;
    return beginRecording(path, settings);
}

bool NetCamera::beginRecording(const QString& path, const NetRecordSettings& settings) {
    if (settings.keepEvery < 1 || settings.fps < 1)
        return false;
    std::unique_ptr<NetCameraRecorder> done;
    {
        std::lock_guard<std::mutex> lock(m_ringMutex);
        if (m_recorder) {
            if (m_recorder->state() != -1)
                return false;
            // Finished while no frame came to notice it.
            done = std::move(m_recorder);
        }
    }
    done.reset();
    if (!g_links.newRecorder) {
        qWarning() << "network camera: no recorder connected";
        return false;
    }
    // The recorder learns the rate the camera sends now, as the SDK states it.
    NetRecordSettings withRate = settings;
    withRate.cameraFps = sdkFrameRate();
    std::unique_ptr<NetCameraRecorder> recorder(g_links.newRecorder());
    if (!recorder || !recorder->startRecord(path, withRate))
        return false;
    m_recordPath = path;
    std::lock_guard<std::mutex> lock(m_ringMutex);
    m_recordInput = QSize(settings.inputWidth, settings.inputHeight);
    m_recorder = std::move(recorder);
    return true;
}

void NetCamera::stopRecord() {
    std::lock_guard<std::mutex> lock(m_ringMutex);
    if (m_recorder)
        m_recorder->stopRecord();
}
