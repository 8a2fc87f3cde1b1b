#include "platform/NetSdkSim.h"

#include "platform/NetSdkSimFrames.h"

#include <QBuffer>
#include <QDebug>
#include <QImage>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr int logLimit = 2000;

bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A name in dir that no file has yet: name, then name_1, name_2 ... before the suffix.
QString freePath(const QString& dir, const QString& name) {
    const QFileInfo info(name);
    const QString base = info.completeBaseName(), suffix = info.suffix();
    QString candidate = QDir(dir).filePath(name);
    for (int i = 1; QFileInfo::exists(candidate); ++i)
        candidate = QDir(dir).filePath(QString("%1_%2.%3").arg(base).arg(i).arg(suffix));
    return candidate;
}

} // namespace

// ---------------------------------------------------------------- set-up

QList<NetSdkSim::CameraSpec> NetSdkSim::parseConfig(const QString& text, QStringList* errors) {
    QList<CameraSpec> cameras;
    const QStringList entries = text.split(',', Qt::SkipEmptyParts);
    for (QString entry : entries) {
        entry = entry.trimmed();
        if (entry.isEmpty())
            continue;
        QStringList fields = entry.split(':');
        const QString head = fields.takeFirst();
        const int at = head.indexOf('@');
        CameraSpec spec;
        bool ok = at > 0;
        if (ok)
            spec.type = head.left(at).trimmed().toInt(&ok);
        if (ok)
            ok = addressValue(head.mid(at + 1).trimmed(), &spec.ip);
        for (const QString& option : fields) {
            const QString o = option.trimmed();
            if (ok && o.startsWith("fps=")) {
                spec.fps = o.mid(4).toInt(&ok);
                ok = ok && spec.fps >= 1 && spec.fps <= 1000;
            } else {
                ok = false;
            }
        }
        if (!ok) {
            if (errors)
                errors->append(QString("SEVRIN_SIM_NET: entry \"%1\" is not TYPE@IPV4[:fps=N]; skipped").arg(entry));
            continue;
        }
        cameras.append(spec);
    }
    return cameras;
}

std::unique_ptr<NetSdkSim> NetSdkSim::fromEnvironment() {
    QStringList errors;
    auto sim = std::make_unique<NetSdkSim>(parseConfig(qEnvironmentVariable("SEVRIN_SIM_NET"), &errors));
    for (const QString& e : errors)
        qWarning().noquote() << e;
    const QStringList failures = qEnvironmentVariable("SEVRIN_SIM_NET_FAIL").split(',', Qt::SkipEmptyParts);
    for (const QString& f : failures) {
        const QString token = f.trimmed().toLower();
        if (token == "initres")
            sim->setFailInitRes(true);
        else if (token == "initcamera")
            sim->setFailInitCamera(true);
        else if (token == "card")
            sim->setFailCard(true);
        else
            qWarning().noquote() << "SEVRIN_SIM_NET_FAIL: unknown switch" << token;
    }
    return sim;
}

QSize NetSdkSim::frameSizeFor(int type, int resolutionIndex) {
    if (type == 8)
        return resolutionIndex == 0 ? QSize(3840, 2160) : QSize(1920, 1080);
    if (type >= 0 && type < 8 && resolutionIndex == 2)
        return QSize(3840, 2160);
    return QSize(1920, 1080);
}

bool NetSdkSim::validResolution(int type, int resolutionIndex) {
    if (type == 8)
        return resolutionIndex == 0 || resolutionIndex == 1;
    if (type >= 0 && type < 8)
        return resolutionIndex >= 0 && resolutionIndex <= 2;
    return resolutionIndex == 0;
}

int NetSdkSim::modelFps(int type, int resolutionIndex) {
    // "1080P20FPS", the second entry of the rate choice the models with one
    // offer (full-HD models 0 and 7, 4K model 8), sends 20 frames a second.
    const bool rateChoice = type == 0 || type == 7 || type == 8;
    return rateChoice && resolutionIndex == 1 ? 20 : 10;
}

std::array<int, NetSdkSim::ParamCount> NetSdkSim::defaults(int type) {
    std::array<int, ParamCount> p{};
    const bool smallRanges = type >= 3 && type <= 6; // saturation and HDR 0..16
    p[PExposure] = temperatureIsBlackWhite(type) ? 3000 : 100;
    p[PTarget] = 100;
    p[PGain] = 10;
    p[PGainR] = p[PGainG] = p[PGainB] = 256;
    p[PSaturation] = smallRanges ? 8 : 128;
    p[PContrast] = 50;
    p[PSharpness] = type == 7 ? 15 : 50;
    return p;
}

