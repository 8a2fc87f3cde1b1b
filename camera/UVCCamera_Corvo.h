#pragma once

#include "camera/UVCCamera_Sorrin.h"

// USB model of device code 3: the operations of UVCCamera_Sorrin with its own
// name and the full parameter panel, plus the registers of its laser
// magnification chain (0D-17) that the laser control panel drives.
class UVCCamera_Corvo : public UVCCamera_Sorrin {
    Q_OBJECT
public:
    explicit UVCCamera_Corvo(QObject* parent = nullptr);
    QString className() const override { return "UVCCamera_Corvo"; }
    bool isCompactPanel() const override { return false; }

    // Register writes, no wait.
    void setReg0D(int value);
    void setReg0E(int value);
    void setReg10(int value);
    void setReg17(int value);
    // A stage magnification "a.b": kept as the stage's text, a and b (0 when
    // missing) written to the stage's two registers, 1 ms after each write.
    void setBeiLv1(const QString& text);
    void setBeiLv2(const QString& text);
    void setBeiLv3(const QString& text);
    // Registers 15 and 16 as "%1.%2"; also becomes the third stage text.
    QString readBeiLv3();
    // Register reads, 1 ms after each.
    int readReg0E();
    int readReg0F();

    QString beiLvText1, beiLvText2, beiLvText3;

private:
    void writeStage(int firstReg, const QString& text);
    int readAndWait(int reg);
};
