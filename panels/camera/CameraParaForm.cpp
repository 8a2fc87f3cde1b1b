#include "panels/camera/CameraParaForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "panels/camera/ArgsDialog.h"
#include "platform/FileNames.h"
#include "panels/camera/PanelParts.h"
#include "panels/camera/PanelScaling.h"
#include "panels/camera/PasswordDialog.h"
#include "platform/RegularFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
struct SliderRow {
    const char* labelRow;
    const char* label;
    const char* prefix;
    int subId;
    int addId;
};
// By control key 0-9. Green and blue take step ids out of key order.
const SliderRow kSliderRows[10] = {
    {"widget_00", "label_3", "Exposure", 0, 1},     {"widget_02", "label_4", "AEBest", 2, 3},
    {"widget_04", "label_5", "GlobalGain", 4, 5},   {"widget_06", "label_6", "RedGain", 6, 7},
    {"widget_08", "labelGreen", "GreenGain", 18, 19}, {"widget_10", "label_7", "BlueGain", 8, 9},
    {"widget_12", "label_8", "Saturation", 10, 11}, {"widget_14", "label_9", "Contrast", 12, 13},
    {"widget_16", "label_10", "Sharpen", 14, 15},   {"widget_18", "label_11", "HDR", 16, 17},
};
// Step id / 2 -> control key.
const int kStepKeys[10] = {CtlExposure, CtlTarget,   CtlGain,     CtlRedGain,   CtlBlueGain,
                           CtlSaturation, CtlContrast, CtlSharpness, CtlHDR, CtlGreenGain};

struct OptionRow {
    const char* row;
    const char* label;
    QStringList buttons; // by id
};
// In panel order: mirror, flip, BW, 3D NR, purple fringe, exposure type, mode.
const OptionRow kOptionRows[7] = {
    {"widgetMirr", "labMirr", {"rbtnMirrSetClose", "rbtnMirrSetOpen"}},
    {"widgetFilp", "labFilp", {"rbtnFilpSetClose", "rbtnFilpSetOpen"}},
    {"widgetBw", "labBwMode", {"rbtnBwModeClose", "rbtnBwModeOpen"}},
    {"widget3D", "lab3DNR", {"rbtn3dClose", "rbtn3dOpen"}},
    {"widget_RmPurple", "labRmPurple", {"rbtnRmPurpleClose", "rbtnRmPurpleOpen"}},
    {"widgetLong", "labExposure", {"rbtnShortExposure", "rbtnLongExposure"}},
    {"widgetJinXiang", "labCamMode", {"rbtDanTong", "rbtnJinXiang", "rbtShengWu"}},
};
enum OptionIndex { RowMirr, RowFilp, RowBw, Row3D, RowPurple, RowLong, RowMode };

const char* kLockIni = "./CameraParaForm.ini";
} // namespace

struct Ui_CameraParaForm {
    QVBoxLayout* verticalLayout;
    QLabel* labels[10];
    QLineEdit* edits[10];
    QSlider* sliders[10];
    QToolButton* subs[10];
    QToolButton* adds[10];
    QWidget* labelRows[10];
    QWidget* sliderRows[10];
    QWidget* optionRows[7];
    QRadioButton* options[7][3] = {};
    QWidget *widget, *widget_2;
    QToolButton *btnAWB, *btnAE, *btnReset, *btnSync, *btnArgs;
    QCheckBox* checkBoxLock;

    template <class T> static T* make(QWidget* parent, const QString& name) {
        auto* w = new T(parent);
        w->setObjectName(name);
        return w;
    }
    QWidget* row(QWidget* form, const QString& name, int height, int spacing = 6) {
        auto* w = make<QWidget>(form, name);
        w->setMinimumHeight(height);
        w->setMaximumHeight(height);
        auto* l = new QHBoxLayout(w);
        l->setObjectName("layout_" + name);
        l->setContentsMargins(10, 0, 10, 0);
        l->setSpacing(spacing);
        verticalLayout->addWidget(w);
        return w;
    }

