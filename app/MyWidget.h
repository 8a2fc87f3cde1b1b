#pragma once

#include <QWidget>

// The central widget's view area: reports every change of its geometry so the
// video window and the overlays can follow it.
class MyWidget : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    void posAndSizeChanged(int x, int y, int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
};
