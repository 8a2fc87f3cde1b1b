#include "panels/measure/LineForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "app/hub/UiSize.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kIni = "./LineFormSet.ini";

} // namespace

int LineForm::storedIndex(const QSettings& settings, const char* key, int count) {
    bool ok = false;
    const int v = settings.value(key, 0).toInt(&ok);
    return ok && v >= 0 && v < count ? v : 0;
}

LineForm::LineForm(QWidget* parent) : QWidget(parent) {
    setupUi();
    initSize();
    setLanguageText();
    PanelKit::fillColourBox(colorBox);
    horizontalLabel->setPixmap(QPixmap(QString(":/res/LineForm/btnH_%1.png").arg(uiSizeFactor)));
    verticalLabel->setPixmap(QPixmap(QString(":/res/LineForm/btnV_%1.png").arg(uiSizeFactor)));

    MessagePassing* hub = MessagePassing::instance();
    const QSettings ini(RegularFile::settingsName(kIni), QSettings::IniFormat);
    const int colour = storedIndex(ini, "colorIndex", colorList.size());
    colorBox->setCurrentIndex(colour);
    hub->setLineColor(colour);
    const bool hidden = ini.value("isHide", false).toBool();
    hideCheck->setChecked(hidden);
    hub->setLineVisible(!hidden);

    connect(btnAddH, SIGNAL(clicked()), this, SLOT(btnAddHClick()));
    connect(btnSubH, SIGNAL(clicked()), this, SLOT(btnSubHClick()));
    connect(btnAddV, SIGNAL(clicked()), this, SLOT(btnAddVClick()));
    connect(btnSubV, SIGNAL(clicked()), this, SLOT(btnSubVClick()));
    connect(btnHOK, SIGNAL(clicked()), this, SLOT(btnHOKClick()));
    connect(btnVOK, SIGNAL(clicked()), this, SLOT(btnVOKClick()));
    connect(delAllBtn, SIGNAL(clicked()), this, SLOT(delAllCrossLine()));
    connect(hideCheck, SIGNAL(toggled(bool)), this, SLOT(hideCheckToggled(bool)));
    connect(colorBox, SIGNAL(currentIndexChanged(int)), this, SLOT(colorBoxIndexChanged(int)));
    connect(comboBoxWidth, SIGNAL(currentIndexChanged(int)), this, SLOT(slo_ComboBoxWidthChanged(int)));
    connect(hub, SIGNAL(sendCrossLineInfoSIGNAL(int, int, QColor)), this,
            SLOT(sendCrossLineInfoSLOT(int, int, QColor)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(changeResolutionSIGNAL()), this, SLOT(changeResolutionSLOT()));
    changeLanguageSLOT(hub->language());

    const int width = storedIndex(ini, "LineWidth", 6);
    {
        const QSignalBlocker block(comboBoxWidth);
        comboBoxWidth->setCurrentIndex(width);
        hub->setAllCrossLineWidth(width + 1);
        PanelKit::writeKey(kIni, "LineWidth", width);
    }
    hub->getCrossLineNum();
    QTimer::singleShot(1000, this, SLOT(onesecondDelay()));
}

LineForm::~LineForm() = default;

void LineForm::setupUi() {
    setObjectName("LineForm");
    resize(205, 229);
    auto* outer = new QGridLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* title = PanelKit::titleStrip(this);
    title->findChild<QLabel*>("labTitle")->setMinimumHeight(30);
    title->findChild<QLabel*>("labTitle")->setMaximumHeight(QWIDGETSIZE_MAX);
    outer->addWidget(title, 0, 0);
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    auto* body = new QGridLayout(content);
    body->setSpacing(0);
    body->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(content, 1, 0);

    auto tool = [](QWidget* parent, const char* name, QSize size) {
        auto* b = new QToolButton(parent);
        b->setObjectName(name);
        b->setMinimumSize(size);
        b->setMaximumSize(size);
        b->setFocusPolicy(Qt::ClickFocus);
        return b;
    };
    auto countRow = [&](const char* rowName, const char* labelName, const char* boxName, const char* sub,
                        const char* add, const char* ok, QLabel*& label, QSpinBox*& box, QToolButton*& minus,
                        QToolButton*& plus, QToolButton*& okButton) {
        auto* w = new QWidget(content);
        w->setObjectName(rowName);
        auto* grid = new QGridLayout(w);
        grid->setSpacing(5);
        label = new QLabel(w);
        label->setObjectName(labelName);
        label->setMinimumSize(23, 23);
        label->setMaximumSize(23, 23);
        label->setScaledContents(true);
        box = new QSpinBox(w);
        box->setObjectName(boxName);
        box->setMinimumHeight(24);
        box->setMaximumHeight(24);
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        box->setAlignment(Qt::AlignCenter);
        box->setFrame(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setKeyboardTracking(false);
        box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
        box->setRange(0, 100);
        minus = tool(w, sub, QSize(23, 23));
        plus = tool(w, add, QSize(23, 23));
        minus->setAutoRepeat(true);
        plus->setAutoRepeat(true);
        okButton = new QToolButton(w);
        okButton->setObjectName(ok);
        okButton->setMinimumHeight(24);
        okButton->setMaximumHeight(24);
        okButton->setFocusPolicy(Qt::ClickFocus);
        grid->addWidget(label, 0, 0);
        grid->addWidget(minus, 0, 1);
        grid->addWidget(box, 0, 2);
        grid->addWidget(plus, 0, 3);
        grid->addWidget(okButton, 0, 4);
        return w;
    };
    body->addWidget(countRow("widget_01", "horizontalLabel", "horizontalNumber", "btnSubH", "btnAddH", "btnHOK",
                             horizontalLabel, horizontalNumber, btnSubH, btnAddH, btnHOK),
                    0, 0);
    body->addWidget(countRow("widget_02", "verticalLabel", "verticalNumber", "btnSubV", "btnAddV", "btnVOK",
                             verticalLabel, verticalNumber, btnSubV, btnAddV, btnVOK),
                    1, 0);

    QWidget* colourRow = PanelKit::row(content, "widget_03", 3, 10);
    auto* colourLayout = static_cast<QHBoxLayout*>(colourRow->layout());
    colorBox = new QComboBox(colourRow);
    colorBox->setObjectName("colorBox");
    colorBox->setMinimumHeight(24);
    colorBox->setMaximumHeight(24);
    delAllBtn = new QToolButton(colourRow);
    delAllBtn->setObjectName("delAllBtn");
    delAllBtn->setMinimumHeight(24);
    delAllBtn->setMaximumHeight(24);
    colourLayout->addWidget(colorBox);
    colourLayout->addWidget(delAllBtn);
    body->addWidget(colourRow, 2, 0);

    auto* widthRow = new QWidget(content);
    widthRow->setObjectName("widget");
    auto* widthLayout = new QGridLayout(widthRow);
    widthLayout->setSpacing(0);
    widthLayout->setContentsMargins(10, 0, 10, 0);
    auto* sizeLabel = new QLabel(widthRow);
    sizeLabel->setObjectName("label_size");
    comboBoxWidth = new QComboBox(widthRow);
    comboBoxWidth->setObjectName("comboBoxWidth");
    comboBoxWidth->setMaximumHeight(24);
    comboBoxWidth->addItems({"1", "2", "3", "4", "5", "6"});
    hideCheck = new QCheckBox(widthRow);
    hideCheck->setObjectName("hideCheck");
    hideCheck->setFocusPolicy(Qt::NoFocus);
    widthLayout->addWidget(sizeLabel, 0, 0);
    widthLayout->addWidget(comboBoxWidth, 0, 1);
    widthLayout->addWidget(hideCheck, 0, 2);
    body->addWidget(widthRow, 3, 0);

    QWidget* reticleRow = PanelKit::row(content, "widget_04", 0, 10);
    auto* reticleLayout = static_cast<QHBoxLayout*>(reticleRow->layout());
    checkBoxTen = new QCheckBox(reticleRow);
    checkBoxTen->setObjectName("checkBoxTen");
    checkBoxCenter = new QCheckBox(reticleRow);
    checkBoxCenter->setObjectName("checkBoxCenter");
    for (QCheckBox* c : {checkBoxTen, checkBoxCenter}) {
        c->setFocusPolicy(Qt::NoFocus);
        reticleLayout->addWidget(c);
    }
    body->addWidget(reticleRow, 4, 0);
}

void LineForm::initSize() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    findChild<QWidget*>("widgetTitle")->setMaximumHeight(PanelKit::truncated(40));
    for (QWidget* w : {static_cast<QWidget*>(horizontalLabel), static_cast<QWidget*>(verticalLabel)})
        PanelKit::scaleMinMax(w);
    for (QToolButton* b : {btnAddH, btnAddV, btnSubH, btnSubV}) {
        PanelKit::scaleMinMax(b);
        PanelKit::stepButton(b, b->objectName().contains("Add"));
    }
    MessagePassing* hub = MessagePassing::instance();
    for (QComboBox* c : findChildren<QComboBox*>()) {
        PanelKit::scaleHeights(c);
        c->setStyleSheet(hub->getQComboBoxStyle());
    }
    for (QCheckBox* c : {checkBoxTen, checkBoxCenter, hideCheck})
        c->setStyleSheet(hub->getQCheckBoxStyle());
    for (QToolButton* b : {delAllBtn, btnHOK, btnVOK}) {
        PanelKit::scaleHeights(b);
        b->setStyleSheet(hub->getQToolButtonStyle());
    }
    for (QSpinBox* s : {horizontalNumber, verticalNumber}) {
        PanelKit::scaleHeights(s);
        s->setStyleSheet(hub->getQSpinBoxStyle());
    }
    PanelKit::scaleLayouts(this);
}

void LineForm::setLanguageText() {
    PanelKit::fill(m_texts, {
        {"labTitle", "刻度线设置", "Line Setting", "刻度線設置"},
        {"btnOK", "确定", "OK", "確定"},
        {"delAllBtn", "删除所有", "Delete All", "刪除所有"},
        {"hideCheck", "隐 藏", "Hide", "隱藏"},
        {"checkBoxTen", "十字刻度尺显示", "Crosshair Show", "十字刻度尺顯示"},
        {"checkBoxCenter", "居中", "Center", "居中"},
        {"label_size", "线宽", "Line Width", "綫寬"},
    });
}

void LineForm::changeLanguageSLOT(int language) {
    findChild<QLabel*>("labTitle")->setText(PanelKit::text(m_texts, "labTitle", language));
    btnHOK->setText(PanelKit::text(m_texts, "btnOK", language));
    btnVOK->setText(PanelKit::text(m_texts, "btnOK", language));
    delAllBtn->setText(PanelKit::text(m_texts, "delAllBtn", language));
    hideCheck->setText(PanelKit::text(m_texts, "hideCheck", language));
    checkBoxTen->setText(PanelKit::text(m_texts, "checkBoxTen", language));
    checkBoxCenter->setText(PanelKit::text(m_texts, "checkBoxCenter", language));
    findChild<QLabel*>("label_size")->setText(PanelKit::text(m_texts, "label_size", language));
}

void LineForm::btnAddHClick() { horizontalNumber->setValue(horizontalNumber->value() + 1); }
void LineForm::btnSubHClick() { horizontalNumber->setValue(horizontalNumber->value() - 1); }
void LineForm::btnAddVClick() { verticalNumber->setValue(verticalNumber->value() + 1); }
void LineForm::btnSubVClick() { verticalNumber->setValue(verticalNumber->value() - 1); }
void LineForm::btnHOKClick() { sendCount(horizontalNumber, true); }
void LineForm::btnVOKClick() { sendCount(verticalNumber, false); }

void LineForm::sendCount(QSpinBox* box, bool horizontal) {
    box->setEnabled(false);
    MessagePassing::instance()->setLineNum(box->value(), horizontal);
    box->setMinimum(box->value());
    box->setEnabled(true);
}

void LineForm::resetCount(QSpinBox* box, int count) {
    box->setMinimum(count);
    box->setValue(count);
}

void LineForm::sendCrossLineInfoSLOT(int hor, int ver, QColor color) {
    Q_UNUSED(color)
    resetCount(horizontalNumber, hor);
    resetCount(verticalNumber, ver);
}

void LineForm::delAllCrossLine() {
    static const char* const texts[3][4] = {{"删除刻度线", "是否删除所有刻度线？", "删除", "取消"},
                                            {"Del Lines", "Del All Lines？", "Del", "Cancel"},
                                            {"刪除刻度線", "是否刪除所有刻度線？", "刪除", "取消"}};
    MessagePassing* hub = MessagePassing::instance();
    const int lang = std::clamp(hub->language(), 0, 2);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts[lang][0]), QString::fromUtf8(texts[lang][1]));
    box.setWindowIcon(QIcon());
    QPushButton* del = box.addButton(QString::fromUtf8(texts[lang][2]), QMessageBox::AcceptRole);
    box.addButton(QString::fromUtf8(texts[lang][3]), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() != del)
        return;
    hub->removeAllLine();
    resetCount(horizontalNumber, 0);
    resetCount(verticalNumber, 0);
}