    void setupUi(QWidget* form) {
        form->setObjectName("CameraParaForm");
        form->resize(274, 920);
        form->setAttribute(Qt::WA_StyledBackground);
        form->setStyleSheet("QWidget#CameraParaForm{background-color: rgb(171, 171, 171);}");
        verticalLayout = new QVBoxLayout(form);
        verticalLayout->setObjectName("verticalLayout");
        verticalLayout->setSpacing(0);
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        for (int k = 0; k < 10; ++k) {
            const SliderRow& r = kSliderRows[k];
            labelRows[k] = row(form, r.labelRow, 30);
            labels[k] = make<QLabel>(labelRows[k], r.label);
            edits[k] = make<QLineEdit>(labelRows[k], QString(r.prefix) + "Edit");
            edits[k]->setReadOnly(true);
            edits[k]->setAlignment(Qt::AlignCenter);
            edits[k]->setMaximumSize(100, 24);
            edits[k]->setStyleSheet("background-color: #D3D3D3;\nborder:0px solid black;\nborder-radius:2px;");
            labelRows[k]->layout()->addWidget(labels[k]);
            static_cast<QHBoxLayout*>(labelRows[k]->layout())->addStretch(1);
            labelRows[k]->layout()->addWidget(edits[k]);

            sliderRows[k] = row(form, QString("widget_%1").arg(2 * k + 1, 2, 10, QChar('0')), 23, 10);
            subs[k] = make<QToolButton>(sliderRows[k], QString(r.prefix) + "Sub");
            sliders[k] = make<QSlider>(sliderRows[k], QString(r.prefix) + "Slider");
            adds[k] = make<QToolButton>(sliderRows[k], QString(r.prefix) + "Add");
            sliders[k]->setOrientation(Qt::Horizontal);
            sliders[k]->setMinimumHeight(20);
            sliders[k]->setMaximumHeight(20);
            for (QToolButton* b : {subs[k], adds[k]}) {
                b->setMinimumSize(23, 23);
                b->setMaximumSize(23, 23);
                b->setAutoRaise(true);
            }
            subs[k]->setText("-");
            adds[k]->setText("+");
            sliderRows[k]->layout()->addWidget(subs[k]);
            sliderRows[k]->layout()->addWidget(sliders[k]);
            sliderRows[k]->layout()->addWidget(adds[k]);
        }
        QPalette exposure = sliders[0]->palette();
        exposure.setColor(QPalette::Highlight, QColor(255, 153, 255));
        exposure.setColor(QPalette::Link, QColor(255, 255, 216));
        sliders[0]->setPalette(exposure);

        for (int i = 0; i < 7; ++i) {
            optionRows[i] = row(form, kOptionRows[i].row, 40);
            optionRows[i]->layout()->addWidget(make<QLabel>(optionRows[i], kOptionRows[i].label));
            for (int id = 0; id < kOptionRows[i].buttons.size(); ++id) {
                options[i][id] = make<QRadioButton>(optionRows[i], kOptionRows[i].buttons[id]);
                optionRows[i]->layout()->addWidget(options[i][id]);
            }
        }

        widget = make<QWidget>(form, "widget");
        widget->setMinimumHeight(110);
        widget->setMaximumHeight(110);
        auto* grid = new QGridLayout(widget);
        grid->setObjectName("gridLayout");
        grid->setSpacing(10);
        grid->setContentsMargins(10, 5, 10, 5);
        auto command = [&](const char* name, int r, int c) {
            auto* b = make<QToolButton>(widget, name);
            b->setMinimumHeight(24);
            b->setMaximumHeight(24);
            b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            grid->addWidget(b, r, c);
            return b;
        };
        btnAWB = command("btnAWB", 0, 0);
        btnAE = command("btnAE", 0, 2);
        btnReset = command("btnReset", 1, 0);
        btnSync = command("btnSync", 1, 2);
        widget_2 = make<QWidget>(widget, "widget_2");
        auto* lockRow = new QHBoxLayout(widget_2);
        lockRow->setObjectName("horizontalLayout_lock");
        lockRow->setContentsMargins(20, 0, 0, 0);
        checkBoxLock = make<QCheckBox>(widget_2, "checkBoxLock");
        lockRow->addWidget(checkBoxLock);
        grid->addWidget(widget_2, 2, 0);
        btnArgs = command("btnArgs", 2, 2);
        btnAE->setCheckable(true);
        verticalLayout->addWidget(widget);
        verticalLayout->addStretch(1);
    }
};

