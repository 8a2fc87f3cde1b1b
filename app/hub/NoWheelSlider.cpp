#include "app/hub/NoWheelSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

void NoWheelSlider::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    if (handle.contains(event->pos())) {
        m_drag = true;
        QSlider::mousePressEvent(event);
    } else {
        event->ignore();
    }
}

void NoWheelSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag)
        QSlider::mouseMoveEvent(event);
    else
        event->ignore();
}

void NoWheelSlider::mouseReleaseEvent(QMouseEvent* event) {
    m_drag = false;
    QSlider::mouseReleaseEvent(event);
}

void NoWheelSlider::wheelEvent(QWheelEvent* event) { event->accept(); }
