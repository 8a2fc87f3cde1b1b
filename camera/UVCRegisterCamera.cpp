#include "camera/UVCRegisterCamera.h"

#include "app/hub/MessagePassing.h"
#include "platform/SleepClock.h"
#include "platform/UvcRegisters.h"

#include <QSlider>

namespace {

constexpr int kAwbCommand = 0x0801;
constexpr int kResetCommand = 0xF901;

} // namespace

UVCRegisterCamera::UVCRegisterCamera(const Sizes& sizes, QObject* parent) : UVCCamera(parent), m_sizes(sizes) {}

void UVCRegisterCamera::setRanges(const QList<QPair<int, int>>& ranges) {
    for (int key = 0; key < ranges.size(); ++key)
        controls[key] = {ranges[key].first, ranges[key].second, 0};
}

void UVCRegisterCamera::setSwitches(const QList<int>& available, int firstKey) {
    for (int i = 0; i < available.size(); ++i)
        controls[firstKey + i] = {available[i], 0};
}

// ---- open and sizes ----

bool UVCRegisterCamera::open(int index, int pixelFormat) {
    if (m_sizes.fastMode)
        return UVCCamera::open(index, pixelFormat); // the size comes from ./OtherSet.ini
    if (!openCapture(index))
        return false;
    selectFormat(pixelFormat);
    applyCaptureSize(m_sizes.full, 0);
    return true;
}

QSize UVCRegisterCamera::frameSize(bool full) const {
    if (m_sizes.fastMode && !full && m_resolutionIndex == 1)
        return QSize(1920, 1080);
    return m_sizes.full;
}

QSize UVCRegisterCamera::previewSize() const {
    if (!m_sizes.fastMode)
        return m_sizes.preview;
    return m_resolutionIndex == 1 ? QSize(800, 500) : QSize(1600, 1000);
}

void UVCRegisterCamera::setResolution(int index) {
    const QSize size = (m_sizes.fastMode && index == 1) ? QSize(1920, 1080) : m_sizes.full;
    m_frameWidth = size.width();
    m_frameHeight = size.height();
    UVCCamera::setResolution(index);
}

// ---- probes ----

int UVCRegisterCamera::probeCommon() {
    const int ident = m_channel.read(UvcReg::Ident);
    readAutoExposure();
    m_firmware = m_channel.readFirmware();
    return ident;
}

bool UVCRegisterCamera::probe() { return probeCommon() == 100; }

// ---- parameter writes ----

void UVCRegisterCamera::doAWB() { m_channel.command(kAwbCommand); }

void UVCRegisterCamera::setAE(bool on) { m_channel.write(UvcReg::AutoExposure, on ? 1 : 0); }

void UVCRegisterCamera::writeMirror() { m_channel.write(UvcReg::Mirror, m_hMirror + 2 * m_vMirror); }

void UVCRegisterCamera::setHFlip(int on) {
    m_hMirror = (on != 0) != mirrorInverted() ? 1 : 0;
    writeMirror();
}

void UVCRegisterCamera::setVFlip(int on) {
    m_vMirror = (on != 0) != mirrorInverted() ? 1 : 0;
    writeMirror();
}

void UVCRegisterCamera::setBWMode(int on) { m_channel.write(UvcReg::Mono, on); }
void UVCRegisterCamera::setRmPurple(int on) { m_channel.write(UvcReg::Purple, on); }
void UVCRegisterCamera::setExposureType(int type) { m_channel.write(UvcReg::ExposureType, type); }

void UVCRegisterCamera::setCameraMode(int mode) {
    if (cameraModeWritable())
        m_channel.write(UvcReg::CameraMode, mode);
}

void UVCRegisterCamera::setParam(int key, int value) {
    switch (key) {
    case CtlTarget:
        m_channel.write(UvcReg::Target, value);
        break;
    case CtlGain:
        m_channel.write(UvcReg::Gain, value);
        break;
    case CtlRedGain:
        m_channel.writeSelector(0, value);
        break;
    case CtlGreenGain:
        m_channel.writeSelector(2, value);
        break;
    case CtlBlueGain:
        m_channel.writeSelector(1, value);
        break;
    case CtlSaturation:
        m_channel.write(UvcReg::Saturation, value);
        break;
    case CtlContrast:
        m_channel.write(UvcReg::Contrast, value);
        break;
    case CtlSharpness:
        m_channel.write(UvcReg::Sharpness, value);
        break;
    case CtlHDR:
        m_channel.write(UvcReg::Hdr, value);
        break;
    default:
        break; // exposure goes through exposureText; other keys have no register
    }
}

bool UVCRegisterCamera::resetParams() {
    m_channel.command(kResetCommand);
    SleepClock::sleepMs(1000);
    return false; // the panel reads the camera again
}

// ---- exposure ----

