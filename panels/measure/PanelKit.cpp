#include "panels/measure/PanelKit.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/SharedConstants.h"
#include "app/hub/UiSize.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

void PanelKit::fill(TextMap& map, std::initializer_list<std::array<const char*, 4>> rows) {
    for (const auto& r : rows)
        map.insert(QString::fromUtf8(r[0]), {QString::fromUtf8(r[1]), QString::fromUtf8(r[2]), QString::fromUtf8(r[3])});
}

QVBoxLayout* PanelKit::column(QWidget* w) {
    auto* l = new QVBoxLayout(w);
    l->setSpacing(0);
    l->setContentsMargins(0, 0, 0, 0);
    return l;
}

QWidget* PanelKit::row(QWidget* parent, const char* name, int spacing, int side) {
    auto* w = make<QWidget>(parent, name);
    auto* l = new QHBoxLayout(w);
    l->setSpacing(spacing);
    l->setContentsMargins(side, 0, side, 0);
    return w;
}

QString PanelKit::text(const TextMap& map, const QString& key, int lang) {
    const QStringList t = map.value(key);
    if (t.isEmpty())
        return QString();
    return t.value(lang >= 0 && lang < t.size() ? lang : 0);
}

QWidget* PanelKit::titleStrip(QWidget* parent, const QString& suffix) {
    auto* title = new QWidget(parent);
    title->setObjectName("widgetTitle" + suffix);
    title->setMaximumHeight(40);
    auto* row = new QHBoxLayout(title);
    row->setContentsMargins(10, 0, 10, 0);
    auto* left = new QWidget(title);
    left->setObjectName("widgetLeft" + suffix);
    left->setMaximumHeight(1);
    auto* label = new QLabel(title);
    label->setObjectName("labTitle" + suffix);
    label->setFixedHeight(30);
    label->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    auto* right = new QWidget(title);
    right->setObjectName("widgetRight" + suffix);
    right->setMaximumHeight(1);
    for (QWidget* line : {left, right})
        line->setStyleSheet("QWidget{background:url(:/res/MeasureForm/line.png);}");
    row->addWidget(left);
    row->addWidget(label);
    row->addWidget(right);
    return title;
}

int PanelKit::truncated(int v) { return int(float(v) * float(uiSizeFactor) * 0.1f); }

int PanelKit::rounded(int v) { return int(std::lround(double(v) * uiSizeFactor * 0.1)); }

void PanelKit::scaleGeometry(QWidget* w) {
    const QRect r = w->geometry();
    w->setGeometry(rounded(r.x()), rounded(r.y()), rounded(r.width()), rounded(r.height()));
}

void PanelKit::scaleMinMax(QWidget* w) {
    const QSize lo = w->minimumSize(), hi = w->maximumSize();
    w->setMinimumSize(rounded(lo.width()), rounded(lo.height()));
    // QWIDGETSIZE_MAX stays unbounded.
    w->setMaximumSize(hi.width() >= QWIDGETSIZE_MAX ? hi.width() : rounded(hi.width()),
                      hi.height() >= QWIDGETSIZE_MAX ? hi.height() : rounded(hi.height()));
}

void PanelKit::scaleHeights(QWidget* w) {
    w->setMinimumHeight(truncated(w->minimumHeight()));
    if (w->maximumHeight() < QWIDGETSIZE_MAX)
        w->setMaximumHeight(truncated(w->maximumHeight()));
}

void PanelKit::scaleLayouts(QWidget* root) {
    QList<QLayout*> layouts = root->findChildren<QLayout*>();
    if (root->layout() && !layouts.contains(root->layout()))
        layouts << root->layout();
    for (QLayout* l : layouts) {
        const QMargins m = l->contentsMargins();
        l->setContentsMargins(truncated(m.left()), truncated(m.top()), truncated(m.right()), truncated(m.bottom()));
        if (l->spacing() > 0)
            l->setSpacing(truncated(l->spacing()));
    }
}

void PanelKit::fillColourBox(QComboBox* box) {
    const QSize size = box->size();
    for (const QColor& c : colorList) {
        QPixmap swatch(size.isEmpty() ? QSize(60, 20) : size);
        swatch.fill(c);
        box->addItem(QIcon(swatch), QString());
    }
    box->setIconSize(size);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
}

void PanelKit::stepButton(QToolButton* b, bool add) {
    b->setText(QString());
    b->setAutoRaise(true);
    b->setIconSize(b->minimumSize());
    b->setIcon(QIcon(QString(add ? ":/res/btnAdd_%1.png" : ":/res/btnSub_%1.png").arg(uiSizeFactor)));
}

void PanelKit::iconButton(QToolButton* b, const QString& folder) {
    b->setText(QString());
    b->setAutoRaise(true);
    const QSize size = b->minimumSize();
    b->setIconSize(size);
    const QPixmap pix(QString(":/res/%1/%2_%3.png").arg(folder, b->objectName()).arg(uiSizeFactor));
    b->setIcon(QIcon(pix.isNull() ? pix : pix.scaledToWidth(size.width(), Qt::FastTransformation)));
}

void PanelKit::hoverHint(QObject* watched, QEvent* event, const TextMap& map) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !map.contains(w->objectName()))
        return;
    MessagePassing* hub = MessagePassing::instance();
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseButtonRelease:
        hub->bewriteTextUpdate(true, w->mapToGlobal(QPoint(w->width() / 2, 0)),
                               text(map, w->objectName(), hub->language()));
        break;
    case QEvent::Leave:
        hub->bewriteTextUpdate(false, QPoint(0, 0), QString());
        break;
    default:
        break;
    }
}

void PanelKit::writeKey(const QString& file, const QString& key, const QVariant& value) {
    SaveErrorBox::editSettings(file, [&](QSettings& settings) { settings.setValue(key, value); });
}
