#include "app/GlobalApplication.h"

#include "app/MessagePassing.h"

#include <QKeyEvent>
#include <QWheelEvent>

GlobalApplication::GlobalApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GlobalApplication::notify(QObject* receiver, QEvent* event) {
    MessagePassing* hub = MessagePassing::instance();
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (hub->isGunMode()) {
            // While a scanner mode is on every key press is scanner input.
            if (key->key() == Qt::Key_Return)
                hub->GunStop();
            else if (key->key() == Qt::Key_Escape)
                hub->quitFullScreen();
            else
                hub->GunAddChar(QChar::fromLatin1(char(key->key() & 0xff)));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            hub->quitFullScreen();
            return true;
        }
        if ((key->key() == Qt::Key_Q && key->modifiers() == Qt::ControlModifier) || key->key() == Qt::Key_F1) {
            hub->snapCtrlQ();
            return true;
        }
        return QApplication::notify(receiver, event);
    }
    if (event->type() == QEvent::Wheel && receiver && receiver->objectName() == "MianWidgetWindow") {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint pos = wheel->position().toPoint();
        if (wheel->angleDelta().y() > 0)
            hub->wheelEventAdd(pos);
        else
            hub->wheelEventSub(pos);
        return true;
    }
    return QApplication::notify(receiver, event);
}
