#include "NetCameraTestKit.h"

#include "app/hub/SharedConstants.h"

#include <QApplication>
#include <QMessageBox>

namespace NetCameraTestKit {

NetCamera* openCamera(const QString& config, int index, NetSdkSim** sim) {
    NetSdkSim* s = installSim(config);
    if (sim)
        *sim = s;
    if (!NetCamera::broadcastCameras())
        return nullptr;
    return NetCamera::createCamera(index, nullptr);
}

QStringList calls(NetSdkSim* sim, const QString& prefix) {
    QStringList found;
    for (const QString& call : sim->callLog())
        if (call.startsWith(prefix))
            found.append(call);
    return found;
}

} // namespace NetCameraTestKit

std::atomic<int> CountingRecorder::deleted{0};

CountingRecorder::~CountingRecorder() { deleted++; }

bool CountingRecorder::startRecord(const QString& p, const NetRecordSettings& s) {
    if (m_state != -100)
        return false;
    path = p;
    settings = s;
    m_state = 1;
    return true;
}

void CountingRecorder::pushFrame(const uint8_t* data, int bytes) {
    if (!data || bytes != settings.inputWidth * settings.inputHeight * 3)
        wrongSize = true;
    if (std::this_thread::get_id() == guiThread)
        onCallerThread = true;
    frames++;
}
