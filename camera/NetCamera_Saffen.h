#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 4.
class NetCamera_Saffen : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Saffen(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Saffen"; }
};
