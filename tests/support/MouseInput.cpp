#include "tests/support/MouseInput.h"

#include <QCoreApplication>
#include <QMouseEvent>

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               QPoint global) {
    if (global == QPoint(-1, -1))
        global = w->mapToGlobal(pos);
    QMouseEvent ev(type, QPointF(pos), QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}

void clickAt(QWidget* w, QPoint pos, Qt::MouseButton button) {
    sendMouse(w, QEvent::MouseButtonPress, pos, button, button);
    sendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void doubleClickAt(QWidget* w, QPoint pos, Qt::MouseButton button) {
    clickAt(w, pos, button);
    sendMouse(w, QEvent::MouseButtonDblClick, pos, button, button);
    sendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}
