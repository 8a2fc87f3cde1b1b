#include "app/MyWidget.h"

void MyWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit posAndSizeChanged(x(), y(), width(), height());
}
