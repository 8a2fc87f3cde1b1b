#include "panels/camera/PanelScaling.h"

#include "app/UiSize.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QWidget>

namespace PanelScaling {

int trunc(int designed) { return int(float(designed) * float(uiSizeFactor) * 0.1f); }

int round(int designed) { return qRound(double(designed) * uiSizeFactor * 0.1); }

void scaleHeights(QWidget* w) {
    w->setMinimumHeight(trunc(w->minimumHeight()));
    if (w->maximumHeight() < QWIDGETSIZE_MAX)
        w->setMaximumHeight(trunc(w->maximumHeight()));
}

static void scaleLayout(QLayout* layout) {
    const QMargins m = layout->contentsMargins();
    layout->setContentsMargins(trunc(m.left()), trunc(m.top()), trunc(m.right()), trunc(m.bottom()));
    if (layout->spacing() > 0)
        layout->setSpacing(trunc(layout->spacing()));
}

void scaleLayouts(QWidget* root) {
    for (QLayout* layout : root->findChildren<QLayout*>())
        scaleLayout(layout);
}

void scaleGeometry(QWidget* w) {
    w->setGeometry(round(w->x()), round(w->y()), round(w->width()), round(w->height()));
}

void applyTexts(QWidget* root, const QMap<QString, QStringList>& texts, int language) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const auto it = texts.constFind(w->objectName());
        if (it == texts.constEnd())
            continue;
        const QString text = it->value(language);
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(text);
    }
}

} // namespace PanelScaling
