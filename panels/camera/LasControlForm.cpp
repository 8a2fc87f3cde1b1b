#include "panels/camera/LasControlForm.h"

#include "app/hub/MessagePassing.h"
#include "camera/UVCCamera_Corvo.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

struct Ui_LasControlForm {
    QLabel *labTitle, *labMag, *labTotal, *labValue, *labBeiLv_1, *labBeiLv_2, *labBeiLv_3, *labOpen;
    QLineEdit *lineEditMag, *lineEditTotal, *lineEditBeiLv_1, *lineEditBeiLv_2, *lineEditBeiLv_3;
    QSlider* slider;
    QSpinBox* spinBox;
    QPushButton *btnSub, *btnAdd, *btnBeiLv_1, *btnBeiLv_2, *btnBeiLv_3;
    QRadioButton* rbtnOpen;
    QCheckBox *checkBox, *checkBoxAutoAWB, *checkBoxHide;
    QWidget* widgetHide; // the stage rows, hidden by checkBoxHide

    template <class T> static T* at(QWidget* parent, QGridLayout* grid, const char* name, int r, int c) {
        auto* w = new T(parent);
        w->setObjectName(name);
        grid->addWidget(w, r, c);
        return w;
    }

    void setupUi(QWidget* form) {
        form->setObjectName("LasControlForm");
        form->resize(300, 330);
        auto* column = new QVBoxLayout(form);
        column->setObjectName("verticalLayout");
        auto* top = new QWidget(form);
        top->setObjectName("widgetTop");
        auto* g = new QGridLayout(top);
        g->setObjectName("gridLayout");
        labTitle = at<QLabel>(top, g, "labTitle", 0, 0);
        labMag = at<QLabel>(top, g, "labMag", 1, 0);
        lineEditMag = at<QLineEdit>(top, g, "lineEditMag", 1, 1);
        labTotal = at<QLabel>(top, g, "labTotal", 2, 0);
        lineEditTotal = at<QLineEdit>(top, g, "lineEditTotal", 2, 1);
        labValue = at<QLabel>(top, g, "labValue", 3, 0);
        spinBox = at<QSpinBox>(top, g, "spinBox", 3, 1);
        btnSub = at<QPushButton>(top, g, "btnSub", 4, 0);
        slider = at<QSlider>(top, g, "slider", 4, 1);
        btnAdd = at<QPushButton>(top, g, "btnAdd", 4, 2);
        labOpen = at<QLabel>(top, g, "labOpen", 5, 0);
        rbtnOpen = at<QRadioButton>(top, g, "rbtnOpen", 5, 1);
        checkBox = at<QCheckBox>(top, g, "checkBox", 6, 0);
        checkBoxAutoAWB = at<QCheckBox>(top, g, "checkBoxAutoAWB", 6, 1);
        checkBoxHide = at<QCheckBox>(top, g, "checkBoxHide", 7, 0);
        slider->setOrientation(Qt::Horizontal);
        slider->setRange(0, 254);
        spinBox->setRange(0, 254);
        spinBox->setReadOnly(true);
        rbtnOpen->setAutoExclusive(false);
        for (QLineEdit* e : {lineEditMag, lineEditTotal})
            e->setReadOnly(true);
        column->addWidget(top);

        widgetHide = new QWidget(form);
        widgetHide->setObjectName("widgetHide");
        auto* h = new QGridLayout(widgetHide);
        h->setObjectName("gridLayout_2");
        labBeiLv_1 = at<QLabel>(widgetHide, h, "labBeiLv_1", 0, 0);
        lineEditBeiLv_1 = at<QLineEdit>(widgetHide, h, "lineEditBeiLv_1", 0, 1);
        btnBeiLv_1 = at<QPushButton>(widgetHide, h, "btnBeiLv_1", 0, 2);
        labBeiLv_2 = at<QLabel>(widgetHide, h, "labBeiLv_2", 1, 0);
        lineEditBeiLv_2 = at<QLineEdit>(widgetHide, h, "lineEditBeiLv_2", 1, 1);
        btnBeiLv_2 = at<QPushButton>(widgetHide, h, "btnBeiLv_2", 1, 2);
        labBeiLv_3 = at<QLabel>(widgetHide, h, "labBeiLv_3", 2, 0);
        lineEditBeiLv_3 = at<QLineEdit>(widgetHide, h, "lineEditBeiLv_3", 2, 1);
        btnBeiLv_3 = at<QPushButton>(widgetHide, h, "btnBeiLv_3", 2, 2);
        column->addWidget(widgetHide);
        column->addStretch(1);
        btnSub->setText("-");
        btnAdd->setText("+");
    }
};

