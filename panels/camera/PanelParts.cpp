#include "panels/camera/PanelParts.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>

namespace PanelParts {

int language() { return qBound(0, MessagePassing::instance()->language(), 2); }

QString pick(const QStringList& texts, int language) {
    if (texts.isEmpty())
        return QString();
    return texts.value(language, texts.first());
}

void showError(const QStringList& texts) {
    QMessageBox::information(nullptr, "Error", pick(texts, language()), QMessageBox::Ok);
}

int scaled(int v) { return int(float(v) * float(uiSizeFactor) * 0.1f); }

QWidget* titleRow(QWidget* parent, QLabel** title) {
    auto* row = new QWidget(parent);
    row->setObjectName("widgetTitle");
    row->setMaximumHeight(scaled(40));
    auto* layout = new QHBoxLayout(row);
    layout->setObjectName("horizontalLayout");
    layout->setContentsMargins(10, 0, 10, 0);
    const QString line = "QWidget{background:url(:/res/MeasureForm/line.png);}";
    auto* left = new QWidget(row);
    left->setObjectName("widgetLeft");
    left->setMaximumHeight(1);
    left->setStyleSheet(line);
    auto* label = new QLabel(row);
    label->setObjectName("labTitle");
    label->setMinimumHeight(30);
    label->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    auto* right = new QWidget(row);
    right->setObjectName("widgetRight");
    right->setMaximumHeight(1);
    right->setStyleSheet(line);
    layout->addWidget(left);
    layout->addWidget(label);
    layout->addWidget(right);
    *title = label;
    return row;
}

void scaleLayouts(QWidget* root) {
    for (QLayout* l : root->findChildren<QLayout*>()) {
        const QMargins m = l->contentsMargins();
        l->setContentsMargins(scaled(m.left()), scaled(m.top()), scaled(m.right()), scaled(m.bottom()));
        if (l->spacing() > 0)
            l->setSpacing(scaled(l->spacing()));
    }
}

void applyTexts(QWidget* root, const QMap<QString, QStringList>& texts, int language) {
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        QWidget* w = root->findChild<QWidget*>(it.key());
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(pick(it.value(), language));
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(pick(it.value(), language));
    }
}

} // namespace PanelParts
