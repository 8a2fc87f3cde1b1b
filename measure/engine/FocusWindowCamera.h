#pragma once

#include <QRect>

// What the overlay needs of a camera with a settable focus window (the
// Ambrel model): a camera class offering it inherits this as well as
// BaseCamera, and the overlay finds it with dynamic_cast. Rectangles are in
// image pixels (top-down). GUI thread only.
class FocusWindowCamera {
public:
    virtual ~FocusWindowCamera() = default;
    // 1: focus by window.
    virtual int focusMode() const = 0;
    // The window is shown over the picture.
    virtual bool isFocusWindowShown() const = 0;
    // Clicks set a 64-px window instead of a 128-px one.
    virtual bool isSmallFocusWindow() const = 0;
    virtual QRect focusWindow() const = 0;
    virtual void setFocusWindow(const QRect& window) = 0;
    // Reads the window back from the device.
    virtual void readFocusWindow() = 0;
};
