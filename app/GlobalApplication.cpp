#include "app/GlobalApplication.h"

#include "app/hub/MessagePassing.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QWheelEvent>
#include <QWindow>

namespace {

// Whether receiver is a dialog's window or a widget in one. A key from the
// keyboard comes to the window first, then to its focus widget.
bool inDialog(QObject* receiver) {
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget && receiver && receiver->isWindowType())
        widget = QWidget::find(static_cast<QWindow*>(receiver)->winId());
    return widget && qobject_cast<QDialog*>(widget->window());
}

} // namespace

GlobalApplication::GlobalApplication(int& argc, char** argv) : QApplication(argc, argv) {
    MessagePassing* hub = MessagePassing::instance();
    useQtTranslation(hub->language());
    connect(hub, &MessagePassing::changeLanguageSIGNAL, this, &GlobalApplication::useQtTranslation);
}

void GlobalApplication::useQtTranslation(int language) {
    if (m_qtTextsInstalled)
        removeTranslator(&m_qtTexts);
    m_qtTextsInstalled = false;
    if (language == 1)
        return; // Qt's own texts are English
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (m_qtTexts.load(language == 2 ? "qtbase_zh_TW" : "qtbase_zh_CN", dir))
        m_qtTextsInstalled = installTranslator(&m_qtTexts);
}

bool GlobalApplication::notify(QObject* receiver, QEvent* event) {
    MessagePassing* hub = MessagePassing::instance();
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A dialog (modal or not, such as a template editor in a window of
        // its own), a popup menu or an open combo list takes Escape as its
        // own cancel: without a window manager it is the only way out of a
        // dialog that has no title bar.
        if (key->key() == Qt::Key_Escape && (activeModalWidget() || activePopupWidget() || inDialog(receiver)))
            return QApplication::notify(receiver, event);
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
