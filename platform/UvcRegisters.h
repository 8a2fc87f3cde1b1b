#pragma once

// Register numbers of the USB cameras' vendor channel (capture property 11:
// register * 256 + value), shared by the camera drivers and the simulated
// cameras that answer them.
namespace UvcReg {
enum : int {
    Gain = 0x00,
    Target = 0x01, // auto-exposure target brightness
    Saturation = 0x02,
    Sharpness = 0x03,
    Hdr = 0x04,
    Contrast = 0x05,
    Mono = 0x06,   // black and white
    Mirror = 0x07, // bit 0 horizontal, bit 1 vertical
    Awb = 0x08,    // command 0x0801: one-shot white balance
    AutoExposure = 0x09,
    ExposureType = 0x0A, // 0 short, else long
    CameraMode = 0x0B,
    Purple = 0x0C,       // purple-fringe removal
    FocusArea = 0x14,
    FocusMode = 0x15,
    Zoom = 0x16,
    LensStepUp = 0x17, // command 0x1701; read: the second digital-zoom value
    LensStepDown = 0x18,
    ZoomBig = 0x19,
    ZoomSmall = 0x1A,
    Heat = 0x1B, // command 0x1B01 switches; read: the state
    Reg1C = 0x1C,
    Reg1D = 0x1D,
    VideoOut = 0x1E,
    Reset = 0xF9, // command 0xF901: factory settings
    FwA = 0xFA,
    FwB = 0xFB,
    Firmware = 0xFC, // the firmware number that gates features
    FwD = 0xFD,
    Ident = 0xFE, // identification byte: 100 (101 on some)
};
}