void LineForm::hideCheckToggled(bool hidden) {
    MessagePassing::instance()->setLineVisible(!hidden);
    PanelKit::writeKey(kIni, "isHide", hidden);
}

QColor LineForm::currentColour() const { return colorList.value(colorBox->currentIndex()); }

void LineForm::colorBoxIndexChanged(int index) {
    MessagePassing* hub = MessagePassing::instance();
    hub->setLineColor(index);
    if (QSettings(RegularFile::settingsName(kIni), QSettings::IniFormat).value("isTen", false).toBool()) {
        hub->setTenVisible(false);
        hub->setTenVisible(true);
        hub->setTenColorScale(currentColour(), true);
    }
    PanelKit::writeKey(kIni, "colorIndex", index);
}

void LineForm::slo_ComboBoxWidthChanged(int index) {
    MessagePassing::instance()->setAllCrossLineWidth(index + 1);
    PanelKit::writeKey(kIni, "LineWidth", index);
}

void LineForm::checkBoxTenToggled(bool on) {
    MessagePassing* hub = MessagePassing::instance();
    hub->setTenVisible(on);
    hub->setTenColorScale(currentColour(), true);
    PanelKit::writeKey(kIni, "isTen", on);
    checkBoxCenter->setEnabled(on);
}

void LineForm::checkBoxCenterToggled(bool on) {
    MessagePassing::instance()->setTenCenter(on);
    PanelKit::writeKey(kIni, "isTenCenter", on);
}

void LineForm::onesecondDelay() {
    const QSettings ini(RegularFile::settingsName(kIni), QSettings::IniFormat);
    const bool ten = ini.value("isTen", false).toBool();
    const bool centre = ini.value("isTenCenter", false).toBool();
    checkBoxTen->setChecked(ten);
    checkBoxCenter->setChecked(centre);
    MessagePassing::instance()->setTenCenter(centre);
    checkBoxCenter->setEnabled(ten);
    connect(checkBoxTen, SIGNAL(toggled(bool)), this, SLOT(checkBoxTenToggled(bool)));
    connect(checkBoxCenter, SIGNAL(toggled(bool)), this, SLOT(checkBoxCenterToggled(bool)));
}

void LineForm::changeResolutionSLOT() {
    MessagePassing::instance()->removeAllLine();
    resetCount(horizontalNumber, 0);
    resetCount(verticalNumber, 0);
    checkBoxTen->setChecked(false);
}
