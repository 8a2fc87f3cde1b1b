#include "app/BlockedFocusFilter.h"

#include <QApplication>

#include <xcb/xcb.h>

BlockedFocusFilter::BlockedFocusFilter(QObject* context, std::function<void()> onFocus)
    : WatchedWindowsFilter(context, std::move(onFocus)) {
    if (onXcb())
        install();
}

bool BlockedFocusFilter::nativeEventFilter(const QByteArray& eventType, void* message, long*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_FOCUS_IN)
        return false;
    auto* focus = reinterpret_cast<xcb_focus_in_event_t*>(event);
    // Focus that only passes through (a keyboard grab's start and end, the
    // pointer's window) moves and stacks no window.
    if (focus->mode == XCB_NOTIFY_MODE_GRAB || focus->mode == XCB_NOTIFY_MODE_UNGRAB ||
        focus->detail == XCB_NOTIFY_DETAIL_POINTER || focus->detail == XCB_NOTIFY_DETAIL_POINTER_ROOT ||
        focus->detail == XCB_NOTIFY_DETAIL_NONE)
        return false;
    // Without a modal dialog Qt activates the window itself, and it hears of it.
    if (QApplication::activeModalWidget() && watches(focus->event))
        post();
    return false; // Qt still passes the focus on to the dialog
}