CameraParaForm::CameraParaForm(QWidget* parent) : QWidget(parent), ui(new Ui_CameraParaForm) {
    ui->setupUi(this);
    initSize();
    setLanguageText();

    connect(ui->btnAWB, SIGNAL(clicked()), this, SLOT(btnAWBClick()));
    connect(ui->btnAE, SIGNAL(clicked()), this, SLOT(btnAEClick()));
    ui->btnAE->setCheckable(true);

    QButtonGroup** groups[7] = {&btnGroupMirr, &btnGroupFilp,    &btnGroupBwMode,  &btnGroup3DNR,
                                &btnGroupExposure, &btnGroupJinXiang, &btnGroupRmPurple};
    const int rows[7] = {RowMirr, RowFilp, RowBw, Row3D, RowLong, RowMode, RowPurple};
    const char* handlers[7] = {SLOT(btnGroupMirrClick(int)),     SLOT(btnGroupFilpClick(int)),
                            SLOT(btnGroupBwModeClick(int)),   SLOT(btnGroup3DNRClick(int)),
                            SLOT(btnGroupExposureClick(int)), SLOT(btnGroupJinXiangClick(int)),
                            SLOT(btnGroupRmPurpleClick(int))};
    for (int g = 0; g < 7; ++g) {
        *groups[g] = new QButtonGroup(this);
        for (int id = 0; id < 3; ++id)
            if (QRadioButton* b = ui->options[rows[g]][id])
                (*groups[g])->addButton(b, id);
        connect(*groups[g], SIGNAL(buttonClicked(int)), this, handlers[g]);
    }
    btnGroupAddSub = new QButtonGroup(this);
    for (int k = 0; k < 10; ++k) {
        btnGroupAddSub->addButton(ui->subs[k], kSliderRows[k].subId);
        btnGroupAddSub->addButton(ui->adds[k], kSliderRows[k].addId);
    }
    connect(btnGroupAddSub, SIGNAL(buttonClicked(int)), this, SLOT(btnGroupAddSubClick(int)));

    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(initImgEffectSIGNAL()), this, SLOT(initImgEffectSLOT()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(argsNewSIGNAL(QString)), this, SLOT(argsNewSLOT(QString)));
    connect(hub, SIGNAL(argsDelSIGNAL(QString)), this, SLOT(argsDelSLOT(QString)));
    connect(hub, SIGNAL(argsLoadSIGNAL(QString)), this, SLOT(argsLoadSLOT(QString)));
    connect(hub, SIGNAL(setAEStateSIGNAL()), this, SLOT(setAEStateSLOT()));
    connect(hub, SIGNAL(syncRGBGainSINGAL()), this, SLOT(syncRGBGainSLOT()));
    connect(hub, SIGNAL(syncExposureSINGAL()), this, SLOT(syncExposureSLOT()));
    connect(hub, SIGNAL(addIconAWBSIGNAL()), this, SLOT(addIconAWBSLOT()));
    connect(hub, SIGNAL(removeIconAWBSIGNAL()), this, SLOT(removeIconAWBSLOT()));
    changeLanguageSLOT(hub->language());

    for (int k = 0; k < 10; ++k)
        sliderMap[k] = ui->sliders[k];
    for (QSlider* s : sliderMap) {
        s->setFocusPolicy(Qt::NoFocus);
        connect(s, SIGNAL(valueChanged(int)), this, SLOT(sliderValueChanged(int)));
        connect(s, SIGNAL(sliderReleased()), this, SLOT(sliderReleasedSLOT()));
    }
    connect(ui->btnSync, SIGNAL(clicked()), this, SLOT(btnSyncClick()));
    connect(ui->btnArgs, SIGNAL(clicked()), this, SLOT(btnArgsClick()));
    connect(ui->btnReset, SIGNAL(clicked()), this, SLOT(btnResetClick()));

    if (BaseCamera* cam = camera()) {
        ui->btnReset->setVisible(!cam->isNetCamera() && cam->className() != "UVCCamera_Yselt");
        if (cam->isNetCamera()) {
            ui->btnArgs->hide();
            ui->checkBoxLock->hide();
        }
    } else {
        setEnabled(false); // built without an open camera: nothing to drive
    }
    ui->options[RowMode][1]->hide();
    connect(ui->checkBoxLock, SIGNAL(toggled(bool)), this, SLOT(checkBoxToggled(bool)));
    QTimer::singleShot(500, this, SLOT(oneSecondLater()));

    sliderTimer = new QTimer(this);
    sliderTimer->stop();
    sliderTimer->setInterval(100);
    connect(sliderTimer, SIGNAL(timeout()), this, SLOT(sliderValueTimeOut()));
    lastSlider = nullptr;
    argsTimer = new QTimer(this);
    argsTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the camera needs the whole
    // 100 ms between two steps of a load.
    argsTimer->setTimerType(Qt::PreciseTimer);
    argsTimer->setInterval(100);
    connect(argsTimer, SIGNAL(timeout()), this, SLOT(argsLoadSLOT_1()));
}

CameraParaForm::~CameraParaForm() { delete ui; }

BaseCamera* CameraParaForm::camera() { return MessagePassing::instance()->currentCamera(); }

void CameraParaForm::initSize() {
    using PanelParts::scaled;
    using PanelScaling::scaleHeights;
    resize(scaled(width()), scaled(height()));
    MessagePassing* hub = MessagePassing::instance();
    for (int k = 0; k < 10; ++k) {
        scaleHeights(ui->labelRows[k]);
        scaleHeights(ui->sliderRows[k]);
    }
    for (QWidget* w : ui->optionRows)
        scaleHeights(w);
    scaleHeights(ui->widget);
    for (QLabel* label : findChildren<QLabel*>())
        PanelScaling::scaleGeometry(label);
    for (QToolButton* b : findChildren<QToolButton*>()) {
        const QString name = b->objectName();
        if (name.contains("Add") || name.contains("Sub")) {
            const QSize lo = scaleSize(scaleSize(b->minimumSize(), uiSizeFactor), 0.1);
            const QSize hi = scaleSize(scaleSize(b->maximumSize(), uiSizeFactor), 0.1);
            b->setMinimumSize(lo);
            b->setMaximumSize(hi);
            PanelScaling::scaleGeometry(b);
            b->setText(QString());
            b->setAutoRaise(true);
            b->setIconSize(lo);
            b->setIcon(QIcon(QString(":/res/%1_%2.png").arg(name.contains("Add") ? "btnAdd" : "btnSub").arg(uiSizeFactor)));
        }
    }
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        e->setMaximumWidth(scaled(e->maximumWidth()));
        scaleHeights(e);
        e->setStyleSheet(hub->getQLineEditStyle());
    }
    for (QSlider* s : findChildren<QSlider*>()) {
        scaleHeights(s);
        s->setStyleSheet(hub->getQSliderStyle());
    }
    for (QRadioButton* r : findChildren<QRadioButton*>())
        r->setStyleSheet(hub->getQRadioButtonStyle());
    ui->checkBoxLock->setStyleSheet(hub->getQCheckBoxStyle());
    for (QToolButton* b : {ui->btnArgs, ui->btnSync, ui->btnReset, ui->btnAWB, ui->btnAE}) {
        scaleHeights(b);
        b->setStyleSheet(hub->getQToolButtonStyle());
    }
    PanelParts::scaleLayouts(this);
}