void UVCRegisterCamera::setExposureRange(QSlider* slider, bool longExposure) {
    if (slider)
        slider->setRange(0, longExposure ? longSliderMax() : shortSliderMax());
}

QString UVCRegisterCamera::exposureText(int s, bool longExposure, bool apply) {
    if (longExposure) {
        if (apply)
            m_channel.writeExposure(int(UvcExposureScale::longRegisterValue(s, longUnitsOf100())));
        return UvcExposureScale::longText(s);
    }
    if (apply)
        m_channel.writeExposure(int(UvcExposureScale::shortMicros(s)));
    return UvcExposureScale::shortText(s);
}

int UVCRegisterCamera::exposureToSlider(int cameraValue, bool longExposure) {
    return longExposure ? UvcExposureScale::longSlider(cameraValue)
                        : UvcExposureScale::shortSlider(cameraValue, shortClamp());
}

int UVCRegisterCamera::readExposureValue(int& type) {
    type = m_channel.read(UvcReg::ExposureType);
    const int value = m_channel.readExposure();
    if (type < 0 || value < 0)
        return -1; // no answer: the unit of the value is unknown
    return (type != 0 && longUnitsOf100()) ? value * 100 : value;
}

void UVCRegisterCamera::readAutoExposure() {
    const int on = m_channel.read(UvcReg::AutoExposure);
    if (on >= 0)
        m_aeOn = on == 1;
}

void UVCRegisterCamera::refreshParams() {
    int type = 0;
    setControlValue(CtlExposure, readExposureValue(type));
    MessagePassing::instance()->syncExposure();
}

// ---- full read ----

void UVCRegisterCamera::readColourGains() {
    setControlValue(CtlRedGain, m_channel.readSelector(0));
    setControlValue(CtlGreenGain, m_channel.readSelector(2));
    setControlValue(CtlBlueGain, m_channel.readSelector(1));
}

void UVCRegisterCamera::readRGBGain() {
    readColourGains();
    MessagePassing::instance()->syncRGBGain();
}

void UVCRegisterCamera::readMirror() {
    const int bits = m_channel.read(UvcReg::Mirror);
    if (bits < 0 || bits > 3)
        return; // not an answer of the mirror register: nothing changes
    m_hMirror = bits & 1;
    m_vMirror = (bits >> 1) & 1;
    const int inv = mirrorInverted() ? 1 : 0;
    setControlValue(CtlMirror, m_hMirror ^ inv);
    setControlValue(CtlFlip, m_vMirror ^ inv);
}

void UVCRegisterCamera::syncModeKeys(int type) {
    Q_UNUSED(type)
    setControlValue(CtlExposureType, m_channel.read(UvcReg::ExposureType));
    setControlValue(CtlCameraMode, m_channel.read(UvcReg::CameraMode));
    setControlValue(CtlPurple, m_channel.read(UvcReg::Purple));
}

void UVCRegisterCamera::syncCore() {
    int type = 0;
    setControlValue(CtlExposure, readExposureValue(type));
    setControlValue(CtlTarget, m_channel.read(UvcReg::Target));
    setControlValue(CtlGain, m_channel.read(UvcReg::Gain));
    setControlValue(CtlSaturation, m_channel.read(UvcReg::Saturation));
    setControlValue(CtlContrast, m_channel.read(UvcReg::Contrast));
    setControlValue(CtlSharpness, m_channel.read(UvcReg::Sharpness));
    setControlValue(CtlHDR, m_channel.read(UvcReg::Hdr));
    readMirror();
    setControlValue(CtlBlackWhite, m_channel.read(UvcReg::Mono));
    setControlValue(Ctl3DNR, 0);
    readAutoExposure();
    syncModeKeys(type);
    readColourGains();
}

void UVCRegisterCamera::syncParams() {
    syncCore();
    MessagePassing::instance()->initImgEffect();
}

// ---- recording ----

bool UVCRegisterCamera::fillRecordSettings(int nv12Keep, int mjpgKeep, int yuyvKeep, int fps, QSize out) {
    UsbRecordSettings s;
    switch (m_pixelFormat) {
    case PixFmtNV12:
        s.inCodec = 13;
        s.inPixelFormat = 23;
        s.keepEvery = nv12Keep;
        break;
    case PixFmtMJPG:
        s.inCodec = 7;
        s.inPixelFormat = 12;
        s.keepEvery = mjpgKeep;
        break;
    case PixFmtYUYV:
        s.inCodec = 13;
        s.inPixelFormat = 1;
        s.keepEvery = yuyvKeep;
        break;
    default:
        return false;
    }
    if (s.keepEvery < 1)
        return false; // not recorded in this format
    s.fps = fps;
    s.outWidth = out.width();
    s.outHeight = out.height();
    setRecordSettings(s);
    return true;
}
