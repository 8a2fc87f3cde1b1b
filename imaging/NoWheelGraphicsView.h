#pragma once

#include <QGraphicsView>
#include <QPoint>

// The graphics view of the stitching and focus-stacking panels: the wheel
// zooms (x0.9 towards the user, x1.1 away) instead of scrolling, and a double
// click reports the point (view coordinates). GUI thread only.
class NoWheelGraphicsView : public QGraphicsView {
    Q_OBJECT
public:
    explicit NoWheelGraphicsView(QWidget* parent = nullptr);
    ~NoWheelGraphicsView() override;

signals:
    void addSIGN(QPoint point);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
