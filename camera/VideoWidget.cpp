#include "camera/VideoWidget.h"

#include "camera/SDLBackground.h"

#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>

VideoWidget::VideoWidget(SDLBackground* source, QWidget* parent) : QWidget(parent), m_source(source) {
    setObjectName("videoWidget");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    if (source) {
        connect(source, &SDLBackground::presented, this, [this](const QRect& dirty) { update(dirty); });
        connect(source, &SDLBackground::shownChanged, this, &QWidget::setVisible);
        setVisible(source->isShown());
    }
}

void VideoWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    if (!m_source) {
        painter.fillRect(area, Qt::black);
        return;
    }
    const QRect canvas(QPoint(0, 0), m_source->canvasSize());
    m_source->paintCanvas(painter, area.intersected(canvas));
    // Whatever lies beyond the canvas (a widget larger than it) stays black.
    const QRegion outside = QRegion(area).subtracted(QRegion(canvas));
    for (const QRect& r : outside)
        painter.fillRect(r, Qt::black);
}

void VideoWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_source && !event->size().isEmpty())
        m_source->setCanvasSize(event->size());
}
