#pragma once

#include "app/WatchedWindowsFilter.h"

// A window manager's close request (WM_DELETE_WINDOW) for the given
// top-level windows, seen while a modal dialog is open: Qt drops close
// requests for windows a modal dialog blocks, so without this the program
// could only be closed by answering the dialog first.
class CloseRequestFilter : public WatchedWindowsFilter {
public:
    // onClose runs (queued on `context`) for each such request.
    CloseRequestFilter(QObject* context, std::function<void()> onClose);

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    quint32 m_protocols = 0;
    quint32 m_delete = 0;
};
