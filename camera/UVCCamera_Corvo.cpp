#include "camera/UVCCamera_Corvo.h"

#include "platform/SleepClock.h"

#include <QStringList>

UVCCamera_Corvo::UVCCamera_Corvo(QObject* parent) : UVCCamera_Sorrin(parent) {
    controls[CtlBlackWhite] = {1, 0}; // Corvo has black and white, Sorrin not
}

void UVCCamera_Corvo::setReg0D(int value) { m_channel.write(0x0D, value); }
void UVCCamera_Corvo::setReg0E(int value) { m_channel.write(0x0E, value); }
void UVCCamera_Corvo::setReg10(int value) { m_channel.write(0x10, value); }
void UVCCamera_Corvo::setReg17(int value) { m_channel.write(0x17, value); }

void UVCCamera_Corvo::writeStage(int firstReg, const QString& text) {
    const QStringList parts = text.split('.');
    m_channel.write(firstReg, parts.value(0).toInt());
    SleepClock::sleepMs(1);
    m_channel.write(firstReg + 1, parts.value(1).toInt());
    SleepClock::sleepMs(1);
}

void UVCCamera_Corvo::setBeiLv1(const QString& text) {
    beiLvText1 = text;
    writeStage(0x11, text);
}

void UVCCamera_Corvo::setBeiLv2(const QString& text) {
    beiLvText2 = text;
    writeStage(0x13, text);
}

void UVCCamera_Corvo::setBeiLv3(const QString& text) {
    beiLvText3 = text;
    writeStage(0x15, text);
}

int UVCCamera_Corvo::readAndWait(int reg) {
    const int value = m_channel.read(reg);
    SleepClock::sleepMs(1);
    return value;
}

QString UVCCamera_Corvo::readBeiLv3() {
    const int a = readAndWait(0x15);
    const int b = readAndWait(0x16);
    beiLvText3 = QString("%1.%2").arg(a).arg(b);
    return beiLvText3;
}

int UVCCamera_Corvo::readReg0E() { return readAndWait(0x0E); }
int UVCCamera_Corvo::readReg0F() { return readAndWait(0x0F); }
