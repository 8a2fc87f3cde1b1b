#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// The window manager's focus for one of the given top-level windows while a
// modal dialog blocks it: Qt hands such focus straight on to the dialog and
// tells the window nothing, although the window manager may have brought the
// window forward with it (a task switcher does; openbox also stacks a
// focused frameless window that fills the screen above the others). Under
// X11 (xcb) only; elsewhere it stays inactive.
class BlockedFocusFilter : public QAbstractNativeEventFilter {
public:
    // onFocus runs (queued on `context`) for each such focus.
    BlockedFocusFilter(QObject* context, std::function<void()> onFocus);
    ~BlockedFocusFilter() override;

    void watch(QWidget* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    QPointer<QObject> m_context;
    std::function<void()> m_onFocus;
    QList<QPointer<QWidget>> m_windows;
};
