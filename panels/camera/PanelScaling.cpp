#include "panels/camera/PanelScaling.h"

#include "app/hub/UiSize.h"
#include "panels/camera/PanelParts.h"

#include <QWidget>

namespace PanelScaling {

int round(int designed) { return qRound(double(designed) * uiSizeFactor * 0.1); }

void scaleHeights(QWidget* w) {
    w->setMinimumHeight(PanelParts::scaled(w->minimumHeight()));
    if (w->maximumHeight() < QWIDGETSIZE_MAX)
        w->setMaximumHeight(PanelParts::scaled(w->maximumHeight()));
}

void scaleGeometry(QWidget* w) {
    w->setGeometry(round(w->x()), round(w->y()), round(w->width()), round(w->height()));
}

} // namespace PanelScaling
