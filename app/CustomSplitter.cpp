#include "app/CustomSplitter.h"

QSplitterHandle* CustomSplitter::createHandle() { return new CustomSplitterHandle(orientation(), this); }

void CustomSplitterHandle::mouseMoveEvent(QMouseEvent* event) { QSplitterHandle::mouseMoveEvent(event); }

void CustomSplitterHandle::mouseReleaseEvent(QMouseEvent* event) {
    QSplitterHandle::mouseReleaseEvent(event);
    if (auto* owner = qobject_cast<CustomSplitter*>(splitter()))
        emit owner->saveDataSIGNAL();
}
