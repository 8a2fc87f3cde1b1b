#pragma once

#include "camera/NetCamera.h"
#include "camera/NetCameraRecorder.h"
#include "platform/NetSdkSim.h"
#include "tests/support/ModalCatcher.h"
#include "tests/support/NetSimInstall.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Tools for the network camera tests: a fresh simulator per test, a catcher
// for the driver's modal "Error" boxes, and a recorder that only counts.
namespace NetCameraTestKit {

using ::installSim;
// Broadcast and create camera `index` of the name list (asserting nothing).
NetCamera* openCamera(const QString& config, int index = 0, NetSdkSim** sim = nullptr);
// Calls made since the last clear that start with prefix.
QStringList calls(NetSdkSim* sim, const QString& prefix);

} // namespace NetCameraTestKit

// Answers every message box that opens while it lives, keeping its title and text.
using MessageBoxCatcher = ModalCatcher;

class CountingRecorder : public NetCameraRecorder {
public:
    static std::atomic<int> deleted;
    ~CountingRecorder() override;
    bool startRecord(const QString& path, const NetRecordSettings& settings) override;
    int state() const override { return m_state; }
    void pushFrame(const uint8_t* data, int bytes) override;
    void stopRecord() override { m_state = -1; }

    QString path;
    NetRecordSettings settings;
    std::atomic<int> frames{0};
    std::atomic<bool> wrongSize{false};
    std::atomic<bool> onCallerThread{false};
    std::thread::id guiThread = std::this_thread::get_id();

private:
    std::atomic<int> m_state{-100};
};