void CameraParaForm::setLanguageText() {
    auto set = [this](const QStringList& names, const QStringList& texts) {
        for (const QString& n : names)
            textMap[n] = texts;
    };
    set({"label_3"}, {"曝光值", "Exposure", "曝光值"});
    set({"label_4"}, {"最佳亮度", "AE Light", "最佳亮度"});
    set({"label_5"}, {"增益", "Gain", "增益"});
    set({"label_6"}, {"红增益", "R Gain", "紅增益"});
    set({"labelGreen"}, {"绿增益", "G Gain", "綠增益"});
    set({"label_7"}, {"蓝增益", "B Gain", "藍增益"});
    set({"label_8"}, {"饱和度", "Saturation", "飽和度"});
    set({"label_9"}, {"对比度", "Contrast", "對比度"});
    set({"label_10"}, {"清晰度", "Sharpness", "清晰度"});
    set({"label_11"}, {"消反光", "HDR", "消反光"});
    set({"labMirr"}, {"水平翻转", "Horizontal", "水平翻轉"});
    set({"labFilp"}, {"垂直翻转", "Vertical", "垂直翻轉"});
    set({"labBwMode"}, {"黑白模式", "BW Mode", "黑白模式"});
    set({"lab3DNR"}, {"3D去噪", "3D NR", "3D去噪"});
    set({"labExposure"}, {"曝光", "Exp Type", "曝光"});
    set({"rbtnMirrSetOpen", "rbtnFilpSetOpen", "rbtnBwModeOpen", "rbtn3dOpen", "rbtnRmPurpleOpen"},
        {"开", "Open", "開"});
    set({"rbtnMirrSetClose", "rbtnFilpSetClose", "rbtnBwModeClose", "rbtn3dClose", "rbtnRmPurpleClose"},
        {"关", "Close", "關"});
    set({"rbtnLongExposure"}, {"长曝光", "Long", "長曝光"});
    set({"rbtnShortExposure"}, {"短曝光", "Short", "短曝光"});
    set({"btnSync"}, {"同步参数", "Sync", "同步參數"});
    set({"btnArgs"}, {"参数模版", "Template", "參數模板"});
    set({"btnReset"}, {"恢复出厂设置", "Restore", "恢復出廠設置"});
    set({"labCamMode"}, {"相机模式", "Mode", "相機模式"});
    set({"rbtDanTong"}, {"单筒", "Mono", "單筒"});
    set({"rbtnJinXiang"}, {"金相", "Meta", "金相"});
    set({"rbtShengWu"}, {"生物", "Living", "生物"});
    set({"labRmPurple"}, {"去紫边", "Rm Purple", "去紫邊"});
    set({"checkBoxLock"}, {"参数锁定", "Args Lock", "參數鎖定"});
    set({"btnAWB"}, {"白平衡", "AWB", "白平衡"});
    set({"btnAE"}, {"自动曝光", "AE", "自動曝光"});
}

void CameraParaForm::changeLanguageSLOT(int language) {
    if (language >= 0 && language <= 2)
        PanelParts::applyTexts(this, textMap, language);
}

// ---------------------------------------------------------------- filling

bool CameraParaForm::longExposure() const {
    QRadioButton* longButton = ui->options[RowLong][1];
    return longButton->isVisible() && longButton->isChecked();
}

QWidget* CameraParaForm::valueEdit(QSlider* slider) const {
    QString name = slider->objectName();
    name.truncate(name.indexOf("Slider"));
    return findChild<QWidget*>(name + "Edit");
}

void CameraParaForm::showExposure(int cameraValue) {
    BaseCamera* cam = camera();
    QSlider* slider = sliderMap[CtlExposure];
    const bool isLong = longExposure();
    cam->setExposureRange(slider, isLong);
    slider->setValue(cam->exposureToSlider(cameraValue, isLong));
    ui->edits[CtlExposure]->setText(cam->exposureText(slider->value(), isLong, false));
}

