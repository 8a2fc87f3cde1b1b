#include "panels/camera/LensForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/NoWheelSlider.h"
#include "app/hub/UiSize.h"
#include "camera/UVCCamera_Ambrel.h"
#include "panels/camera/PanelParts.h"
#include "panels/camera/PanelPrompt.h"
#include "panels/camera/PanelScaling.h"
#include "panels/camera/PasswordDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {
const char* kLensIni = "./LensForm.ini";
const char* kLensPassword = "5225";
} // namespace

struct Ui_LensForm {
    QWidget *widgetTitle, *widgetLeft, *widgetRight;
    QLabel* labTitle;
    QWidget *widget05, *widget00, *widget01, *widget02, *widget04, *widget06, *widget03, *widget07;
    QLabel *labMain, *labPos, *labFocus, *labFocus_2, *labVideoOut;
    QLineEdit* lineEditMain;
    QRadioButton *rbtnCenter, *rbtnCustom;
    QToolButton *btnAuto, *btnOnce, *btnManual, *btnSub, *btnAdd, *btnSmall, *btnBig, *btnHot;
    NoWheelSlider* slider;
    QCheckBox *checkBox, *checkBoxLock;
    QComboBox* comboBox;

    template <class T> static T* make(QWidget* parent, const char* name) {
        auto* w = new T(parent);
        w->setObjectName(name);
        return w;
    }
    static QWidget* row(QWidget* form, QVBoxLayout* column, const char* name, int height = 40) {
        auto* w = make<QWidget>(form, name);
        w->setMinimumHeight(height);
        w->setMaximumHeight(height);
        auto* l = new QHBoxLayout(w);
        l->setObjectName(QString("layout_%1").arg(name));
        l->setContentsMargins(10, 0, 10, 0);
        column->addWidget(w);
        return w;
    }
    static QToolButton* tool(QWidget* parent, const char* name, int height) {
        auto* b = make<QToolButton>(parent, name);
        b->setMinimumHeight(height);
        b->setMaximumHeight(height);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        parent->layout()->addWidget(b);
        return b;
    }
    static QToolButton* step(QWidget* parent, const char* name) {
        auto* b = make<QToolButton>(parent, name);
        b->setMinimumSize(40, 40);
        b->setMaximumSize(1000, 40);
        parent->layout()->addWidget(b);
        return b;
    }
    template <class T> static T* add(QWidget* parent, const char* name, const QString& text = QString()) {
        auto* w = make<T>(parent, name);
        if constexpr (std::is_base_of_v<QLabel, T> || std::is_base_of_v<QAbstractButton, T>)
            w->setText(text);
        parent->layout()->addWidget(w);
        return w;
    }

    void setupUi(QWidget* form) {
        form->setObjectName("LensForm");
        form->resize(300, 360);
        form->setMinimumHeight(360);
        form->setMaximumHeight(360);
        auto* column = new QVBoxLayout(form);
        column->setObjectName("verticalLayout");
        column->setSpacing(0);
        column->setContentsMargins(0, 0, 0, 0);

        widgetTitle = PanelParts::titleRow(form, &labTitle); // scaled already
        widgetLeft = widgetTitle->findChild<QWidget*>("widgetLeft");
        widgetRight = widgetTitle->findChild<QWidget*>("widgetRight");
        column->addWidget(widgetTitle);

        widget05 = row(form, column, "widget05");
        labMain = add<QLabel>(widget05, "labMain");
        lineEditMain = add<QLineEdit>(widget05, "lineEditMain");
        lineEditMain->setMinimumHeight(30);
        lineEditMain->setMaximumHeight(30);
        lineEditMain->setEnabled(false);
        lineEditMain->setReadOnly(true);
        lineEditMain->setAlignment(Qt::AlignCenter);
        QFont mono("Consolas", 14);
        mono.setWeight(75);
        lineEditMain->setFont(mono);
        lineEditMain->setStyleSheet(
            "QLineEdit:disabled\n{\n\tbackground-color: rgb(0, 0, 0);\n\tcolor: rgb(255, 255, 0);\n}");

        widget00 = row(form, column, "widget00");
        labPos = add<QLabel>(widget00, "labPos");
        rbtnCenter = add<QRadioButton>(widget00, "rbtnCenter");
        rbtnCustom = add<QRadioButton>(widget00, "rbtnCustom");
        rbtnCenter->setChecked(true);

        widget01 = row(form, column, "widget01");
        btnAuto = tool(widget01, "btnAuto", 24);
        btnOnce = tool(widget01, "btnOnce", 24);
        btnManual = tool(widget01, "btnManual", 24);

        widget02 = row(form, column, "widget02");
        labFocus = add<QLabel>(widget02, "labFocus");
        btnSub = step(widget02, "btnSub");
        btnAdd = step(widget02, "btnAdd");

        widget04 = row(form, column, "widget04");
        labFocus_2 = add<QLabel>(widget04, "labFocus_2");
        btnSmall = step(widget04, "btnSmall");
        btnBig = step(widget04, "btnBig");

        widget06 = row(form, column, "widget06");
        slider = new NoWheelSlider(Qt::Horizontal, widget06);
        slider->setObjectName("slider");
        slider->setMinimumHeight(20);
        slider->setMaximumHeight(20);
        widget06->layout()->addWidget(slider);

        widget03 = row(form, column, "widget03");
        btnHot = tool(widget03, "btnHot", 24);
        checkBox = add<QCheckBox>(widget03, "checkBox");

        widget07 = row(form, column, "widget07");
        labVideoOut = add<QLabel>(widget07, "labVideoOut");
        comboBox = add<QComboBox>(widget07, "comboBox");
        comboBox->setMinimumHeight(22);
        comboBox->addItems({"HDMI(4K)", "HDMI(2K)", "UVC(4K)"});
        checkBoxLock = add<QCheckBox>(widget07, "checkBoxLock");
        column->addStretch(1);
    }
};

