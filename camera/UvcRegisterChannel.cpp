#include "camera/UvcRegisterChannel.h"

#include "platform/CaptureDevice.h"
#include "platform/SleepClock.h"

#include <algorithm>

int UvcRegisterChannel::registerWord(int reg, int value) {
    return (reg & 0xFF) * 256 + std::clamp(value, 0, MaxRegisterValue);
}

int UvcRegisterChannel::selectorWord(int selector, int value) {
    return (selector & 0xF) * 4096 + std::clamp(value, 0, MaxSelectorValue);
}

void UvcRegisterChannel::write(int reg, int value) const {
    if (m_capture)
        m_capture->set(RegisterProperty, registerWord(reg, value));
}

void UvcRegisterChannel::command(int word) const {
    if (m_capture)
        m_capture->set(RegisterProperty, word & 0xFFFF);
}

int UvcRegisterChannel::read(int reg) const {
    if (!m_capture)
        return 0;
    return answer(RegisterProperty, (reg & 0xFF) * 256 + 0xFF, 0xFF);
}

void UvcRegisterChannel::writeSelector(int selector, int value) const {
    if (m_capture)
        m_capture->set(SelectorProperty, selectorWord(selector, value));
}

int UvcRegisterChannel::readSelector(int selector) const {
    if (!m_capture)
        return 0;
    return answer(SelectorProperty, (selector & 0xF) * 4096 + 0xFFF, 0xFFF);
}

void UvcRegisterChannel::writeExposure(int value) const {
    if (m_capture)
        m_capture->set(ExposureProperty, value);
}

int UvcRegisterChannel::answer(int property, int request, int mask) const {
    if (!m_capture->set(property, request))
        return -1;
    SleepClock::sleepMs(1);
    const double got = m_capture->get(property);
    return got < 0 ? -1 : int(got) & mask;
}

int UvcRegisterChannel::readExposure() const {
    if (!m_capture)
        return 0;
    const double got = m_capture->get(ExposureProperty);
    return got < 0 ? -1 : int(got);
}

int UvcRegisterChannel::readFirmware() const {
    const int fw = read(0xFC);
    return fw == 255 || fw < 0 ? 0 : fw;
}

QString UvcRegisterChannel::firmwareVersion() const {
    const int a = read(0xFA);
    const int b = read(0xFB);
    const int c = read(0xFC);
    const int d = read(0xFD);
    return QString("V%1.%2.%3.%4").arg(d).arg(c).arg(b).arg(a);
}
