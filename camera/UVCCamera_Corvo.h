#pragma once

#include "camera/UVCCamera_Sorrin.h"

// USB model of device code 3: the operations of UVCCamera_Sorrin with its own
// name and the full parameter panel.
class UVCCamera_Corvo : public UVCCamera_Sorrin {
    Q_OBJECT
public:
    explicit UVCCamera_Corvo(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Corvo"; }
    bool isCompactPanel() const override { return false; }
};