void CameraParaForm::initImgEffectSLOT() {
    BaseCamera* cam = camera();
    if (!cam)
        return;
    QButtonGroup* groups[7] = {btnGroupMirr,     btnGroupFilp,     btnGroupBwMode, btnGroup3DNR,
                               btnGroupExposure, btnGroupJinXiang, btnGroupRmPurple};
    for (QButtonGroup* g : groups)
        g->blockSignals(true);
    for (int row : {RowMirr, RowFilp, RowBw, Row3D, RowLong, RowPurple})
        ui->options[row][0]->setChecked(true);
    // A list too short to hold its state counts as a missing control.
    const QPair<int, int> switches[5] = {{CtlMirror, RowMirr}, {CtlFlip, RowFilp}, {CtlBlackWhite, RowBw},
                                         {Ctl3DNR, Row3D},     {CtlExposureType, RowLong}};
    for (const auto& [key, row] : switches) {
        const QList<int> list = cam->paramRange(key);
        if (list.size() >= 2 && list[0] != 0) {
            if (list[1] != 0)
                ui->options[row][1]->setChecked(true);
        } else {
            ui->optionRows[row]->hide();
        }
    }
    const QList<int> mode = cam->paramRange(CtlCameraMode);
    if (mode.size() < 2) {
        ui->optionRows[RowMode]->hide();
    } else {
        ui->options[RowMode][1]->setVisible(cam->supportCameraMode());
        if (mode[0] == 0)
            ui->optionRows[RowMode]->hide();
        else if (mode[1] >= 0 && mode[1] <= 2)
            ui->options[RowMode][mode[1]]->setChecked(true);
    }
    const QList<int> purple = cam->paramRange(CtlPurple);
    if (purple.size() < 2 || purple[0] == 0)
        ui->optionRows[RowPurple]->hide();
    else
        ui->options[RowPurple][purple[1] != 0 ? 1 : 0]->setChecked(true);
    for (QButtonGroup* g : groups)
        g->blockSignals(false);

    for (auto it = sliderMap.begin(); it != sliderMap.end(); ++it) {
        QSlider* slider = it.value();
        const QSignalBlocker block(slider);
        const QList<int> list = cam->paramRange(it.key());
        if (list.size() < 3) {
            slider->parentWidget()->hide();
            valueEdit(slider)->parentWidget()->hide();
            continue;
        }
        slider->setRange(list[0], list[1]);
        if (it.key() == CtlExposure) {
            showExposure(list[2]);
        } else {
            slider->setValue(list[2]);
            sliderValueChangedByQSlider(slider);
        }
    }
    const bool compact = cam->isCompactPanel();
    for (int k : {CtlRedGain, CtlGreenGain, CtlBlueGain, CtlSaturation}) {
        ui->labelRows[k]->setVisible(!compact);
        ui->sliderRows[k]->setVisible(!compact);
    }
    QTimer::singleShot(1000, this, SLOT(btnResetClickDelay()));
}

// ---------------------------------------------------------------- sliders

void CameraParaForm::sliderValueChangedByQSlider(QSlider* slider) {
    if (slider == sliderMap[CtlExposure]) {
        if (BaseCamera* cam = camera())
            ui->edits[CtlExposure]->setText(
                cam->exposureText(slider->value(), ui->options[RowLong][1]->isChecked(), false));
    } else if (auto* edit = qobject_cast<QLineEdit*>(valueEdit(slider))) {
        edit->setText(QString::number(slider->value()));
    }
}

void CameraParaForm::sliderValueChanged(int value) {
    Q_UNUSED(value)
    auto* slider = qobject_cast<QSlider*>(sender());
    if (!slider)
        return;
    sliderValueChangedByQSlider(slider);
    lastSlider = slider;
    if (!sliderTimer->isActive())
        sliderTimer->start();
}

void CameraParaForm::sendSlider(QSlider* slider) {
    BaseCamera* cam = camera();
    if (!cam || !slider)
        return;
    // What is sent is what the box shows, also for a value set with the
    // slider's signals blocked (a loaded parameter set).
    if (slider == sliderMap[CtlExposure]) {
        ui->edits[CtlExposure]->setText(
            cam->exposureText(slider->value(), ui->options[RowLong][1]->isChecked(), true));
    } else {
        cam->setParam(sliderMap.key(slider), slider->value());
        sliderValueChangedByQSlider(slider);
    }
}

void CameraParaForm::sliderReleasedSLOT() {
    sliderTimer->stop();
    sendSlider(qobject_cast<QSlider*>(sender()));
}

void CameraParaForm::sliderValueTimeOut() {
    sendSlider(lastSlider);
    // Only a drag ends with a release. A change without one (the wheel, a
    // Restore step) is sent once here instead of ten times a second forever.
    if (!lastSlider || !lastSlider->isSliderDown())
        sliderTimer->stop();
}