NetSdkSim::NetSdkSim(QList<CameraSpec> cameras) : m_cameras(std::move(cameras)) {
    for (auto& s : m_sessions)
        s = std::make_unique<Session>();
}

NetSdkSim::~NetSdkSim() {
    std::lock_guard<std::mutex> live(m_liveMutex);
    for (int n = 0; n < maxSessions; ++n)
        stopLive(n);
}

void NetSdkSim::setFailInitRes(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failInitRes = fail;
}

void NetSdkSim::setFailInitCamera(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failInitCamera = fail;
}

void NetSdkSim::setFailCard(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failCard = fail;
}

// ---------------------------------------------------------------- observation

QStringList NetSdkSim::callLog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

void NetSdkSim::clearCallLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

bool NetSdkSim::initialised() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_initialised;
}

bool NetSdkSim::isLive(int n) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return n >= 0 && n < maxSessions && m_sessions[n]->live;
}

uint32_t NetSdkSim::framesDelivered(int n) const {
    return n >= 0 && n < maxSessions ? m_sessions[n]->delivered.load() : 0;
}

bool NetSdkSim::waitFrames(int n, uint32_t count, int timeoutMs) const {
    if (n < 0 || n >= maxSessions)
        return false;
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_framesCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_sessions[n]->delivered.load() >= count; });
}

QStringList NetSdkSim::cardFiles(int n) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList names;
    if (n >= 0 && n < maxSessions)
        for (const CardPicture& p : m_sessions[n]->card)
            names.append(p.name);
    return names;
}

QStringList NetSdkSim::receivedFiles(int n) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return n >= 0 && n < maxSessions ? m_sessions[n]->received : QStringList();
}

void NetSdkSim::pressShutter(int n) {
    if (!connectedLocked(n))
        return;
    const QByteArray jpeg = encodeCurrent(n, ".jpg");
    std::lock_guard<std::mutex> lock(m_mutex);
    Session& s = *m_sessions[n];
    s.card.append({QString("IMG_%1.jpg").arg(++s.shutterCount, 4, 10, QChar('0')), jpeg, false});
    if (s.receiving)
        deliverLocked(s);
}

// ---------------------------------------------------------------- helpers

NetSdkSim::Session* NetSdkSim::session(int n) { return n >= 0 && n < maxSessions ? m_sessions[n].get() : nullptr; }

bool NetSdkSim::connectedLocked(int n) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return n >= 0 && n < maxSessions && m_sessions[n]->connected;
}

void NetSdkSim::log(const QString& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.append(call);
    if (m_log.size() > logLimit)
        m_log.removeFirst();
}

// The caller holds m_liveMutex and is not the frame thread of n.
void NetSdkSim::stopLive(int n) {
    Session& s = *m_sessions[n];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        s.stop = true;
        s.live = false;
    }
    s.wake.notify_all();
    if (s.thread.joinable())
        s.thread.join();
    // A joined thread's id may be handed to a new thread.
    std::lock_guard<std::mutex> lock(m_mutex);
    s.threadId = std::thread::id();
}

void NetSdkSim::frameLoop(int n) {
    Session& s = *m_sessions[n];
    std::vector<uint8_t> buffer;
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        QSize size;
        NetSdkSimFrames::Look look;
        uint32_t serial;
        int fps;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (s.stop)
                break;
            size = frameSizeFor(s.spec.type, s.resolution);
            look.mirror = s.params[PMirror] != 0;
            look.flip = s.params[PFlip] != 0;
            look.mono = s.params[PBlackWhite] != 0;
            serial = ++s.serial;
            fps = s.spec.fps ? s.spec.fps : modelFps(s.spec.type, s.resolution);
        }
        const int bytes = size.width() * size.height() * 3;
        buffer.resize(size_t(bytes));
        NetSdkSimFrames::render(buffer.data(), size.width(), size.height(), look, serial);
        bool called = false;
        {
            std::lock_guard<std::mutex> running(s.callbackMutex);
            WF_FrameCallBack callback;
            void* user;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (s.stop)
                    break;
                callback = s.callback;
                user = s.user;
            }
            if (callback) {
                const WF_FrameInfo info{size.width(), size.height(), bytes, serial};
                callback(buffer.data(), &info, user);
                called = true;
            }
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        if (called)
            s.delivered.fetch_add(1);
        m_framesCv.notify_all();
        next += std::chrono::microseconds(1000000 / fps);
        const auto now = std::chrono::steady_clock::now();
        if (next < now)
            next = now;
        s.wake.wait_until(lock, next, [&] { return s.stop; });
    }
}

