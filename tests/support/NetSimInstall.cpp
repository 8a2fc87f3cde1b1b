#include "tests/support/NetSimInstall.h"

#include "platform/NetSdk.h"
#include "platform/NetSdkSim.h"

#include <memory>

NetSdkSim* installSim(const QString& config) {
    auto sim = std::make_unique<NetSdkSim>(NetSdkSim::parseConfig(config));
    NetSdkSim* raw = sim.get();
    NetSdk::install(std::move(sim));
    return raw;
}