LensForm::LensForm(QWidget* parent) : QWidget(parent), ui(new Ui_LensForm) {
    ui->setupUi(this);
    initSize();
    setLanguageText();

    ui->slider->setRange(0, 160);
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    for (QToolButton* b : {ui->btnAuto, ui->btnOnce, ui->btnManual, ui->btnHot})
        b->setCheckable(true);

    // The camera's state is shown before anything is connected, so building
    // the panel sends no setting.
    if (UVCCamera_Ambrel* cam = lens()) {
        hub->paintAF();
        (cam->focusArea() == 0 ? ui->rbtnCenter : ui->rbtnCustom)->setChecked(true);
        if (cam->focusMode() == 0 || cam->focusMode() == 1) {
            const bool manual = cam->focusMode() == 0;
            (manual ? ui->btnManual : ui->btnOnce)->setChecked(true);
            ui->btnAdd->setEnabled(manual);
            ui->btnSub->setEnabled(manual);
        }
        showHeatState(cam->heatState());
        showLabMianDelay();
        ui->checkBox->setChecked(cam->readReg1C() != 0);
        ui->slider->setValue(cam->readReg1D());
        ui->comboBox->clear();
        ui->comboBox->addItems(cam->videoOutModes());
        ui->comboBox->setCurrentIndex(cam->readVideoOutMode());
        heatTimer = new QTimer(this);
        heatTimer->stop();
        heatTimer->setInterval(60000);
        connect(heatTimer, SIGNAL(timeout()), this, SLOT(timeoutSLOT()));
        heatTimer->start();
    }

    connect(ui->rbtnCenter, SIGNAL(toggled(bool)), this, SLOT(rbtnCenterToggled(bool)));
    for (QToolButton* b : {ui->btnAuto, ui->btnOnce, ui->btnManual})
        connect(b, SIGNAL(clicked()), this, SLOT(btnAutoOnceManualClick()));
    connect(ui->btnAdd, SIGNAL(clicked()), this, SLOT(btnAddSubClick()));
    connect(ui->btnSub, SIGNAL(clicked()), this, SLOT(btnAddSubClick()));
    connect(ui->btnHot, SIGNAL(clicked()), this, SLOT(btnHotClick()));
    connect(ui->btnBig, SIGNAL(pressed()), this, SLOT(btnBigClick()));
    connect(ui->btnBig, SIGNAL(released()), this, SLOT(btnBigClickStop()));
    connect(ui->btnSmall, SIGNAL(pressed()), this, SLOT(btnSmallClick()));
    connect(ui->btnSmall, SIGNAL(released()), this, SLOT(btnSmallClickStop()));

    zoomTimer = new QTimer(this);
    zoomTimer->stop();
    zoomTimer->setInterval(zoomInterval);
    connect(zoomTimer, SIGNAL(timeout()), this, SLOT(timeoutDigitalSLOT()));

    connect(ui->checkBox, SIGNAL(toggled(bool)), this, SLOT(checkBoxToggled(bool)));
    connect(ui->slider, SIGNAL(sliderPressed()), this, SLOT(sliderPressedSLOT()));
    connect(ui->slider, SIGNAL(sliderReleased()), this, SLOT(sliderReleasedSLOT()));
    connect(ui->comboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(currentIndexChangedSLOT(int)));
    ui->checkBoxLock->setChecked(true);
    ui->comboBox->setEnabled(false);
    connect(ui->checkBoxLock, SIGNAL(toggled(bool)), this, SLOT(checkBoxLockToggled(bool)));
}

