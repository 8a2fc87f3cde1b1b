#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 5.
class NetCamera_Krell : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Krell(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Krell"; }
};
