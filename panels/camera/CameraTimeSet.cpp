#include "panels/camera/CameraTimeSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "camera/BaseCamera.h"
#include "platform/FileNames.h"
#include "panels/camera/PanelParts.h"
#include "panels/camera/PanelScaling.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {
const char* kIni = "./CameraTimeSet.ini";
const QStringList kUnits[3] = {{"分", "秒", "毫秒"}, {"Minute", "Second", "Millisecond"}, {"分", "秒", "毫秒"}};
} // namespace

struct Ui_CameraTimeSet {
    QVBoxLayout* verticalLayout;
    QWidget *widgetTitle, *widgetLeft, *widgetRight, *widgetContent;
    QLabel* labTitle;
    QWidget *widget_1, *widget_2, *widget_3, *widget_4, *widget_5, *widget;
    QLabel *labTotal, *labInterval, *labDelay, *labDelay_2;
    QSpinBox *spinBoxTotal, *spinBoxInterval, *spinBoxDelay;
    QComboBox *comboBoxInterval, *comboBoxDelay;
    QProgressBar* progressBar;
    QPushButton *btnDelayShoot, *btnPausePlay, *btnCancle;

    template <class T> static T* make(QWidget* parent, const char* name) {
        auto* w = new T(parent);
        w->setObjectName(name);
        return w;
    }
    static QHBoxLayout* row(QWidget* w, const char* name, int spacing) {
        auto* l = new QHBoxLayout(w);
        l->setObjectName(name);
        l->setSpacing(spacing);
        l->setContentsMargins(10, 0, 10, 0);
        return l;
    }
    QLabel* label(QWidget* parent, const char* name) {
        auto* l = make<QLabel>(parent, name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    }
    QSpinBox* spin(QWidget* parent, const char* name) {
        auto* s = make<QSpinBox>(parent, name);
        s->setRange(1, 100000);
        return s;
    }

    // A row of caption, value and unit box.
    QWidget* unitRow(QWidget* parent, const char* name, const char* layoutName, QLabel** lab, const char* labName,
                     QSpinBox** value, const char* valueName, QComboBox** unit, const char* unitName) {
        auto* w = make<QWidget>(parent, name);
        auto* l = row(w, layoutName, 6);
        *lab = label(w, labName);
        *value = spin(w, valueName);
        *unit = make<QComboBox>(w, unitName);
        l->addWidget(*lab);
        l->addWidget(*value);
        l->addWidget(*unit);
        return w;
    }

    void setupUi(QWidget* form) {
        form->setObjectName("CameraTimeSet");
        form->resize(274, 200);
        verticalLayout = new QVBoxLayout(form);
        verticalLayout->setObjectName("verticalLayout");
        verticalLayout->setSpacing(0);
        verticalLayout->setContentsMargins(0, 0, 0, 2);

        widgetTitle = PanelParts::titleRow(form, &labTitle); // scaled already
        widgetLeft = widgetTitle->findChild<QWidget*>("widgetLeft");
        widgetRight = widgetTitle->findChild<QWidget*>("widgetRight");
        verticalLayout->addWidget(widgetTitle);

        widgetContent = make<QWidget>(form, "widgetContent");
        auto* content = new QVBoxLayout(widgetContent);
        content->setObjectName("verticalLayout_2");
        content->setSpacing(0);
        content->setContentsMargins(0, 0, 0, 0);
        verticalLayout->addWidget(widgetContent);

        widget_1 = make<QWidget>(widgetContent, "widget_1");
        auto* l1 = row(widget_1, "horizontalLayout_2", 6);
        labTotal = label(widget_1, "labTotal");
        spinBoxTotal = spin(widget_1, "spinBoxTotal");
        widget = make<QWidget>(widget_1, "widget"); // where a unit box would stand
        l1->addWidget(labTotal);
        l1->addWidget(spinBoxTotal);
        l1->addWidget(widget);
        widget_2 = unitRow(widgetContent, "widget_2", "horizontalLayout_3", &labInterval, "labInterval",
                           &spinBoxInterval, "spinBoxInterval", &comboBoxInterval, "comboBoxInterval");
        widget_3 = unitRow(widgetContent, "widget_3", "horizontalLayout_4", &labDelay, "labDelay", &spinBoxDelay,
                           "spinBoxDelay", &comboBoxDelay, "comboBoxDelay");

        widget_4 = make<QWidget>(widgetContent, "widget_4");
        auto* l4 = row(widget_4, "horizontalLayout_5", 10);
        labDelay_2 = label(widget_4, "labDelay_2");
        progressBar = make<QProgressBar>(widget_4, "progressBar");
        progressBar->setRange(0, 100);
        progressBar->setValue(0);
        l4->addWidget(labDelay_2, 1);
        l4->addWidget(progressBar, 2);

        widget_5 = make<QWidget>(widgetContent, "widget_5");
        auto* l5 = row(widget_5, "horizontalLayout_6", 6);
        btnDelayShoot = make<QPushButton>(widget_5, "btnDelayShoot");
        btnPausePlay = make<QPushButton>(widget_5, "btnPausePlay");
        btnCancle = make<QPushButton>(widget_5, "btnCancle");
        l5->addWidget(btnDelayShoot);
        l5->addWidget(btnPausePlay);
        l5->addWidget(btnCancle);
        for (QWidget* w : {widget_1, widget_2, widget_3, widget_4, widget_5}) {
            w->setMinimumHeight(30);
            content->addWidget(w);
        }
    }
};

CameraTimeSet::CameraTimeSet(QWidget* parent) : QWidget(parent), ui(new Ui_CameraTimeSet) {
    ui->setupUi(this);
    initSize();
    initTexts();
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());

