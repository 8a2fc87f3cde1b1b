#pragma once

#include "app/WatchedWindowsFilter.h"

// The window manager's focus for one of the watched top-level windows while a
// modal dialog blocks it: Qt hands such focus straight on to the dialog and
// tells the window nothing, although the window manager may have brought the
// window forward with it (a task switcher does; openbox also stacks a
// focused frameless window that fills the screen above the others).
class BlockedFocusFilter : public WatchedWindowsFilter {
public:
    // onFocus runs (queued on `context`) for each such focus.
    BlockedFocusFilter(QObject* context, std::function<void()> onFocus);

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;
};
