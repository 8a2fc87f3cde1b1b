#include "StitchStageCamera.h"

#include "app/hub/MessagePassing.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

void StitchStageCamera::snapImage(QString, int mode, bool, bool, QColor, int, int) {
    MessagePassing* hub = MessagePassing::instance();
    if (mode == 4) {
        QTimer::singleShot(0, hub, [hub, f = flat] { hub->pinJieYinYingImage(f); });
        return;
    }
    if (pan.empty())
        return;
    int index = snaps++;
    int waitMs = 0;
    if (fps > 0.0) {
        if (!m_clock.isValid())
            m_clock.start();
        const double period = 1000.0 / fps, now = double(m_clock.elapsed());
        const double next = std::ceil(now / period) * period;
        index = int(next / period) / std::max(1, repeat);
        waitMs = int(next - now);
    }
    const StitchPanFrame& f = pan[size_t(std::min<int>(index, int(pan.size()) - 1))];
    const QImage image =
        QImage(f.image.data, f.image.cols, f.image.rows, int(f.image.step), QImage::Format_RGB888).copy();
    QTimer::singleShot(waitMs, hub, [hub, image] { hub->pinJieImage(image); });
}