    QSettings settings(RegularFile::settingsName(kIni), QSettings::IniFormat);
    // A unit index the boxes do not have (an edited or damaged file) falls
    // back to seconds, the default, as the other panels do.
    auto unitIndex = [&settings](const char* key) {
        bool ok = false;
        const int index = settings.value(key, 1).toInt(&ok);
        return ok && index >= 0 && index <= 2 ? index : 1;
    };
    ui->comboBoxInterval->setCurrentIndex(unitIndex("IntervalIndex"));
    ui->comboBoxDelay->setCurrentIndex(unitIndex("DelayIndex"));
    // The limits first, so a stored value that a timer cannot hold is capped.
    applyUnitLimits();
    ui->spinBoxTotal->setValue(settings.value("Total", 5).toInt());
    ui->spinBoxInterval->setValue(settings.value("Interval", 1).toInt());
    ui->spinBoxDelay->setValue(settings.value("Delay", 1).toInt());
    // The unit in use is stored; nothing is written when the file holds it.
    if (settings.value("IntervalIndex").toString() != QString::number(ui->comboBoxInterval->currentIndex()))
        PanelParts::store(kIni, "IntervalIndex", ui->comboBoxInterval->currentIndex());

    for (QSpinBox* s : {ui->spinBoxTotal, ui->spinBoxInterval, ui->spinBoxDelay})
        connect(s, SIGNAL(valueChanged(int)), this, SLOT(spinBoxValueChanged(int)));
    connect(ui->comboBoxInterval, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxIntervalIndexChanged(int)));
    connect(ui->comboBoxDelay, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxDelayIndexChanged(int)));
    connect(ui->btnDelayShoot, SIGNAL(clicked()), this, SLOT(btnDelayShootClick()));
    connect(ui->btnPausePlay, SIGNAL(clicked()), this, SLOT(btnPausePlayClick()));
    connect(ui->btnCancle, SIGNAL(clicked()), this, SLOT(btnCancleClick()));
    ui->btnPausePlay->setEnabled(false);
    ui->btnCancle->setEnabled(false);
}

CameraTimeSet::~CameraTimeSet() { delete ui; }

qint64 CameraTimeSet::toMilliseconds(int value, int index) {
    static const qint64 factors[3] = {60000, 1000, 1};
    return qint64(value) * factors[qBound(0, index, 2)];
}

