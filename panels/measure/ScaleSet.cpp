#include "panels/measure/ScaleSet.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

ScaleSet::ScaleSet(QWidget* parent) : QWidget(parent) {
    setObjectName("ScaleSet");
    auto* row = new QHBoxLayout(this);
    comboScale = new QComboBox(this);
    comboScale->setObjectName("comboScale");
    comboScale->setStyleSheet(MessagePassing::instance()->getQComboBoxStyle());
    btnNew = new QToolButton(this);
    btnNew->setObjectName("btnNewScale");
    btnNew->setStyleSheet(MessagePassing::instance()->getQToolButtonStyle());
    row->addWidget(comboScale, 2);
    row->addWidget(btnNew, 1);
    resize(int(float(300) * float(uiSizeFactor) * 0.1f), int(float(50) * float(uiSizeFactor) * 0.1f));
    MessagePassing* hub = MessagePassing::instance();
    connect(btnNew, &QToolButton::clicked, hub, &MessagePassing::startAddScale);
    connect(comboScale, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { MessagePassing::instance()->setCurScaleName(comboScale->currentText()); });
    connect(hub, SIGNAL(sendScaleInfoSIGNAL(QList<QString>, QString)), this,
            SLOT(sendScaleInfoSLOT(QList<QString>, QString)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
}

void ScaleSet::sendScaleInfoSLOT(QList<QString> names, QString current) {
    const QSignalBlocker block(comboScale);
    comboScale->clear();
    comboScale->addItems(names);
    comboScale->setCurrentText(current);
}

void ScaleSet::changeLanguageSLOT(int language) {
    static const char* const text[] = {"新建标尺", "New Scale", "新建標尺"};
    btnNew->setText(QString::fromUtf8(text[(language < 0 || language > 2) ? 0 : language]));
}