QByteArray NetSdkSim::encodeCurrent(int n, const char* ext) {
    QSize size;
    NetSdkSimFrames::Look look;
    uint32_t serial;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Session& s = *m_sessions[n];
        size = frameSizeFor(s.spec.type, s.resolution);
        look.mirror = s.params[PMirror] != 0;
        look.flip = s.params[PFlip] != 0;
        look.mono = s.params[PBlackWhite] != 0;
        serial = s.serial;
    }
    QImage frame(size, QImage::Format_BGR888);
    const int rowBytes = size.width() * 3;
    if (frame.bytesPerLine() == rowBytes) {
        NetSdkSimFrames::render(frame.bits(), size.width(), size.height(), look, serial);
    } else {
        std::vector<uint8_t> packed(size_t(rowBytes) * size.height());
        NetSdkSimFrames::render(packed.data(), size.width(), size.height(), look, serial);
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(frame.scanLine(y), packed.data() + size_t(y) * rowBytes, size_t(rowBytes));
    }
    const std::string type(ext);
    if (type == ".tiff") {
        // Qt has no TIFF writer here.
        const cv::Mat view(size.height(), size.width(), CV_8UC3, frame.bits(), size_t(frame.bytesPerLine()));
        std::vector<uchar> encoded;
        if (!cv::imencode(ext, view, encoded))
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(encoded.data()), int(encoded.size()));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!frame.save(&buffer, type.c_str() + 1, type == ".jpg" ? 95 : -1))
        return QByteArray();
    return bytes;
}

void NetSdkSim::deliverLocked(Session& s) {
    for (CardPicture& p : s.card) {
        if (p.delivered)
            continue;
        const QString target = freePath(s.receiveDir, p.name);
        if (writeFileAtomically(target, p.jpeg)) {
            p.delivered = true;
            s.received.append(target);
        } else {
            qWarning().noquote() << "simulated network camera: cannot write" << target;
        }
    }
}

// ---------------------------------------------------------------- NetSdk

int NetSdkSim::broadcast() {
    log("WF_BroadcastCamera()");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_found = m_cameras;
    return 0;
}

int NetSdkSim::broadcastResult(int* count, uint32_t* ips) {
    log("WF_BroadcastResult()");
    if (!count || (*count > 0 && !ips))
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int n = std::min(std::max(*count, 0), int(m_found.size()));
    for (int i = 0; i < n; ++i)
        ips[i] = m_found[i].ip;
    *count = n;
    return 0;
}

int NetSdkSim::broadcastResultType(int index, int* type) {
    log(QString("WF_BroadcastResultType(%1)").arg(index));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!type || index < 0 || index >= m_found.size())
        return -1;
    *type = m_found[index].type;
    return 0;
}

int NetSdkSim::initRes(int cameras, int buffers) {
    log(QString("WF_InitRes(%1,%2)").arg(cameras).arg(buffers));
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failInitRes || cameras < 1 || buffers < 1)
        return -1;
    m_initialised = true;
    return 0;
}

int NetSdkSim::uninitRes() {
    log("WF_UnInitRes()");
    for (auto& s : m_sessions) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (s->threadId == std::this_thread::get_id())
            return -1; // from inside a frame callback: it would wait for itself
    }
    std::lock_guard<std::mutex> live(m_liveMutex);
    for (int n = 0; n < maxSessions; ++n)
        stopLive(n);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& s : m_sessions) {
        s->connected = false;
        s->callback = nullptr;
        s->user = nullptr;
        s->receiving = false;
    }
    m_initialised = false;
    return 0;
}

