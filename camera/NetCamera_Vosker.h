#pragma once

#include "camera/NetCamera.h"

// The network camera model of broadcast type 6.
class NetCamera_Vosker : public NetCamera {
    Q_OBJECT
public:
    explicit NetCamera_Vosker(QObject* parent = nullptr);
    QString className() const override { return "NetCamera_Vosker"; }
    // This model has 3D noise reduction and its own parameter record.
    void set3DNR(int on) override;
    void syncParams() override;
};
