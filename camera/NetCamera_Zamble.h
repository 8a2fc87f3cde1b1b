#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 1.
class NetCamera_Zamble : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Zamble(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Zamble"; }
};
