#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 0.
class NetCamera_Halder : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Halder(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Halder"; }
};
