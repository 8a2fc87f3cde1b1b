#include "panels/measure/CrossLineSetWidget.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "camera/BaseCamera.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

CrossLineSetWidget::CrossLineSetWidget(QWidget* parent) : QWidget(parent) {
    setupUi();
    connect(datumLineRadio, SIGNAL(toggled(bool)), datumSetBtn, SLOT(setEnabled(bool)));
    connect(datumLineRadio, SIGNAL(toggled(bool)), datumLineWidth, SLOT(setEnabled(bool)));
    initSize();
    setLanguageText();
    PanelKit::fillColourBox(colorBox);
    colorBox->setCurrentIndex(0);

    connect(posSlider, SIGNAL(valueChanged(int)), this, SLOT(centerPosChanged(int)));
    connect(angleSlider, SIGNAL(valueChanged(int)), this, SLOT(angleValueChanged(int)));
    connect(colorBox, SIGNAL(currentIndexChanged(int)), this, SLOT(colorChanged(int)));
    connect(showRadioBtn, SIGNAL(toggled(bool)), this, SLOT(scaleChanged(bool)));
    connect(posMinus, SIGNAL(clicked()), this, SLOT(posMinusSlot()));
    connect(posPlus, SIGNAL(clicked()), this, SLOT(posPlusSlot()));
    connect(angleMinus, SIGNAL(clicked()), this, SLOT(angleMinusSlot()));
    connect(anglePlus, SIGNAL(clicked()), this, SLOT(anglePlusSlot()));
    connect(centerBtn, SIGNAL(clicked()), this, SLOT(moveCenterSlot()));
    connect(delBtn, SIGNAL(clicked()), this, SLOT(delBtnClicked()));
    connect(datumSetBtn, SIGNAL(clicked()), this, SLOT(datumSetBtnSlot()));
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setCrossLineDataSIGNAL(int, bool, float, float, QColor, bool, bool)), this,
            SLOT(setCrossLineDataSLOT(int, bool, float, float, QColor, bool, bool)));
    changeLanguageSLOT(hub->language());
}

CrossLineSetWidget::~CrossLineSetWidget() = default;

