#include "app/WatchedWindowsFilter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

WatchedWindowsFilter::WatchedWindowsFilter(QObject* context, std::function<void()> action)
    : m_context(context), m_action(std::move(action)) {}

WatchedWindowsFilter::~WatchedWindowsFilter() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WatchedWindowsFilter::onXcb() { return QGuiApplication::platformName() == "xcb"; }

void WatchedWindowsFilter::install() { QCoreApplication::instance()->installNativeEventFilter(this); }

void WatchedWindowsFilter::watch(QWidget* window) {
    if (window && !m_windows.contains(window))
        m_windows.append(window);
}

bool WatchedWindowsFilter::watches(quint32 window) const {
    for (const QPointer<QWidget>& w : m_windows)
        if (w && w->internalWinId() == window)
            return true;
    return false;
}

void WatchedWindowsFilter::post() const {
    if (m_context)
        QTimer::singleShot(0, m_context, m_action);
}