namespace {
const char* kIni = "./LasControlForm.INI";
}

LasControlForm::LasControlForm(QWidget* parent) : QWidget(parent), ui(new Ui_LasControlForm) {
    ui->setupUi(this);
    textMap["labTitle"] = QStringList{"激光控制", "Laser Control", "激光控制"};
    textMap["labMag"] = QStringList{"当前倍率", "Magnification", "當前倍率"};
    textMap["labTotal"] = QStringList{"总倍率", "Total", "總倍率"};
    textMap["labValue"] = QStringList{"数值", "Value", "數值"};
    textMap["labBeiLv_1"] = QStringList{"一级倍率", "Stage 1", "一級倍率"};
    textMap["labBeiLv_2"] = QStringList{"二级倍率", "Stage 2", "二級倍率"};
    textMap["labBeiLv_3"] = QStringList{"三级倍率", "Stage 3", "三級倍率"};
    textMap["labOpen"] = QStringList{"激光", "Laser", "激光"};
    textMap["btnBeiLv_1"] = QStringList{"设置", "Set", "設置"};
    textMap["btnBeiLv_2"] = QStringList{"设置", "Set", "設置"};
    textMap["btnBeiLv_3"] = QStringList{"设置", "Set", "設置"};
    textMap["rbtnOpen"] = QStringList{"开启", "On", "開啟"};
    textMap["checkBox"] = QStringList{"辅助", "Assist", "輔助"};
    textMap["checkBoxAutoAWB"] = QStringList{"自动白平衡", "Auto AWB", "自動白平衡"};
    textMap["checkBoxHide"] = QStringList{"隐藏", "Hide", "隱藏"};
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());

    QSettings settings(RegularFile::settingsName(kIni), QSettings::IniFormat);
    ui->checkBoxAutoAWB->setChecked(settings.value("checkBoxAutoAWB", false).toBool());
    ui->checkBoxHide->setChecked(settings.value("checkBoxHide", false).toBool());
    ui->widgetHide->setVisible(!ui->checkBoxHide->isChecked());

    connect(ui->rbtnOpen, SIGNAL(toggled(bool)), this, SLOT(rbtnOpenToggled(bool)));
    connect(ui->slider, SIGNAL(sliderPressed()), this, SLOT(sliderPressedSLOT()));
    connect(ui->slider, SIGNAL(sliderReleased()), this, SLOT(sliderReleasedSLOT()));
    connect(ui->slider, SIGNAL(valueChanged(int)), this, SLOT(sliderValueChanged(int)));
    connect(ui->btnAdd, SIGNAL(clicked()), this, SLOT(btnAddSubClick()));
    connect(ui->btnSub, SIGNAL(clicked()), this, SLOT(btnAddSubClick()));
    connect(ui->checkBoxHide, SIGNAL(toggled(bool)), this, SLOT(checkBoxHideToggled(bool)));
    connect(ui->checkBoxAutoAWB, SIGNAL(toggled(bool)), this, SLOT(checkBoxAutoAWBToggled(bool)));
    connect(ui->btnBeiLv_1, SIGNAL(clicked()), this, SLOT(btnBeiLv_1Click()));
    connect(ui->btnBeiLv_2, SIGNAL(clicked()), this, SLOT(btnBeiLv_2Click()));
    connect(ui->btnBeiLv_3, SIGNAL(clicked()), this, SLOT(btnBeiLv_3Click()));
    connect(ui->checkBox, SIGNAL(toggled(bool)), this, SLOT(checkBoxToggled(bool)));
    if (laser()) {
        refreshTimer = new QTimer(this);
        refreshTimer->setInterval(1000);
        connect(refreshTimer, SIGNAL(timeout()), this, SLOT(timeoutSLOT()));
        refreshTimer->start();
    }
}

LasControlForm::~LasControlForm() { delete ui; }

UVCCamera_Corvo* LasControlForm::laser() {
    return qobject_cast<UVCCamera_Corvo*>(MessagePassing::instance()->currentCamera());
}