int NetSdkSim::initCamera(int n, int index, uint32_t ip, int port) {
    log(QString("WF_InitCameraSingle(%1,%2,%3,%4)").arg(n).arg(index).arg(addressText(ip)).arg(port));
    Session* s = session(n);
    if (!s)
        return -1;
    std::lock_guard<std::mutex> live(m_liveMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_initialised)
            return -2;
        if (m_failInitCamera)
            return -3;
        if (index < 0 || index >= m_found.size() || m_found[index].ip != ip)
            return -4;
        if (port != WF_CAMERA_PORT)
            return -5;
    }
    stopLive(n);
    std::lock_guard<std::mutex> lock(m_mutex);
    s->connected = true;
    s->spec = m_found[index];
    s->resolution = 0;
    s->params = defaults(s->spec.type);
    s->callback = nullptr;
    s->user = nullptr;
    s->serial = 0;
    s->stop = false;
    s->receiving = false;
    s->receiveDir.clear();
    s->card.clear();
    s->received.clear();
    s->shutterCount = 0;
    s->delivered = 0;
    return 0;
}

int NetSdkSim::setFrameCallback(int n, WF_FrameCallBack callback, void* user) {
    log(QString("WF_SetFrameCallBack(%1,%2)").arg(n).arg(callback ? "callback" : "null"));
    Session* s = session(n);
    if (!s || !connectedLocked(n))
        return -1;
    bool onFrameThread;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        onFrameThread = s->threadId == std::this_thread::get_id();
    }
    // Waiting for a running callback makes "no old callback after return" hold.
    std::unique_lock<std::mutex> running(s->callbackMutex, std::defer_lock);
    if (!onFrameThread)
        running.lock();
    std::lock_guard<std::mutex> lock(m_mutex);
    s->callback = callback;
    s->user = user;
    return 0;
}

int NetSdkSim::setResolution(int n, int index) {
    log(QString("WF_SetResolution(%1,%2)").arg(n).arg(index));
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected || !validResolution(s->spec.type, index))
        return -1;
    s->resolution = index;
    return 0;
}

int NetSdkSim::liveStart(int n) {
    log(QString("WF_LiveStart(%1)").arg(n));
    Session* s = session(n);
    if (!s)
        return -1;
    std::lock_guard<std::mutex> live(m_liveMutex);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!s->connected)
        return -1;
    if (s->live)
        return 0;
    if (s->thread.joinable()) {
        // Stopped from inside its own callback earlier; it has ended or is ending.
        lock.unlock();
        s->thread.join();
        lock.lock();
    }
    s->stop = false;
    s->live = true;
    // Started under m_mutex: the thread's first step waits for it, so its id
    // is stored before it can run a callback.
    s->thread = std::thread(&NetSdkSim::frameLoop, this, n);
    s->threadId = s->thread.get_id();
    return 0;
}

int NetSdkSim::liveStop(int n) {
    log(QString("WF_LiveStop(%1)").arg(n));
    Session* s = session(n);
    if (!s)
        return -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!s->connected)
            return -1;
        if (s->threadId == std::this_thread::get_id()) {
            // Inside a callback: the thread ends when the callback returns.
            s->stop = true;
            s->live = false;
            return 0;
        }
    }
    std::lock_guard<std::mutex> live(m_liveMutex);
    stopLive(n);
    return 0;
}

int NetSdkSim::frameRate(int n, float* fps) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected || !fps)
        return -1;
    *fps = s->live ? float(s->spec.fps ? s->spec.fps : modelFps(s->spec.type, s->resolution)) : 0.0f;
    return 0;
}

int NetSdkSim::set(int n, Setting setting, int value) {
    log(QString("%1(%2,%3)").arg(settingName(setting)).arg(n).arg(value));
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected)
        return -1;
    auto& p = s->params;
    const bool groupB = temperatureIsBlackWhite(s->spec.type);
    switch (setting) {
    case SetExposure: p[PExposure] = value; break;
    case SetBestAe: p[PTarget] = value; break;
    case SetGainA: p[PGain] = value; break;
    case SetGainR: p[PGainR] = value; break;
    case SetGainG: p[PGainG] = value; break;
    case SetGainB: p[PGainB] = value; break;
    case SetSaturation: p[PSaturation] = value; break;
    case SetContrast: p[PContrast] = value; break;
    case SetSharpness: p[PSharpness] = value; break;
    case SetHDR: p[PHDR] = value; break;
    case SetHFlip: p[PMirror] = value; break;
    case SetVFlip: p[PFlip] = value; break;
    case SetBWMode: p[groupB ? PExposureType : PBlackWhite] = value; break;
    case SetTemperature: p[groupB ? PBlackWhite : PTemperature] = value; break;
    case Set3DNR: p[P3DNR] = value; break;
    case SetDoAE: p[PAutoExposure] = value; break;
    case SetDoAWB:
        if (value) {
            // The white balance a grey card under the simulated light asks for.
            p[PGainR] = 300;
            p[PGainG] = 256;
            p[PGainB] = 280;
        }
        break;
    default: return -2;
    }
    return 0;
}

