#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 3.
class NetCamera_Gormet : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Gormet(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Gormet"; }
};
