#pragma once

#include "camera/UVCRegisterCamera.h"

// USB model of device code 5: 4K with fast mode, MJPG, mirror bits inverted
// (the user's "on" clears the bit). Its probe is the common one, also used
// for the large-frame models.
class UVCCamera_Tirsa : public UVCRegisterCamera {
    Q_OBJECT
public:
    explicit UVCCamera_Tirsa(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Tirsa"; }
    bool supportFastMode() const override { return true; }
    bool supportComposite() const override { return true; }

protected:
    bool mirrorInverted() const override { return true; }
};