int NetSdkSim::getParam(int n, int* idValue) {
    log(QString("WF_GetParam(%1,%2)").arg(n).arg(idValue ? *idValue : -1));
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected || !idValue)
        return -1;
    const auto& p = s->params;
    switch (*idValue) {
    case WF_ParamExposure: *idValue = p[PExposure]; break;
    case WF_ParamGain: *idValue = p[PGain]; break;
    case WF_ParamGainG: *idValue = p[PGainG]; break;
    case WF_ParamGainR: *idValue = p[PGainR]; break;
    case WF_ParamGainB: *idValue = p[PGainB]; break;
    case WF_ParamAETarget: *idValue = p[PTarget]; break;
    default: return -2;
    }
    return 0;
}

int NetSdkSim::getAllParam(int n, int* block) {
    log(QString("WF_GetAllParam(%1)").arg(n));
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected || !block)
        return -1;
    const auto& p = s->params;
    std::fill(block, block + WF_PARAM_BLOCK_INTS, 0);
    block[0] = p[PExposure];
    block[1] = p[PGain];
    block[2] = p[PGainR];
    block[3] = p[PGainB];
    block[4] = p[PContrast];
    block[5] = p[PHDR];
    block[6] = p[PSharpness];
    block[7] = p[PSaturation];
    block[8] = p[PTarget];
    block[9] = p[PMirror];
    block[10] = p[PFlip];
    if (s->spec.type == 6) {
        block[11] = p[PBlackWhite];
        block[12] = p[P3DNR];
    } else {
        block[11] = p[PExposureType];
        block[12] = p[PBlackWhite];
    }
    return 0;
}

int NetSdkSim::frameToImage(int n, const QString& path, int format) {
    log(QString("WF_GetFrameToImage(%1,%2,%3)").arg(n).arg(path).arg(format));
    if (!connectedLocked(n))
        return -1;
    static const char* const exts[] = {".jpg", ".bmp", ".png", ".tiff"};
    if (format < WF_ImageJpg || format > WF_ImageTiff || path.isEmpty())
        return -2;
    const QByteArray bytes = encodeCurrent(n, exts[format - 1]);
    if (bytes.isEmpty() || !writeFileAtomically(path, bytes))
        return -3;
    return 0;
}

int NetSdkSim::frameToCard(int n, const QString& path) {
    log(QString("WF_GetFrameFromCamera(%1,%2)").arg(n).arg(path));
    if (!connectedLocked(n))
        return -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failCard)
            return -4;
    }
    const QByteArray jpeg = encodeCurrent(n, ".jpg");
    QString name = QFileInfo(path).fileName();
    if (name.isEmpty())
        name = "IMG";
    if (!name.endsWith(".jpg", Qt::CaseInsensitive))
        name += ".jpg";
    std::lock_guard<std::mutex> lock(m_mutex);
    Session& s = *m_sessions[n];
    s.card.append({name, jpeg, false});
    if (s.receiving)
        deliverLocked(s);
    return 0;
}

int NetSdkSim::receiveFile(int n, bool on, const QString& directory) {
    log(QString("WF_ReceiveFile(%1,%2,%3)").arg(n).arg(on ? 1 : 0).arg(directory.isNull() ? "null" : directory));
    std::lock_guard<std::mutex> lock(m_mutex);
    Session* s = session(n);
    if (!s || !s->connected)
        return -1;
    if (!on) {
        s->receiving = false;
        return 0;
    }
    const QFileInfo folder(directory);
    if (directory.isEmpty() || !folder.isDir() || !folder.isWritable())
        return -2;
    s->receiving = true;
    s->receiveDir = folder.absoluteFilePath();
    deliverLocked(*s);
    return 0;
}