void CameraParaForm::btnGroupAddSubClick(int id) {
    if (id < 0 || id / 2 > 9)
        return;
    QSlider* slider = sliderMap[kStepKeys[id / 2]];
    int value = slider->value();
    if (id % 2 == 0 && value > slider->minimum())
        --value;
    else if (id % 2 == 1 && value < slider->maximum())
        ++value;
    slider->setValue(value);
    emit slider->sliderReleased();
}

// ---------------------------------------------------------------- options

bool CameraParaForm::sendOption(int id, int* sent, void (BaseCamera::*apply)(int)) {
    if (id == *sent)
        return false;
    *sent = id;
    if (BaseCamera* cam = camera())
        (cam->*apply)(id);
    return true;
}

void CameraParaForm::btnGroupMirrClick(int id) { sendOption(id, &lastMirr, &BaseCamera::setHFlip); }
void CameraParaForm::btnGroupFilpClick(int id) { sendOption(id, &lastFilp, &BaseCamera::setVFlip); }
void CameraParaForm::btnGroupBwModeClick(int id) { sendOption(id, &lastBwMode, &BaseCamera::setBWMode); }
void CameraParaForm::btnGroup3DNRClick(int id) { sendOption(id, &last3DNR, &BaseCamera::set3DNR); }
void CameraParaForm::btnGroupRmPurpleClick(int id) { sendOption(id, &lastRmPurple, &BaseCamera::setRmPurple); }

void CameraParaForm::btnGroupExposureClick(int id) {
    if (!sendOption(id, &lastExposureType, &BaseCamera::setExposureType))
        return;
    if (BaseCamera* cam = camera()) {
        const QSignalBlocker block(sliderMap[CtlExposure]);
        cam->setExposureRange(sliderMap[CtlExposure], id != 0);
    }
    // The new range may move the slider; its box reads in the new type's words.
    sliderValueChangedByQSlider(sliderMap[CtlExposure]);
    QTimer::singleShot(1000, this, SLOT(btnGroupExposureDelay()));
}

void CameraParaForm::btnGroupJinXiangClick(int id) {
    if (sendOption(id, &lastJinXiang, &BaseCamera::setCameraMode))
        QTimer::singleShot(1000, this, SLOT(btnSyncClick()));
}

void CameraParaForm::btnGroupExposureDelay() {
    if (BaseCamera* cam = camera())
        cam->refreshParams();
}

void CameraParaForm::oneSecUpdate() { btnGroupExposureDelay(); }

// ---------------------------------------------------------------- AE, AWB, refreshes

void CameraParaForm::btnAEClick() {
    BaseCamera* cam = camera();
    if (!cam)
        return;
    MessagePassing* hub = MessagePassing::instance();
    if (ui->btnAE->isChecked()) {
        hub->setAEState(true);
        cam->setAE(true);
    } else {
        cam->setAE(false);
        hub->setAEState(false);
    }
}

void CameraParaForm::setAEStateSLOT() {
    const bool on = MessagePassing::instance()->isAEState();
    for (int k : {CtlExposure, CtlGain}) {
        ui->sliders[k]->setEnabled(!on);
        ui->subs[k]->setEnabled(!on);
        ui->adds[k]->setEnabled(!on);
    }
    QTimer::singleShot(2000, this, SLOT(oneSecUpdate()));
    QTimer::singleShot(5000, this, SLOT(oneSecUpdate()));
}

void CameraParaForm::initAEState() {
    BaseCamera* cam = camera();
    if (!cam || !cam->isAEOn())
        return;
    {
        const QSignalBlocker block(ui->btnAE);
        ui->btnAE->setChecked(true);
    }
    MessagePassing::instance()->setAEState(true);
}

void CameraParaForm::btnAWBClick() {
    ui->btnAWB->setEnabled(false);
    MessagePassing::instance()->addIconAWB();
    if (BaseCamera* cam = camera())
        cam->doAWB();
    QTimer::singleShot(3100, this, SLOT(btnAWBClickDelay()));
}

void CameraParaForm::btnAWBClickDelay() {
    ui->btnAWB->setEnabled(true);
    MessagePassing::instance()->removeIconAWB();
    QTimer::singleShot(1000, this, SLOT(btnAWBClickDelay1()));
}

void CameraParaForm::btnAWBClickDelay1() {
    if (BaseCamera* cam = camera())
        cam->readRGBGain();
}

void CameraParaForm::addIconAWBSLOT() {
    const QSignalBlocker block(ui->btnAWB);
    ui->btnAWB->setCheckable(true);
    ui->btnAWB->setChecked(true);
    ui->btnAWB->setEnabled(false);
}

void CameraParaForm::removeIconAWBSLOT() {
    const QSignalBlocker block(ui->btnAWB);
    ui->btnAWB->setCheckable(false);
    ui->btnAWB->setEnabled(true);
}

