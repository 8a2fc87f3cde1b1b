#pragma once

#include <QSlider>

// A slider that moves only when dragged by its handle: a click on the groove
// does not jump, and the wheel neither moves it nor scrolls its parents.
class NoWheelSlider : public QSlider {
    Q_OBJECT
public:
    using QSlider::QSlider;
    bool isDragging() const { return m_drag; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool m_drag = false;
};
