#include "camera/UVCCamera_Ambrel.h"

#include "platform/SleepClock.h"
#include "platform/UvcRegisters.h"


UVCCamera_Ambrel::UVCCamera_Ambrel(QObject* parent)
    : UVCRegisterCamera({QSize(3840, 2160), true, QSize()}, parent) {
    setRanges({{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 254}, {0, 254}});
    setSwitches({1, 1, 1, 0, 0, 1, 1});
}

bool UVCCamera_Ambrel::supportFastMode() const {
    if (m_channel.read(UvcReg::VideoOut) == 1)
        return false;
    return m_channel.read(UvcReg::VideoOut) != 3;
}

bool UVCCamera_Ambrel::open(int index, int pixelFormat) {
    if (!openCapture(index))
        return false;
    selectFormat(pixelFormat);
    return true;
}

bool UVCCamera_Ambrel::probe() {
    const int ident = probeCommon();
    m_focusArea = m_channel.read(UvcReg::FocusArea);
    m_focusMode = m_channel.read(UvcReg::FocusMode);
    m_heat = m_channel.read(UvcReg::Heat);
    return ident == 100;
}

QStringList UVCCamera_Ambrel::videoOutModes() const {
    QStringList modes{"HDMI(4K)", "HDMI(2K)+UVC(1080p60fps)", "UVC(4K30fps)"};
    if (m_firmware >= 7)
        modes << "HDMI(4K)+UVC(1080p20fps)";
    return modes;
}

int UVCCamera_Ambrel::lensRead(int reg) {
    SleepClock::sleepMs(1);
    return m_channel.read(reg);
}

int UVCCamera_Ambrel::readVideoOutMode() { return lensRead(UvcReg::VideoOut); }
void UVCCamera_Ambrel::setVideoOutMode(int index) { m_channel.write(UvcReg::VideoOut, index); }

void UVCCamera_Ambrel::applyVideoOutMode(int mode) {
    const bool small = mode == 1 || mode == 3;
    applyCaptureSize(small ? QSize(1920, 1080) : QSize(3840, 2160), small ? 1 : 0);
    selectFormat(m_pixelFormat);
}

void UVCCamera_Ambrel::setFocusArea(int v) { m_channel.write(UvcReg::FocusArea, v); }
void UVCCamera_Ambrel::setFocusMode(int v) { m_channel.write(UvcReg::FocusMode, v); }
void UVCCamera_Ambrel::setDigitalZoom(int v) { m_channel.write(UvcReg::Zoom, v); }
void UVCCamera_Ambrel::setReg1C(int v) { m_channel.write(UvcReg::Reg1C, v); }
void UVCCamera_Ambrel::setReg1D(int v) { m_channel.write(UvcReg::Reg1D, v); }
void UVCCamera_Ambrel::lensStepAdd() { m_channel.command(0x1701); }
void UVCCamera_Ambrel::lensStepSub() { m_channel.command(0x1801); }
void UVCCamera_Ambrel::zoomBigStart() { m_channel.command(0x1901); }
void UVCCamera_Ambrel::zoomBigStop() { m_channel.command(0x1900); }
void UVCCamera_Ambrel::zoomSmallStart() { m_channel.command(0x1A01); }
void UVCCamera_Ambrel::zoomSmallStop() { m_channel.command(0x1A00); }
void UVCCamera_Ambrel::switchHeat() { m_channel.command(0x1B01); }

void UVCCamera_Ambrel::readFocusState() {
    m_focusArea = lensRead(UvcReg::FocusArea);
    m_focusMode = lensRead(UvcReg::FocusMode);
}

void UVCCamera_Ambrel::readDigitalZoom() {
    m_zoom = lensRead(UvcReg::Zoom);
    m_zoom2 = lensRead(UvcReg::LensStepUp);
}

int UVCCamera_Ambrel::readHeatState() { return m_heat = lensRead(UvcReg::Heat); }
int UVCCamera_Ambrel::readReg1C() { return lensRead(UvcReg::Reg1C); }
int UVCCamera_Ambrel::readReg1D() { return lensRead(UvcReg::Reg1D); }

void UVCCamera_Ambrel::setAFWindow3(int x) { m_channel.writeSelector(3, toWire(x)); }
void UVCCamera_Ambrel::setAFWindow4(int y) { m_channel.writeSelector(4, toWire(y)); }
void UVCCamera_Ambrel::setAFWindow5(int width) { m_channel.writeSelector(5, toWire(width)); }
void UVCCamera_Ambrel::setAFWindow6(int height) { m_channel.writeSelector(6, toWire(height)); }

QRect UVCCamera_Ambrel::readAFWindow() {
    const int x = fromWire(m_channel.readSelector(3));
    const int y = fromWire(m_channel.readSelector(4));
    const int w = fromWire(m_channel.readSelector(5));
    const int h = fromWire(m_channel.readSelector(6));
    m_af = QRect(x, y, w, h);
    return m_af;
}

bool UVCCamera_Ambrel::prepareRecordSettings() {
    // Every frame in output mode 3 (20 frames a second over UVC), else every third.
    const int keep = m_channel.read(UvcReg::VideoOut) == 3 ? 1 : 3;
    return fillRecordSettings(keep, keep, 0, 20, QSize(1920, 1080));
}