void CameraParaForm::syncExposureSLOT() {
    BaseCamera* cam = camera();
    const QList<int> list = cam ? cam->paramRange(CtlExposure) : QList<int>();
    if (list.size() < 3)
        return;
    const QSignalBlocker block(sliderMap[CtlExposure]);
    showExposure(list[2]);
}

void CameraParaForm::syncRGBGainSLOT() {
    BaseCamera* cam = camera();
    if (!cam)
        return;
    for (int k : {CtlRedGain, CtlGreenGain, CtlBlueGain}) {
        const QList<int> list = cam->paramRange(k);
        if (list.size() < 3)
            continue;
        const QSignalBlocker block(sliderMap[k]);
        sliderMap[k]->setValue(list[2]);
        sliderValueChangedByQSlider(sliderMap[k]);
    }
}

void CameraParaForm::syncParamsOnce() {
    if (syncedOnce)
        return;
    syncedOnce = true;
    resetSentValues();
    if (BaseCamera* cam = camera())
        cam->syncParams();
}

void CameraParaForm::resetSentValues() {
    for (int* v : {&lastMirr, &lastFilp, &lastBwMode, &last3DNR, &lastExposureType, &lastJinXiang, &lastRmPurple})
        *v = -1;
}

// ---------------------------------------------------------------- Sync and Restore

void CameraParaForm::btnSyncClick() {
    resetSentValues();
    if (BaseCamera* cam = camera())
        cam->syncParams();
}

void CameraParaForm::btnResetClick() {
    BaseCamera* cam = camera();
    if (!cam)
        return;
    ui->btnReset->blockSignals(true);
    resetSentValues();
    for (int row : {RowMirr, RowFilp, RowBw, RowLong})
        ui->options[row][0]->click();
    if (cam->resetParams())
        QTimer::singleShot(500, this, SLOT(btnResetDelay_01()));
    else
        QTimer::singleShot(1000, this, SLOT(btnSyncClick()));
}

void CameraParaForm::btnResetDelay_01() {
    if (BaseCamera* cam = camera())
        for (int k : {CtlGain, CtlRedGain, CtlGreenGain, CtlBlueGain})
            sliderMap[k]->setValue(cam->paramRange(k).value(2));
    QTimer::singleShot(200, this, SLOT(btnResetDelay_02()));
}

void CameraParaForm::btnResetDelay_02() {
    if (BaseCamera* cam = camera())
        for (int k : {CtlSaturation, CtlContrast, CtlSharpness, CtlHDR})
            sliderMap[k]->setValue(cam->paramRange(k).value(2));
    QTimer::singleShot(200, this, SLOT(btnResetDelay_03()));
}

void CameraParaForm::btnResetDelay_03() {
    if (BaseCamera* cam = camera()) {
        cam->setExposureRange(sliderMap[CtlExposure], false);
        sliderMap[CtlExposure]->setValue(cam->exposureToSlider(cam->paramRange(CtlExposure).value(2), false));
        sliderMap[CtlTarget]->setValue(cam->paramRange(CtlTarget).value(2));
    }
    QTimer::singleShot(1000, this, SLOT(btnResetClickDelay()));
}

void CameraParaForm::btnResetClickDelay() { ui->btnReset->blockSignals(false); }

// ---------------------------------------------------------------- parameter sets

QString CameraParaForm::argsFilePath(const QString& name) {
    if (!isSafeFileName(name))
        return QString();
    return QString("./Args_%1.ini").arg(name);
}

void CameraParaForm::btnArgsClick() {
    ArgsDialog dialog;
    dialog.exec();
}

void CameraParaForm::argsNewSLOT(QString name) {
    const QString path = argsFilePath(name);
    if (path.isEmpty())
        return;
    SaveErrorBox::editSettings(path, [this](QSettings& set) {
        for (auto it = sliderMap.begin(); it != sliderMap.end(); ++it)
            set.setValue(QString(QChar(it.key())), it.value()->value());
        const QPair<int, int> switches[6] = {{CtlMirror, RowMirr}, {CtlFlip, RowFilp},         {CtlBlackWhite, RowBw},
                                             {Ctl3DNR, Row3D},     {CtlExposureType, RowLong}, {CtlPurple, RowPurple}};
        for (const auto& [key, row] : switches)
            set.setValue(QString(QChar(key)), ui->options[row][1]->isChecked());
        int mode = 0;
        for (int id = 2; id >= 0; --id)
            if (ui->options[RowMode][id]->isChecked())
                mode = id;
        set.setValue(QString(QChar(CtlCameraMode)), mode);
    });
}

void CameraParaForm::argsDelSLOT(QString name) {
    const QString path = argsFilePath(name);
    if (!path.isEmpty())
        QFile::remove(path);
}

void CameraParaForm::argsLoadSLOT(QString name) {
    const QString path = argsFilePath(name);
    if (path.isEmpty() || !QFile::exists(path))
        return; // no set of that name: the camera keeps its values
    // A load already running is dropped: one chain, one file at a time.
    argsTimer->stop();
    argsSettings.reset(new QSettings(RegularFile::settingsName(path), QSettings::IniFormat));
    argsSteps = loadSteps();
    argsSteps.takeFirst()();
    argsTimer->start();
}

