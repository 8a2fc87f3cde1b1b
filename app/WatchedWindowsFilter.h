#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// An X11 (xcb) event filter that acts on events for a few top-level windows
// while a modal dialog blocks them, where Qt itself drops or redirects the
// event. Elsewhere than under xcb it is never installed.
class WatchedWindowsFilter : public QAbstractNativeEventFilter {
public:
    ~WatchedWindowsFilter() override;

    void watch(QWidget* window);

protected:
    // action runs (queued on `context`) each time post() is called.
    WatchedWindowsFilter(QObject* context, std::function<void()> action);

    static bool onXcb();
    void install();
    // True when window is the native window of a watched one.
    bool watches(quint32 window) const;
    void post() const;

private:
    QPointer<QObject> m_context;
    std::function<void()> m_action;
    QList<QPointer<QWidget>> m_windows;
};
