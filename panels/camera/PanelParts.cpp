#include "panels/camera/PanelParts.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/UiSize.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>

namespace PanelParts {

int language() {
    return qBound(0, MessagePassing::instance()->language(), 2);
}

QString pick(const QStringList& texts, int language) {
    if (texts.isEmpty())
        return QString();
    return texts.value(language, texts.first());
}

void showError(const QStringList& texts) {
    QMessageBox::information(nullptr, "Error", pick(texts, language()), QMessageBox::Ok);
}

int scaled(int v) {
    return int(float(v) * float(uiSizeFactor) * 0.1f);
}

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

QVBoxLayout* panelFrame(QWidget* panel, QLabel** title, QMargins contentMargins) {
    auto* outer = new QVBoxLayout(panel);
    outer->setObjectName("verticalLayout");
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(titleRow(panel, title));
    auto* content = new QWidget(panel);
    content->setObjectName("widgetContent");
    auto* column = new QVBoxLayout(content);
    column->setObjectName("verticalLayout_2");
    column->setSpacing(0);
    column->setContentsMargins(contentMargins);
    outer->addWidget(content);
    outer->addStretch(1);
    return column;
}

void scannerBoxToggled(const QString& file, bool on, int mode) {
    store(file, "isGunMode", on);
    MessagePassing* hub = MessagePassing::instance();
    hub->setGunMode(on ? mode : 0);
    if (on)
        hub->checkBoxGunToggle(mode == 2);
}

namespace {
bool isUsablePrefix(const QString& prefix) {
    return !prefix.isEmpty() && !prefix.contains('/') && !prefix.contains('\\') && prefix != "." && prefix != "..";
}
} // namespace

QString storedPrefix(const QSettings& ini, const QString& fallback) {
    const QString prefix = ini.value("autoNameBegin", fallback).toString().trimmed();
    return isUsablePrefix(prefix) ? prefix : fallback;
}

void storePrefix(QLineEdit* edit, const QString& file, const QString& fallback) {
    QString prefix = edit->text().trimmed();
    if (!isUsablePrefix(prefix)) {
        prefix = fallback;
        edit->setText(prefix);
    }
    SaveErrorBox::editSettings(file, [&](QSettings& ini) {
        if (ini.value("autoNameBegin", fallback).toString() != prefix)
            ini.setValue("autoNameIndex", 0);
        ini.setValue("autoNameBegin", prefix);
    });
}

QWidget* addRow(QWidget* parent, QVBoxLayout* column, const char* name, QMargins margins) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(margins);
    column->addWidget(w);
    return w;
}

void styleControls(QWidget* root, int height) {
    MessagePassing* hub = MessagePassing::instance();
    for (QRadioButton* b : root->findChildren<QRadioButton*>())
        b->setStyleSheet(hub->getQRadioButtonStyle());
    for (QCheckBox* b : root->findChildren<QCheckBox*>())
        b->setStyleSheet(hub->getQCheckBoxStyle());
    auto sized = [&](QWidget* w, const QString& style) {
        w->setFixedHeight(scaled(height));
        w->setStyleSheet(style);
    };
    for (QComboBox* c : root->findChildren<QComboBox*>())
        sized(c, hub->getQComboBoxStyle());
    for (QLineEdit* e : root->findChildren<QLineEdit*>())
        sized(e, hub->getQLineEditStyle());
    for (QToolButton* b : root->findChildren<QToolButton*>())
        if (!b->autoRaise()) // icon buttons keep their own look
            sized(b, hub->getQToolButtonStyle());
    for (QPushButton* b : root->findChildren<QPushButton*>())
        sized(b, hub->getQPushButtonStyle());
}

QString chooseFolder(QWidget* parent) {
    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void store(const QString& file, const QString& key, const QVariant& value) {
    SaveErrorBox::editSettings(file, [&](QSettings& ini) { ini.setValue(key, value); });
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
