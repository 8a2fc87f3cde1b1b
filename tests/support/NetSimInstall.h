#pragma once

#include <QString>

class NetSdkSim;

// Installs a network-camera SDK simulator with these cameras (SEVRIN_SIM_NET
// syntax); the SDK layer owns it until the next install.
NetSdkSim* installSim(const QString& config);