void CameraParaForm::argsLoadSLOT_1() {
    if (argsSteps.isEmpty()) {
        argsSettings.reset();
        return;
    }
    argsSteps.takeFirst()();
    argsTimer->start();
}

QList<std::function<void()>> CameraParaForm::loadSteps() {
    QList<std::function<void()>> steps;
    steps << [this] { loadTwoChoice(CtlMirror, RowMirr, &lastMirr, &BaseCamera::setHFlip); }
          << [this] { loadTwoChoice(CtlFlip, RowFilp, &lastFilp, &BaseCamera::setVFlip); }
          << [this] { loadTwoChoice(CtlBlackWhite, RowBw, &lastBwMode, &BaseCamera::setBWMode); }
          << [this] { loadTwoChoice(Ctl3DNR, Row3D, &last3DNR, &BaseCamera::set3DNR); }
          << [this] { loadTwoChoice(CtlExposureType, RowLong, &lastExposureType, &BaseCamera::setExposureType); }
          << [this] { loadMode(); }
          << [this] { loadTwoChoice(CtlPurple, RowPurple, &lastRmPurple, &BaseCamera::setRmPurple); };
    for (int k = CtlGain; k <= CtlHDR; ++k)
        steps << [this, k] { loadSlider(k); };
    steps << [this] {
        loadSlider(CtlExposure);
        loadSlider(CtlTarget);
    };
    return steps;
}

void CameraParaForm::loadTwoChoice(int key, int row, int* sent, void (BaseCamera::*apply)(int)) {
    const bool on = argsSettings->value(QString(QChar(key)), false).toBool();
    QRadioButton* onButton = ui->options[row][1];
    QRadioButton* offButton = ui->options[row][0];
    if (on == onButton->isChecked())
        return;
    BaseCamera* cam = camera();
    if (*sent != int(on)) {
        *sent = int(on);
        if (cam)
            (cam->*apply)(int(on));
        if (key == CtlExposureType) {
            if (cam) {
                const QSignalBlocker block(sliderMap[CtlExposure]);
                cam->setExposureRange(sliderMap[CtlExposure], on);
            }
            QTimer::singleShot(1000, this, SLOT(btnGroupExposureDelay()));
        }
    }
    const QSignalBlocker blockOn(onButton);
    const QSignalBlocker blockOff(offButton);
    (on ? onButton : offButton)->setChecked(true);
    if (key == CtlExposureType)
        sliderValueChangedByQSlider(sliderMap[CtlExposure]);
}

void CameraParaForm::loadMode() {
    const int v = argsSettings->value(QString(QChar(CtlCameraMode)), 0).toInt();
    QRadioButton** buttons = ui->options[RowMode];
    const int shown = buttons[0]->isChecked() ? 0 : buttons[1]->isChecked() ? 1 : 2;
    if (v == shown || v < 0 || v > 2)
        return;
    const QSignalBlocker b0(buttons[0]), b1(buttons[1]), b2(buttons[2]);
    buttons[v]->setChecked(true);
    btnGroupJinXiangClick(v);
}

void CameraParaForm::loadSlider(int key) {
    QSlider* slider = sliderMap[key];
    const int v = argsSettings->value(QString(QChar(key)), 0).toInt();
    if (v == slider->value())
        return;
    {
        const QSignalBlocker block(slider);
        slider->setValue(v);
    }
    emit slider->sliderReleased();
}

// ---------------------------------------------------------------- Args Lock

void CameraParaForm::checkBoxToggled(bool checked) {
    if (PasswordDialog::unlock()) {
        checkBoxToggled2(checked);
        // The lock holds for this run either way; the Error box says when it
        // could not be stored for the next.
        SaveErrorBox::editSettings(kLockIni, [checked](QSettings& lock) { lock.setValue("isLock", checked); });
        return;
    }
    const QSignalBlocker block(ui->checkBoxLock);
    ui->checkBoxLock->setChecked(!checked);
}

void CameraParaForm::checkBoxToggled2(bool locked) {
    for (QObject* o : children())
        if (auto* w = qobject_cast<QWidget*>(o); w && w->objectName() != "widget")
            w->setEnabled(!locked);
    for (QWidget* w : {ui->btnArgs, ui->btnSync, ui->btnReset})
        w->setEnabled(!locked);
}

void CameraParaForm::oneSecondLater() {
    if (!QSettings(RegularFile::settingsName(kLockIni), QSettings::IniFormat).value("isLock", false).toBool())
        return;
    // A network camera's panel has no lock box: locked, it could never be opened again.
    if (BaseCamera* cam = camera(); !cam || cam->isNetCamera())
        return;
    {
        const QSignalBlocker block(ui->checkBoxLock);
        ui->checkBoxLock->setChecked(true);
    }
    checkBoxToggled2(true);
}
