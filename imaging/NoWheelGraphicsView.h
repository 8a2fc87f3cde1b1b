#pragma once

#include <QGraphicsView>

// The graphics view of the stitching and focus-stacking panels: the wheel
// zooms (by 1.1 away from the user, 0.9 towards) instead of scrolling, and a
// double click reports its position in view coordinates through addSIGN.
class NoWheelGraphicsView : public QGraphicsView {
    Q_OBJECT
public:
    explicit NoWheelGraphicsView(QWidget* parent = nullptr);
    ~NoWheelGraphicsView() override;

signals:
    void addSIGN(QPoint pos);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