int CameraTimeSet::maximumFor(int index) {
    const qint64 most = std::numeric_limits<int>::max() / toMilliseconds(1, index);
    return int(qMin<qint64>(100000, most));
}

void CameraTimeSet::initSize() {
    using namespace PanelScaling;
    using PanelParts::scaled;
    using PanelParts::scaleLayouts;
    resize(scaled(width()), scaled(height()));
    for (QWidget* w : {ui->widget_1, ui->widget_2, ui->widget_3, ui->widget_4})
        w->setMinimumHeight(scaled(w->minimumHeight()));
    MessagePassing* hub = MessagePassing::instance();
    for (QPushButton* b : findChildren<QPushButton*>()) {
        scaleHeights(b);
        b->setStyleSheet(hub->getQPushButtonStyle());
    }
    for (QSpinBox* s : findChildren<QSpinBox*>()) {
        scaleHeights(s);
        s->setStyleSheet(hub->getQSpinBoxStyle());
    }
    for (QComboBox* c : findChildren<QComboBox*>()) {
        scaleHeights(c);
        c->setStyleSheet(hub->getQComboBoxStyle());
    }
    scaleLayouts(this);
}

void CameraTimeSet::initTexts() {
    uiTexts["labTitle"] = QStringList{"延时拍摄设置", "Time-lapse Setting", "延時拍攝設置"};
    uiTexts["labTotal"] = QStringList{"总张数:", "Total Frames:", "總張數:"};
    uiTexts["labInterval"] = QStringList{"间隔时间:", "Interval Time:", "間隔時間:"};
    uiTexts["labDelay"] = QStringList{"延时时间:", "Delay Time:", "延時時間:"};
    uiTexts["labDelay_2"] = QStringList{"拍摄进度", "Progress", "拍攝進度"};
    uiTexts["btnDelayShoot"] = QStringList{"延时拍摄", "Snap", "延時拍攝"};
    uiTexts["btnPausePlay"] = QStringList{"暂停", "Pause", "暫停"};
    uiTexts["btnPausePlay_1"] = QStringList{"继续", "Play", "繼續"};
    uiTexts["btnCancle"] = QStringList{"取消", "Cancle", "取消"};
}

void CameraTimeSet::changeLanguageSLOT(int language) {
    if (language < 0 || language > 2)
        return;
    PanelParts::applyTexts(this, uiTexts, language);
    ui->btnPausePlay->setText(uiTexts.value("btnPausePlay" + pauseKeySuffix).value(language));
    for (QComboBox* box : {ui->comboBoxInterval, ui->comboBoxDelay}) {
        const int index = box->currentIndex();
        box->blockSignals(true);
        box->clear();
        box->addItems(kUnits[language]);
        box->setCurrentIndex(index < 0 ? 1 : index);
        box->blockSignals(false);
    }
}

void CameraTimeSet::applyUnitLimits() {
    const int intervalUnit = ui->comboBoxInterval->currentIndex();
    ui->spinBoxInterval->setRange(intervalUnit == 2 ? 100 : 1, maximumFor(intervalUnit));
    ui->spinBoxDelay->setMaximum(maximumFor(ui->comboBoxDelay->currentIndex()));
}

void CameraTimeSet::spinBoxValueChanged(int) {
    SaveErrorBox::editSettings(kIni, [this](QSettings& settings) {
        settings.setValue("Total", ui->spinBoxTotal->value());
        settings.setValue("Interval", ui->spinBoxInterval->value());
        settings.setValue("Delay", ui->spinBoxDelay->value());
    });
}

void CameraTimeSet::comboBoxIntervalIndexChanged(int index) {
    applyUnitLimits(); // a value raised or capped here is stored by spinBoxValueChanged
    PanelParts::store(kIni, "IntervalIndex", index);
}

void CameraTimeSet::comboBoxDelayIndexChanged(int index) {
    applyUnitLimits();
    PanelParts::store(kIni, "DelayIndex", index);
}