void LasControlForm::changeLanguageSLOT(int language) {
    if (language >= 0 && language <= 2)
        PanelParts::applyTexts(this, textMap, language);
}

void LasControlForm::rbtnOpenToggled(bool checked) {
    if (UVCCamera_Corvo* cam = laser())
        cam->setReg0D(checked ? 1 : 0);
}

void LasControlForm::checkBoxToggled(bool checked) {
    if (UVCCamera_Corvo* cam = laser())
        cam->setReg17(checked ? 1 : 0);
}

void LasControlForm::sliderPressedSLOT() {}

void LasControlForm::sliderValueChanged(int value) { ui->spinBox->setValue(value); }

void LasControlForm::sliderReleasedSLOT() {
    if (UVCCamera_Corvo* cam = laser())
        cam->setReg0E(ui->slider->value());
}

void LasControlForm::btnAddSubClick() {
    UVCCamera_Corvo* cam = laser();
    if (!cam)
        return;
    if (sender() == ui->btnAdd)
        ui->slider->setValue(ui->slider->value() + 1);
    else if (sender() == ui->btnSub)
        ui->slider->setValue(ui->slider->value() - 1);
    else
        return;
    cam->setReg0E(ui->slider->value());
}

void LasControlForm::storeSetting(const char* key, bool value) {
    PanelParts::store(kIni, key, value);
}

void LasControlForm::checkBoxHideToggled(bool checked) {
    ui->widgetHide->setVisible(!checked);
    storeSetting("checkBoxHide", checked);
}

void LasControlForm::checkBoxAutoAWBToggled(bool checked) {
    if (UVCCamera_Corvo* cam = laser())
        cam->setReg10(checked ? 1 : 0);
    storeSetting("checkBoxAutoAWB", checked);
    QTimer::singleShot(3100, this, SLOT(checkBoxAutoAWBDelay()));
}

void LasControlForm::checkBoxAutoAWBDelay() {
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->readRGBGain();
}

void LasControlForm::timeoutSLOT() {
    UVCCamera_Corvo* cam = laser();
    if (!cam)
        return;
    const int m = cam->readReg0F();
    ui->lineEditMag->setText(QString::number(m / 10.0, 'f', 2) + "x");
    showTotalBeiLv();
    ui->slider->setValue(cam->readReg0E());
}

bool LasControlForm::prepareStage(QLineEdit* field) {
    if (field->text().isEmpty())
        return false;
    if (field->text().toDouble() <= 0)
        field->setText("1.0");
    return true;
}

bool LasControlForm::sendStage(QLineEdit* field, void (UVCCamera_Corvo::*send)(const QString&)) {
    if (!prepareStage(field))
        return false;
    UVCCamera_Corvo* cam = laser();
    if (!cam)
        return false;
    (cam->*send)(field->text());
    showTotalBeiLv();
    return true;
}

void LasControlForm::btnBeiLv_1Click() { sendStage(ui->lineEditBeiLv_1, &UVCCamera_Corvo::setBeiLv1); }

void LasControlForm::btnBeiLv_2Click() { sendStage(ui->lineEditBeiLv_2, &UVCCamera_Corvo::setBeiLv2); }

void LasControlForm::btnBeiLv_3Click() {
    if (sendStage(ui->lineEditBeiLv_3, &UVCCamera_Corvo::setBeiLv3))
        QTimer::singleShot(500, this, SLOT(btnBeiLv_3ClickDelay()));
}

void LasControlForm::btnBeiLv_3ClickDelay() {
    if (UVCCamera_Corvo* cam = laser())
        ui->lineEditBeiLv_3->setText(cam->readBeiLv3());
}

double LasControlForm::totalMagnification(double m, double s1, double s2, double s3) {
    const double w = s3 * 0.02214 * 100;
    const double h = w * 0.5625;
    const double d = std::sqrt(w * w + h * h);
    return d * 10000 / 8811.6 * (m * s1 * s2);
}

void LasControlForm::showTotalBeiLv() {
    UVCCamera_Corvo* cam = laser();
    if (!cam)
        return;
    QString live = ui->lineEditMag->text();
    live.chop(1);
    const double total = totalMagnification(live.toDouble(), cam->beiLvText1.toDouble(),
                                            cam->beiLvText2.toDouble(), cam->beiLvText3.toDouble());
    ui->lineEditTotal->setText(QString::number(total, 'f', 2) + "x");
}
