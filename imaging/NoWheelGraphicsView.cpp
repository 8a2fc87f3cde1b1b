#include "imaging/NoWheelGraphicsView.h"

#include <QMouseEvent>
#include <QWheelEvent>

NoWheelGraphicsView::NoWheelGraphicsView(QWidget* parent) : QGraphicsView(parent) {}

NoWheelGraphicsView::~NoWheelGraphicsView() = default;

void NoWheelGraphicsView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit addSIGN(event->pos());
    event->accept();
}

void NoWheelGraphicsView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const double factor = delta < 1 && delta != 0 ? 0.9 : 1.1;
    scale(factor, factor);
    event->accept();
}
