#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// A window manager's close request (WM_DELETE_WINDOW) for the given
// top-level windows, seen while a modal dialog is open: Qt drops close
// requests for windows a modal dialog blocks, so without this the program
// could only be closed by answering the dialog first. Under X11 (xcb) only;
// elsewhere it stays inactive.
class CloseRequestFilter : public QAbstractNativeEventFilter {
public:
    // onClose runs (queued on `context`) for each such request.
    CloseRequestFilter(QObject* context, std::function<void()> onClose);
    ~CloseRequestFilter() override;

    // Watches this window (its native window must exist).
    void watch(QWidget* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    QPointer<QObject> m_context;
    std::function<void()> m_onClose;
    QList<QPointer<QWidget>> m_windows;
    quint32 m_protocols = 0;
    quint32 m_delete = 0;
};