void CrossLineSetWidget::setupUi() {
    setObjectName("CrossLineSetWidget");
    resize(300, 320);
    setFocusPolicy(Qt::ClickFocus);
    QVBoxLayout* outer = PanelKit::column(this);
    QWidget* title = PanelKit::titleStrip(this);
    labTitle = title->findChild<QLabel*>("labTitle");
    outer->addWidget(title);
    auto* body = new QWidget(this);
    body->setObjectName("widgetZ");
    auto* column = new QVBoxLayout(body);
    column->setSpacing(0);
    column->setContentsMargins(10, 0, 10, 0);
    outer->addWidget(body);

    auto stepButton = [](QWidget* parent, const char* name) {
        auto* b = new QToolButton(parent);
        b->setObjectName(name);
        b->setMinimumSize(23, 23);
        b->setMaximumSize(23, 23);
        b->setAutoRepeat(true);
        return b;
    };
    auto sliderRow = [&](const char* rowName, const char* labelName, const char* spinName, const char* minusName,
                         const char* sliderName, const char* plusName, QSpinBox*& spin, QToolButton*& minus,
                         QSlider*& slider, QToolButton*& plus) {
        auto* w = new QWidget(body);
        w->setObjectName(rowName);
        w->setMinimumHeight(60);
        w->setMaximumHeight(60);
        auto* grid = new QGridLayout(w);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(10);
        grid->setVerticalSpacing(0);
        auto* label = new QLabel(w);
        label->setObjectName(labelName);
        spin = new QSpinBox(w);
        spin->setObjectName(spinName);
        spin->setReadOnly(true);
        spin->setFrame(false);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        spin->setFocusPolicy(Qt::NoFocus);
        spin->setAlignment(Qt::AlignCenter);
        spin->setMinimumHeight(24);
        spin->setMaximumHeight(24);
        minus = stepButton(w, minusName);
        plus = stepButton(w, plusName);
        slider = new QSlider(Qt::Horizontal, w);
        slider->setObjectName(sliderName);
        slider->setFocusPolicy(Qt::NoFocus);
        slider->setMinimumHeight(24);
        slider->setMaximumHeight(24);
        grid->addWidget(label, 0, 0, 1, 2);
        grid->addWidget(spin, 0, 2, 1, 2);
        grid->addWidget(minus, 1, 0);
        grid->addWidget(slider, 1, 1, 1, 2);
        grid->addWidget(plus, 1, 3);
        column->addWidget(w);
    };
    sliderRow("widget1", "posLabel", "posSpinBox", "posMinus", "posSlider", "posPlus", posSpinBox, posMinus,
              posSlider, posPlus);
    posSlider->setRange(0, 99);
    posSpinBox->setRange(0, 99);
    sliderRow("widget2", "angleLabel", "angleSpinBox", "angleMinus", "angleSlider", "anglePlus", angleSpinBox,
              angleMinus, angleSlider, anglePlus);
    angleSpinBox->setRange(-89, 89);
    angleSlider->setRange(0, 178);

    auto row = [&](const char* name, int spacing) {
        auto* w = new QWidget(body);
        w->setObjectName(name);
        auto* l = new QHBoxLayout(w);
        l->setSpacing(spacing);
        column->addWidget(w);
        return w;
    };
    auto label = [](QWidget* parent, const char* name) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        parent->layout()->addWidget(l);
        return l;
    };
    auto push = [](QWidget* parent, const char* name) {
        auto* b = new QPushButton(parent);
        b->setObjectName(name);
        b->setMinimumHeight(24);
        b->setMaximumHeight(24);
        parent->layout()->addWidget(b);
        return b;
    };
    QWidget* colourRow = row("widget", 10);
    label(colourRow, "labColorName");
    colorBox = new QComboBox(colourRow);
    colorBox->setObjectName("colorBox");
    colorBox->setMinimumHeight(24);
    colorBox->setMaximumHeight(24);
    colourRow->layout()->addWidget(colorBox);

    QWidget* scaleRow = row("widget_2", 10);
    label(scaleRow, "labShow");
    showRadioBtn = new QRadioButton(scaleRow);
    showRadioBtn->setObjectName("showRadioBtn");
    hideRadioBtn = new QRadioButton(scaleRow);
    hideRadioBtn->setObjectName("hideRadioBtn");
    for (QRadioButton* r : {showRadioBtn, hideRadioBtn}) {
        r->setFocusPolicy(Qt::NoFocus);
        scaleRow->layout()->addWidget(r);
    }

    QWidget* actions = row("widget3", 10);
    centerBtn = push(actions, "centerBtn");
    delBtn = push(actions, "delBtn");

    auto* gap = new QWidget(body);
    gap->setObjectName("widget_4");
    gap->setMinimumHeight(10);
    gap->setMaximumHeight(10);
    column->addWidget(gap);

    QWidget* baseRow = row("widget_3", 10);
    datumLineRadio = new QRadioButton(baseRow);
    datumLineRadio->setObjectName("datumLineRadio");
    baseRow->layout()->addWidget(datumLineRadio);
    datumSetBtn = push(baseRow, "datumSetBtn");
    datumSetBtn->setEnabled(false);

    QWidget* spacingRow = row("widget4", 5);
    label(spacingRow, "label_4");
    datumLineWidth = new QDoubleSpinBox(spacingRow);
    datumLineWidth->setObjectName("datumLineWidth");
    datumLineWidth->setDecimals(2);
    datumLineWidth->setRange(0.0, 10000.0);
    datumLineWidth->setButtonSymbols(QAbstractSpinBox::NoButtons);
    datumLineWidth->setFocusPolicy(Qt::ClickFocus);
    datumLineWidth->setAlignment(Qt::AlignCenter);
    datumLineWidth->setMinimumHeight(24);
    datumLineWidth->setMaximumHeight(24);
    datumLineWidth->setEnabled(false);
    spacingRow->layout()->addWidget(datumLineWidth);
    label(spacingRow, "unitLabel")->setText("2");
    findChild<QLabel*>("unitLabel")->setAlignment(Qt::AlignCenter);
}

void CrossLineSetWidget::initSize() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    findChild<QWidget*>("widgetTitle")->setMaximumHeight(PanelKit::truncated(40));
    for (const char* name : {"widget1", "widget2"})
        PanelKit::scaleHeights(findChild<QWidget*>(name));
    for (QToolButton* b : {posMinus, posPlus, angleMinus, anglePlus}) {
        PanelKit::scaleMinMax(b);
        PanelKit::stepButton(b, b->objectName().contains("Plus"));
    }
    for (const char* name : {"widget1", "widget2", "widget3", "widget4", "colorBox", "showRadioBtn", "hideRadioBtn",
                             "centerBtn", "delBtn"})
        PanelKit::scaleGeometry(findChild<QWidget*>(name));
    MessagePassing* hub = MessagePassing::instance();
    for (QPushButton* b : findChildren<QPushButton*>()) {
        PanelKit::scaleHeights(b);
        b->setStyleSheet(hub->getQPushButtonStyle());
    }
    for (QRadioButton* r : findChildren<QRadioButton*>())
        r->setStyleSheet(hub->getQRadioButtonStyle());
    for (QAbstractSpinBox* s : findChildren<QAbstractSpinBox*>()) {
        PanelKit::scaleHeights(s);
        s->setStyleSheet(hub->getQSpinBoxStyle());
    }
    for (QSlider* s : findChildren<QSlider*>()) {
        PanelKit::scaleHeights(s);
        s->setStyleSheet(hub->getQSliderStyle());
    }
    for (QComboBox* c : findChildren<QComboBox*>()) {
        PanelKit::scaleHeights(c);
        c->setStyleSheet(hub->getQComboBoxStyle());
    }
    PanelKit::scaleLayouts(this);
}

