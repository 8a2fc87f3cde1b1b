#include "platform/NetSdk.h"

#include "platform/NetSdkSim.h"

#include <QStringList>

#include <atomic>
#include <mutex>

namespace {
std::mutex g_installMutex;
std::atomic<NetSdk*> g_sdk{nullptr};
} // namespace

NetSdk* NetSdk::instance() {
    NetSdk* sdk = g_sdk.load(std::memory_order_acquire);
    if (sdk)
        return sdk;
    std::lock_guard<std::mutex> lock(g_installMutex);
    sdk = g_sdk.load(std::memory_order_acquire);
    if (!sdk) {
        sdk = NetSdkSim::fromEnvironment().release();
        g_sdk.store(sdk, std::memory_order_release);
    }
    return sdk;
}

void NetSdk::install(std::unique_ptr<NetSdk> sdk) {
    NetSdk* old;
    {
        std::lock_guard<std::mutex> lock(g_installMutex);
        old = g_sdk.exchange(sdk.release(), std::memory_order_acq_rel);
    }
    // Outside the lock: the old backend's destructor waits for its frame
    // callbacks, which may be calling WF_* (and so instance()) right now.
    delete old;
}

const char* NetSdk::settingName(Setting setting) {
    static const char* const names[] = {
        "WF_SetExposure", "WF_SetBestAe",    "WF_SetGain_A", "WF_SetGainR",    "WF_SetGainG", "WF_SetGainB",
        "WF_SetSaturation", "WF_SetContrast", "WF_SetSharpness", "WF_SetHDR",   "WF_SetHFlip", "WF_SetVFlip",
        "WF_SetBWMode",   "WF_SetTemperature", "WF_Set3DNR", "WF_SetDoAE",     "WF_SetDoAWB",
    };
    const int i = int(setting);
    return i >= 0 && i < int(sizeof(names) / sizeof(names[0])) ? names[i] : "WF_Set?";
}

QString NetSdk::addressText(uint32_t ip) {
    return QString("%1.%2.%3.%4").arg(ip & 0xff).arg((ip >> 8) & 0xff).arg((ip >> 16) & 0xff).arg(ip >> 24);
}

bool NetSdk::addressValue(const QString& text, uint32_t* ip) {
    const QStringList parts = text.split('.');
    if (parts.size() != 4)
        return false;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int octet = parts[i].toInt(&ok);
        if (!ok || octet < 0 || octet > 255)
            return false;
        value |= uint32_t(octet) << (8 * i);
    }
    if (ip)
        *ip = value;
    return true;
}
