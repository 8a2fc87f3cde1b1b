#pragma once

#include <QString>

class CaptureDevice;

// The vendor register channel of the USB microscope cameras, riding on three
// standard capture properties: 8-bit registers on 11 (contrast), 12-bit
// selectors on 32 (backlight compensation), the exposure value on 12
// (saturation). A read is a request (value 0xFF / 0xFFF) answered by the get
// 1 ms later; the answer's low 8 / 12 bits are the value, -1 when the camera
// gave none (the capture layer could not reach it, as while its stream
// starts), never the request itself. Values are clamped
// before they go on the wire, so they never spill into the register number
// and never turn into a read request. GUI thread; the sleeps go through
// SleepClock.
class UvcRegisterChannel {
public:
    static constexpr int RegisterProperty = 11;
    static constexpr int ExposureProperty = 12;
    static constexpr int SelectorProperty = 32;
    static constexpr int MaxRegisterValue = 254;  // 255 is the read request
    static constexpr int MaxSelectorValue = 4094; // 4095 is the read request

    explicit UvcRegisterChannel(CaptureDevice* capture = nullptr) : m_capture(capture) {}
    void setCapture(CaptureDevice* capture) { m_capture = capture; }

    // The words on the wire (pure).
    static int registerWord(int reg, int value);
    static int selectorWord(int selector, int value);

    void write(int reg, int value) const;
    // A fixed command word (0x0801, 0xF901, ...), sent as it is.
    void command(int word) const;
    int read(int reg) const;
    void writeSelector(int selector, int value) const;
    int readSelector(int selector) const;
    void writeExposure(int value) const;
    // The exposure value, read with no sleep (after the type register's read).
    int readExposure() const;

    // Register FC, the firmware number that gates features; 255 and no
    // answer count as 0.
    int readFirmware() const;
    // "V%1.%2.%3.%4" of registers FD, FC, FB, FA (read FA, FB, FC, FD).
    QString firmwareVersion() const;

private:
    // The request, then the masked answer (-1: none).
    int answer(int property, int request, int mask) const;
    CaptureDevice* m_capture;
};