LensForm::~LensForm() { delete ui; }

UVCCamera_Ambrel* LensForm::lens() {
    return qobject_cast<UVCCamera_Ambrel*>(MessagePassing::instance()->currentCamera());
}

QString LensForm::magnificationText(int a, int b) {
    const double m = std::trunc(a * ((b + 14.0) / 14.0) + 0.5) / 10.0;
    return QString("%1x").arg(m);
}

void LensForm::initSize() {
    using namespace PanelScaling;
    using PanelParts::scaled;
    using PanelParts::scaleLayouts;
    setMaximumHeight(scaled(maximumHeight()));
    setMinimumHeight(scaled(minimumHeight()));
    resize(scaled(width()), scaled(height()));
    for (QWidget* w : {ui->widget00, ui->widget01, ui->widget02, ui->widget03, ui->widget04, ui->widget05,
                       ui->widget06, ui->widget07, static_cast<QWidget*>(ui->lineEditMain)})
        scaleHeights(w);
    const QPair<QToolButton*, const char*> icons[] = {
        {ui->btnAdd, "btnAdd"}, {ui->btnSub, "btnSub"}, {ui->btnSmall, "btnSmall"}, {ui->btnBig, "btnBig"}};
    for (const auto& [b, icon] : icons) {
        const QSize lo = scaleSize(scaleSize(b->minimumSize(), uiSizeFactor), 0.1);
        const QSize hi = scaleSize(scaleSize(b->maximumSize(), uiSizeFactor), 0.1);
        b->setMinimumSize(lo);
        b->setMaximumSize(hi);
        b->setText(QString());
        b->setAutoRaise(true);
        b->setIconSize(lo);
        b->setIcon(QIcon(QString(":/res/%1_%2.png").arg(icon).arg(uiSizeFactor)));
    }
    MessagePassing* hub = MessagePassing::instance();
    for (QRadioButton* r : findChildren<QRadioButton*>())
        r->setStyleSheet(hub->getQRadioButtonStyle());
    for (QCheckBox* c : findChildren<QCheckBox*>())
        c->setStyleSheet(hub->getQCheckBoxStyle());
    for (QToolButton* b : {ui->btnAuto, ui->btnOnce, ui->btnManual, ui->btnHot}) {
        scaleHeights(b);
        b->setStyleSheet(hub->getQToolButtonStyle());
    }
    scaleHeights(ui->slider);
    ui->slider->setStyleSheet(hub->getQSliderStyle());
    scaleHeights(ui->comboBox);
    ui->comboBox->setStyleSheet(hub->getQComboBoxStyle());
    scaleLayouts(this);
}

void LensForm::setLanguageText() {
    textMap["labTitle"] = QStringList{"镜头设置", "Lens Setting", "鏡頭設置"};
    textMap["labPos"] = QStringList{"对焦位置：", "Position：", "對焦位置："};
    textMap["labFocus"] = QStringList{"焦距位置：", "Focus：", "焦距位置："};
    textMap["labFocus_2"] = QStringList{"变倍：", "Zooming：", "變倍："};
    textMap["rbtnCenter"] = QStringList{"中心", "Center", "中心"};
    textMap["rbtnCustom"] = QStringList{"点选", "Custom", "點選"};
    textMap["btnAuto"] = QStringList{"自动聚焦", "Auto", "自動聚焦"};
    textMap["btnOnce"] = QStringList{"一键聚焦", "Once", "一鍵聚焦"};
    textMap["btnManual"] = QStringList{"手动聚焦", "Manual", "手動聚焦"};
    textMap["checkBox"] = QStringList{"数码放大", "Digital", "數碼放大"};
    textMap["btnHot"] = QStringList{"开启加热镜头控制器", "Turn on the heating lens Controller", "開啟加熱鏡頭控制器"};
    textMap["labMain"] = QStringList{"主物镜倍率：", "Main object：", "主物鏡倍率："};
    textMap["labVideoOut"] = QStringList{"视频输出：", "Video Out：", "視頻輸出："};
    textMap["checkBoxLock"] = QStringList{"锁定", "Lock", "鎖定"};
}

void LensForm::changeLanguageSLOT(int language) {
    if (language >= 0 && language <= 2)
        PanelParts::applyTexts(this, textMap, language);
}

void LensForm::rbtnCenterToggled(bool checked) {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    cam->setFocusArea(checked ? 0 : 1);
    cam->readFocusState();
    MessagePassing::instance()->paintAF();
}

