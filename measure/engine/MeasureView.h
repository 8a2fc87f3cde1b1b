#pragma once

#include <QRect>

// The surface the measurement engine repaints: the overlay view. The engine
// itself stays free of QtWidgets; ItemLayer implements this, tests use a
// recording fake. Rectangles are in view pixels. GUI thread only.
class MeasureView {
public:
    virtual ~MeasureView() = default;
    virtual void updateViewRect(const QRect& rect) = 0;
    virtual void updateView() = 0;
};
