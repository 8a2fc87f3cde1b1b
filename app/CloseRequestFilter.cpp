#include "app/CloseRequestFilter.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

quint32 internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const quint32 atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

} // namespace

CloseRequestFilter::CloseRequestFilter(QObject* context, std::function<void()> onClose)
    : WatchedWindowsFilter(context, std::move(onClose)) {
    if (!onXcb())
        return;
    // Atoms are the server's: a short connection of our own names them.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (connection && !xcb_connection_has_error(connection)) {
        m_protocols = internAtom(connection, "WM_PROTOCOLS");
        m_delete = internAtom(connection, "WM_DELETE_WINDOW");
    }
    if (connection)
        xcb_disconnect(connection);
    if (m_protocols && m_delete)
        install();
}

bool CloseRequestFilter::nativeEventFilter(const QByteArray& eventType, void* message, long*) {
    if (eventType != "xcb_generic_event_t" || !m_delete)
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE)
        return false;
    auto* request = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (request->format != 32 || request->type != m_protocols || request->data.data32[0] != m_delete)
        return false;
    // Without a modal dialog Qt delivers the close itself.
    if (!QApplication::activeModalWidget())
        return false;
    if (!watches(request->window))
        return false;
    post();
    return true;
}