void CameraTimeSet::btnDelayShootClick() {
    for (QWidget* w : {static_cast<QWidget*>(ui->btnDelayShoot), ui->widget_1, ui->widget_2, ui->widget_3})
        w->setEnabled(false);
    ui->progressBar->setValue(0);
    ui->btnPausePlay->setEnabled(true);
    ui->btnCancle->setEnabled(true);
    remainCount = ui->spinBoxTotal->value();

    MessagePassing* hub = MessagePassing::instance();
    QSettings cameraSet(RegularFile::settingsName("./CameraSet.ini"), QSettings::IniFormat);
    const QString folder = hub->checkImgPath(&cameraSet);
    const bool isAutoDate = cameraSet.value("isAutoDate", true).toBool();
    const QString prefix = PanelParts::storedPrefix(cameraSet, "img");
    baseName = isAutoDate ? folder + QString("/%1_%2").arg(prefix, QDateTime::currentDateTime().toString(
                                                                        "yyyyMMdd_hhmmss_zzz"))
                          : folder + QString("/%1").arg(prefix);
    hub->addIconCamera();
    hub->setCameraTiming(true);

    delete delayTimer;
    delayTimer = new QTimer(this);
    delayTimer->setSingleShot(true);
    connect(delayTimer, SIGNAL(timeout()), this, SLOT(btnDelayShootClickAgain()));
    delayTimer->start(int(toMilliseconds(ui->spinBoxDelay->value(), ui->comboBoxDelay->currentIndex())));
}

void CameraTimeSet::btnDelayShootClickAgain() {
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* camera = hub->currentCamera();
    if (!camera) { // the camera was closed mid-series: nothing to take pictures with
        endSeries();
        return;
    }
    --remainCount;
    const int total = ui->spinBoxTotal->value();
    const int n = total - remainCount;
    const QString name = makeUniqueFileName(QString("%1_%2").arg(baseName).arg(n, 5, 10, QChar('0')),
                                            QString(".%1").arg(hub->imgType));
    ui->progressBar->setValue(int(float(n) / float(total) * 100));
    camera->snapImage(name, 10, true, false, Qt::red, 0, -1);
    if (remainCount < 1) {
        endSeries();
        return;
    }
    if (!intervalTimer) {
        intervalTimer = new QTimer(this);
        intervalTimer->setInterval(
            int(toMilliseconds(ui->spinBoxInterval->value(), ui->comboBoxInterval->currentIndex())));
        connect(intervalTimer, SIGNAL(timeout()), this, SLOT(btnDelayShootClickAgain()));
        intervalTimer->start();
    }
}

void CameraTimeSet::endSeries() {
    if (delayTimer) {
        delayTimer->stop();
        delayTimer->deleteLater();
        delayTimer = nullptr;
    }
    if (intervalTimer) {
        intervalTimer->stop();
        intervalTimer->deleteLater();
        intervalTimer = nullptr;
    }
    remainCount = 0;
    MessagePassing* hub = MessagePassing::instance();
    hub->removeIconCamera();
    hub->setCameraTiming(false);
    ui->btnPausePlay->setEnabled(false);
    ui->btnCancle->setEnabled(false);
    pauseKeySuffix.clear();
    ui->btnPausePlay->setText(uiTexts.value("btnPausePlay").value(hub->language()));
    QTimer::singleShot(1500, this, SLOT(btnCancleClickDelay()));
}

void CameraTimeSet::btnCancleClick() { endSeries(); }

void CameraTimeSet::btnCancleClickDelay() {
    ui->progressBar->setValue(0);
    for (QWidget* w : {static_cast<QWidget*>(ui->btnDelayShoot), ui->widget_1, ui->widget_2, ui->widget_3})
        w->setEnabled(true);
}

void CameraTimeSet::btnPausePlayClick() {
    if (!intervalTimer)
        return;
    if (intervalTimer->isActive()) {
        intervalTimer->stop();
        pauseKeySuffix = "_1";
    } else {
        intervalTimer->start();
        pauseKeySuffix.clear();
    }
    ui->btnPausePlay->setText(
        uiTexts.value("btnPausePlay" + pauseKeySuffix).value(MessagePassing::instance()->language()));
}
