#pragma once

#include <QEvent>
#include <QPoint>
#include <QWidget>

// Mouse events sent straight to a widget (no window system needed).
// global (-1, -1): the widget's own mapping of pos.
void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               QPoint global = QPoint(-1, -1));
void clickAt(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void doubleClickAt(QWidget* w, QPoint pos, Qt::MouseButton button);
