#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 2.
class NetCamera_Moravel : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Moravel(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Moravel"; }
};