void LensForm::btnAutoOnceManualClick() {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    for (QToolButton* b : {ui->btnAuto, ui->btnOnce, ui->btnManual})
        b->setChecked(false);
    QObject* from = sender();
    const int mode = from == ui->btnManual ? 0 : from == ui->btnOnce ? 1 : from == ui->btnAuto ? 2 : -1;
    if (mode < 0)
        return;
    cam->setFocusMode(mode);
    static_cast<QToolButton*>(from)->setChecked(true);
    ui->btnAdd->setEnabled(mode == 0);
    ui->btnSub->setEnabled(mode == 0);
    cam->readFocusState();
    MessagePassing::instance()->paintAF();
}

void LensForm::btnAddSubClick() {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    if (sender() == ui->btnAdd)
        cam->lensStepAdd();
    else if (sender() == ui->btnSub)
        cam->lensStepSub();
}

void LensForm::showHeatState(int state) {
    const QSignalBlocker block(ui->btnHot);
    ui->btnHot->setEnabled(state == 1);
    ui->btnHot->setChecked(state != 1);
}

void LensForm::btnHotClick() {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    cam->switchHeat();
    showHeatState(cam->readHeatState());
}

void LensForm::timeoutSLOT() {
    if (UVCCamera_Ambrel* cam = lens())
        showHeatState(cam->readHeatState());
}

void LensForm::zoomStart(void (UVCCamera_Ambrel::*start)()) {
    zoomTimer->stop();
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    (cam->*start)();
    zoomTimer->start(zoomInterval);
}

void LensForm::zoomStop(void (UVCCamera_Ambrel::*stop)()) {
    zoomTimer->stop();
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    (cam->*stop)();
    QTimer::singleShot(zoomInterval, this, SLOT(showLabMianDelay()));
}

void LensForm::btnBigClick() { zoomStart(&UVCCamera_Ambrel::zoomBigStart); }
void LensForm::btnBigClickStop() { zoomStop(&UVCCamera_Ambrel::zoomBigStop); }
void LensForm::btnSmallClick() { zoomStart(&UVCCamera_Ambrel::zoomSmallStart); }
void LensForm::btnSmallClickStop() { zoomStop(&UVCCamera_Ambrel::zoomSmallStop); }

void LensForm::showLabMianDelay() {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    cam->readDigitalZoom();
    ui->lineEditMain->setText(magnificationText(cam->digitalZoom(), cam->digitalZoom2()));
    const QSignalBlocker block(ui->slider);
    ui->slider->setValue(cam->readReg1D());
}

void LensForm::timeoutDigitalSLOT() { showLabMianDelay(); }

void LensForm::checkBoxToggled(bool checked) {
    zoomTimer->stop();
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    cam->setReg1C(checked ? 1 : 0);
    QTimer::singleShot(zoomInterval, this, SLOT(showLabMianDelay()));
}

void LensForm::sliderPressedSLOT() { zoomTimer->stop(); }

void LensForm::sliderReleasedSLOT() {
    zoomTimer->stop();
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    cam->setReg1D(ui->slider->value());
    zoomTimer->start(zoomInterval);
}

void LensForm::currentIndexChangedSLOT(int index) {
    UVCCamera_Ambrel* cam = lens();
    if (!cam)
        return;
    const bool confirmed = PanelPrompt::ask({"切换视频输出，将重启相机。请确认？",
                                             "Change Video Output Mode? This Operation Will Restart Camera. Is OK?",
                                             "切換視頻輸出，將重啟相機。請確認？"},
                                            {"确定", "Ok", "確定"}, {"取消", "Cancel", "取消"}, false);
    if (!confirmed) {
        const QSignalBlocker block(ui->comboBox);
        ui->comboBox->setCurrentIndex(cam->readVideoOutMode());
        return;
    }
    cam->setVideoOutMode(index);
    if (index == 1 || index == 3) {
        cam->setResolution(1);
        MessagePassing::instance()->WFRenewData(false);
    } else if (index == 2) {
        cam->setResolution(0);
        MessagePassing::instance()->WFRenewData(true);
    }
    ui->comboBox->setEnabled(false);
    const QSignalBlocker block(ui->checkBoxLock);
    ui->checkBoxLock->setChecked(true);
}

void LensForm::checkBoxLockToggled(bool checked) {
    if (checked) {
        ui->comboBox->setEnabled(false);
        return;
    }
    // The stored password is read before the dialog runs, so a password
    // changed inside the dialog (whose first field holds the old one) opens it.
    if (PasswordDialog::unlock(kLensIni, kLensPassword)) {
        ui->comboBox->setEnabled(true);
        return;
    }
    const QSignalBlocker block(ui->checkBoxLock);
    ui->checkBoxLock->setChecked(true);
}
