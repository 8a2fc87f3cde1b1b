#include "imaging/NoWheelGraphicsView.h"

#include <QMouseEvent>
#include <QWheelEvent>

NoWheelGraphicsView::NoWheelGraphicsView(QWidget* parent) : QGraphicsView(parent) {}

NoWheelGraphicsView::~NoWheelGraphicsView() = default;

void NoWheelGraphicsView::mouseDoubleClickEvent(QMouseEvent* event) { emit addSIGN(event->pos()); }

void NoWheelGraphicsView::wheelEvent(QWheelEvent* event) {
    // The single-axis delta: the vertical one, or the horizontal one of a
    // tilt wheel. Zero zooms in.
    const QPoint d = event->angleDelta();
    const int delta = d.y() != 0 ? d.y() : d.x();
    const qreal f = delta < 1 ? 0.9 : 1.1;
    scale(f, f);
    event->accept();
}