void CrossLineSetWidget::setLanguageText() {
    PanelKit::fill(m_texts, {
        {"labTitle", "选中刻度线", "Selected Line", "選中刻度線"},
        {"posLabel", "位置", "Coordinate", "位置"},
        {"angleLabel", "角度", "Angle", "角度"},
        {"labColorName", "刻度线颜色", "Line Color", "刻度線顏色"},
        {"labShow", "刻度线显示", "Line Visible", "刻度線顯示"},
        {"showRadioBtn", "显示", "Show", "顯示"},
        {"hideRadioBtn", "隐藏", "Hide", "隱藏"},
        {"centerBtn", "居中", "Center", "居中"},
        {"delBtn", "删除", "Del", "刪除"},
        {"datumLineRadio", "基准线", "Base Line", "基準線"},
        {"datumSetBtn", "确定", "Ok", "確定"},
        {"label_4", "间隔", "Spacing", "間隔"},
    });
}

void CrossLineSetWidget::changeLanguageSLOT(int language) {
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        QWidget* w = findChild<QWidget*>(it.key());
        const QString text = PanelKit::text(m_texts, it.key(), language);
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(text);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(text);
    }
}

void CrossLineSetWidget::setTitle() {
    const QString stem = PanelKit::text(m_texts, "labTitle", MessagePassing::instance()->language());
    labTitle->setText(stem + QString(isHLine ? ":Hor_%1" : ":Ver_%1").arg(index + 1));
}

void CrossLineSetWidget::setCrossLineDataSLOT(int index_, bool isHLine_, float centerPos_, float angle_,
                                              QColor color_, bool show_, bool bScale_) {
    const QSignalBlocker b1(posSlider), b2(posSpinBox), b3(angleSlider), b4(angleSpinBox), b5(colorBox),
        b6(showRadioBtn), b7(hideRadioBtn);
    index = index_;
    isHLine = isHLine_;
    // Without a camera the range stays as it was.
    if (BaseCamera* camera = MessagePassing::instance()->currentCamera()) {
        const QSize frame = camera->frameSize(false);
        const int maximum = isHLine ? frame.height() : frame.width();
        posSlider->setMaximum(maximum);
        posSpinBox->setMaximum(maximum);
    }
    centerPos = centerPos_;
    posSlider->setValue(int(centerPos));
    posSpinBox->setValue(int(centerPos));
    angle = angle_;
    angleSlider->setValue(int(angle + 89.0));
    angleSpinBox->setValue(int(angle));
    color = color_;
    const int entry = colorList.indexOf(color);
    if (entry >= 0)
        colorBox->setCurrentIndex(entry);
    show = show_;
    bScale = bScale_;
    (bScale ? showRadioBtn : hideRadioBtn)->setChecked(true);
    setEnabled(true);
    setTitle();
}

void CrossLineSetWidget::sendLine() {
    MessagePassing::instance()->setCrossLineInfo(index, isHLine, centerPos, angle, color, show, bScale);
}

void CrossLineSetWidget::centerPosChanged(int value) {
    centerPos = value;
    posSpinBox->setValue(value);
    sendLine();
}

void CrossLineSetWidget::angleValueChanged(int value) {
    angle = value - 89;
    angleSpinBox->setValue(value - 89);
    sendLine();
}

void CrossLineSetWidget::colorChanged(int value) {
    color = value >= 0 && value < colorList.size() ? colorList[value] : QColor();
    sendLine();
}

void CrossLineSetWidget::scaleChanged(bool checked) {
    bScale = checked;
    sendLine();
}

void CrossLineSetWidget::posMinusSlot() { posSlider->setValue(posSlider->value() - 1); }
void CrossLineSetWidget::posPlusSlot() { posSlider->setValue(posSlider->value() + 1); }
void CrossLineSetWidget::angleMinusSlot() { angleSlider->setValue(angleSlider->value() - 1); }
void CrossLineSetWidget::anglePlusSlot() { angleSlider->setValue(angleSlider->value() + 1); }
void CrossLineSetWidget::moveCenterSlot() { posSlider->setValue(posSlider->maximum() / 2); }

void CrossLineSetWidget::delBtnClicked() {
    MessagePassing::instance()->delCrossLine(index, isHLine);
    setEnabled(false);
}

void CrossLineSetWidget::datumSetBtnSlot() {
    MessagePassing::instance()->setCrossLineDatum(index, datumLineWidth->value(), isHLine);
}
