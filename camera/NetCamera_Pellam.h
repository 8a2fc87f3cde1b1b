#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 7.
class NetCamera_Pellam : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Pellam(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Pellam"; }
};
