#include "panels/measure/LineForm.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"

#include <QHBoxLayout>
#include <QToolButton>

LineForm::LineForm(QWidget* parent) : QWidget(parent) {
    setObjectName("LineForm");
    auto* row = new QHBoxLayout(this);
    for (auto* slot : {&btnH, &btnV, &btnClear}) {
        *slot = new QToolButton(this);
        (*slot)->setStyleSheet(MessagePassing::instance()->getQToolButtonStyle());
        (*slot)->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        row->addWidget(*slot);
    }
    btnH->setObjectName("btnH");
    btnV->setObjectName("btnV");
    btnClear->setObjectName("btnClear");
    resize(int(float(300) * float(uiSizeFactor) * 0.1f), int(float(50) * float(uiSizeFactor) * 0.1f));
    MessagePassing* hub = MessagePassing::instance();
    connect(btnH, &QToolButton::clicked, this, [this] { MessagePassing::instance()->setLineNum(m_hor + 1, true); });
    connect(btnV, &QToolButton::clicked, this, [this] { MessagePassing::instance()->setLineNum(m_ver + 1, false); });
    connect(btnClear, &QToolButton::clicked, hub, &MessagePassing::removeAllLine);
    connect(hub, SIGNAL(sendCrossLineInfoSIGNAL(int, int, QColor)), this,
            SLOT(sendCrossLineInfoSLOT(int, int, QColor)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    hub->getCrossLineNum();
}

void LineForm::sendCrossLineInfoSLOT(int hor, int ver, QColor color) {
    Q_UNUSED(color)
    m_hor = hor;
    m_ver = ver;
}

void LineForm::changeLanguageSLOT(int language) {
    const int lang = (language < 0 || language > 2) ? 0 : language;
    static const char* const h[] = {"加水平线", "Add H Line", "加水平線"};
    static const char* const v[] = {"加垂直线", "Add V Line", "加垂直線"};
    static const char* const c[] = {"清除", "Clear", "清除"};
    btnH->setText(QString::fromUtf8(h[lang]));
    btnV->setText(QString::fromUtf8(v[lang]));
    btnClear->setText(QString::fromUtf8(c[lang]));
}
