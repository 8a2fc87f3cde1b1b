#include "panels/camera/OtherSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/NetCamera.h"
#include "camera/UVCCamera.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using PanelParts::scaled;

namespace {
const char* const iniFile = "./OtherSet.ini";
const QStringList shareModels = {"NetCamera_Halder", "NetCamera_Zamble", "NetCamera_Pellam"};
const QStringList fpsModels = {"NetCamera_Halder", "NetCamera_Pellam", "NetCamera_Corvo"};

QStringList fpsItems(const QString& model) {
    if (model == "NetCamera_Halder" || model == "NetCamera_Pellam")
        return {"1080P10FPS", "1080P20FPS"};
    if (model == "NetCamera_Corvo")
        return {"4KP10FPS", "1080P20FPS"};
    return {};
}

QHBoxLayout* row(QWidget* parent, QVBoxLayout* column) {
    QWidget* w = PanelParts::addRow(parent, column, "", {10, 0, 10, 0});
    w->setFixedHeight(30);
    return static_cast<QHBoxLayout*>(w->layout());
}
} // namespace

OtherSet::OtherSet(QWidget* parent) : QWidget(parent) {
    setObjectName("OtherSet");
    resize(scaled(274), scaled(140));
    QVBoxLayout* column = PanelParts::panelFrame(this, &labTitle, {0, 0, 0, 5});
    QWidget* content = column->parentWidget();

    QHBoxLayout* r1 = row(content, column);
    labLanguage = new QLabel(content);
    labLanguage->setObjectName("labLanguage");
    labLanguage->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    comboName = new QComboBox(content);
    comboName->setObjectName("comboName");
    comboName->addItems({"中(简)", "En", "中(繁)"});
    r1->addWidget(labLanguage);
    r1->addWidget(comboName, 1);
    QHBoxLayout* r2 = row(content, column);
    labFPS = new QLabel("FPS:", content);
    labFPS->setObjectName("labFPS");
    comboFPS = new QComboBox(content);
    comboFPS->setObjectName("comboFPS");
    r2->addWidget(labFPS);
    r2->addWidget(comboFPS, 1);
    QHBoxLayout* r3 = row(content, column);
    checkBoxFast = new QCheckBox(content);
    checkBoxFast->setObjectName("checkBoxFast");
    btnSMB = new QToolButton(content);
    btnSMB->setObjectName("btnSMB");
    btnSMB->setAutoRaise(true);
    r3->addWidget(checkBoxFast, 1);
    r3->addWidget(btnSMB);

    MessagePassing* hub = MessagePassing::instance();
    PanelParts::styleControls(this);
    for (QWidget* r : content->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        r->setFixedHeight(scaled(30));
    PanelParts::scaleLayouts(this);

    int lang =
        QSettings(RegularFile::settingsName(iniFile), QSettings::IniFormat).value("language", 0).toInt();
    comboName->setCurrentIndex(lang >= 0 && lang <= 2 ? lang : 0);

    texts.insert("labTitle", {"其他设置", "Other Setting", "其他設置"});
    texts.insert("labLanguage", {"语言:", "Language:", "語言:"});
    texts.insert("checkBoxFast", {"快速模式", "Fast Mode", "快速模式"});
    connect(comboName, SIGNAL(currentIndexChanged(int)), this, SLOT(comboIndexChanged(int)));
    connect(comboFPS, SIGNAL(currentIndexChanged(int)), this, SLOT(comboFPSIndexChanged(int)));
    connect(checkBoxFast, SIGNAL(clicked()), this, SLOT(checkBoxFastClicked()));
    connect(btnSMB, SIGNAL(clicked()), this, SLOT(btnSMBClick()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(changeFenBianLv1080pSIGNAL(int)), this, SLOT(changeFenBianLv1080pSLOT(int)));
    connect(hub, SIGNAL(changeFenBianLv1080pReturnSIGNAL(int)), this,
            SLOT(changeFenBianLv1080pReturnSLOT(int)));
    connect(hub, SIGNAL(restartCameraSIGNAL()), this, SLOT(restartCameraSLOT()));
    connect(hub, SIGNAL(WFRenewDataSIGNAL(bool)), this, SLOT(WFRenewDataSLOT(bool)));
    changeLanguageSLOT(hub->language());

    btnSMB->setFixedSize(scaled(24), scaled(24));
    btnSMB->setIcon(QIcon(QString(":/res/btnSMB_%1.png").arg(uiSizeFactor)));
    btnSMB->setIconSize(btnSMB->size());
    btnSMB->hide();
    labFPS->hide();
    comboFPS->hide();
    checkBoxFast->hide();
}

void OtherSet::store(const char* key, const QVariant& value) {
    PanelParts::store(iniFile, key, value);
}

UVCCamera* OtherSet::fastModeCamera() const {
    auto* usb = qobject_cast<UVCCamera*>(MessagePassing::instance()->currentCamera());
    return usb && usb->supportFastMode() ? usb : nullptr;
}

void OtherSet::initFPSList() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam)
        return;
    if (auto* usb = qobject_cast<UVCCamera*>(cam)) {
        btnSMB->hide();
        labFPS->hide();
        comboFPS->hide();
        if (usb->supportFastMode()) {
            checkBoxFast->show();
            checkBoxFast->setChecked(usb->resolutionIndex() != 0);
        }
        return;
    }
    if (!cam->isNetCamera())
        return;
    btnSMB->setVisible(shareModels.contains(cam->className()));
    const QStringList items = fpsItems(cam->className());
    if (items.isEmpty()) {
        labFPS->hide();
        comboFPS->hide();
    } else {
        int index =
            QSettings(RegularFile::settingsName(iniFile), QSettings::IniFormat).value("FPSIndex", 0).toInt();
        if (index < 0 || index >= items.size())
            index = 0;
        {
            const QSignalBlocker block(comboFPS);
            comboFPS->clear();
            comboFPS->addItems(items);
        }
        comboFPS->setCurrentIndex(index);
        labFPS->show();
        comboFPS->show();
    }
    checkBoxFast->hide();
}

void OtherSet::comboIndexChanged(int index) {
    store("language", index);
    MessagePassing::instance()->setLanguage(index);
}

void OtherSet::changeLanguageSLOT(int language) {
    PanelParts::applyTexts(this, texts, qBound(0, language, 2));
}

// ---------------------------------------------------------------- frame rate

void OtherSet::comboFPSIndexChanged(int index) {
    store("FPSIndex", index);
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam || !cam->isNetCamera() || !fpsModels.contains(cam->className()))
        return;
    cam->pause();
    QTimer::singleShot(500, this, SLOT(comboFPSDelay_1()));
}

void OtherSet::comboFPSDelay_1() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam || !cam->isNetCamera())
        return;
    const QSize before = cam->frameSize(false);
    cam->setResolution(comboFPS->currentIndex());
    // 4K <-> 1080p: everything sized by the frame must follow.
    fpsSizeChanged = cam->frameSize(false) != before;
    QTimer::singleShot(500, this, SLOT(comboFPSDelay_2()));
}

void OtherSet::comboFPSDelay_2() {
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    if (!cam || !cam->isNetCamera())
        return;
    cam->play();
    hub->ForceSlider();
    if (fpsSizeChanged)
        hub->changeResolution();
    fpsSizeChanged = false;
}

// ---------------------------------------------------------------- Fast Mode

void OtherSet::checkBoxFastFunc() {
    if (!qobject_cast<UVCCamera*>(MessagePassing::instance()->currentCamera())) {
        finishSequence();
        return;
    }
    sequenceRunning = true;
    checkBoxFast->setEnabled(false);
    MessagePassing::instance()->currentCamera()->pause();
    QTimer::singleShot(200, this, SLOT(checkBoxFastDelay_1()));
}

void OtherSet::checkBoxFastDelay_1() {
    MessagePassing* hub = MessagePassing::instance();
    auto* usb = qobject_cast<UVCCamera*>(hub->currentCamera());
    if (!usb) {
        finishSequence(); // the camera went away: nobody may wait for ever
        return;
    }
    if (restartPending) {
        restartPending = false;
        usb->setResolution(usb->resolutionIndex());
    } else {
        const int index = checkBoxFast->isChecked() ? 1 : 0;
        usb->setResolution(index);
        // Only the operator's own choice is kept for the next start; the
        // switch that stitching or a recording asks for is temporary (a
        // program closed meanwhile must not come back in Fast Mode).
        if (requesterId == -1)
            store("Resolution", index);
    }
    hub->ForceSlider();
    hub->changeResolution();
    QTimer::singleShot(200, this, SLOT(checkBoxFastDelay_2()));
}

void OtherSet::checkBoxFastDelay_2() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam) {
        finishSequence();
        return;
    }
    cam->play();
    QTimer::singleShot(200, this, SLOT(checkBoxFastDelay_3()));
}

void OtherSet::checkBoxFastDelay_3() {
    finishSequence();
}

void OtherSet::finishSequence() {
    MessagePassing* hub = MessagePassing::instance();
    sequenceRunning = false;
    restartPending = false;
    checkBoxFast->setEnabled(true);
    if (checkBoxFast->isChecked())
        hub->changeFenBianLv1080pFinish(requesterId);
    else
        hub->changeFenBianLv1080pReturnFinish(requesterId);
    serveWaiting();
}

void OtherSet::serveWaiting() {
    while (!sequenceRunning && !waiting.isEmpty())
        serve(waiting.takeFirst());
}

void OtherSet::checkBoxFastClicked() {
    if (MessagePassing::instance()->isVideoState() || sequenceRunning) {
        const QSignalBlocker block(checkBoxFast);
        checkBoxFast->setChecked(!checkBoxFast->isChecked());
        return;
    }
    requesterId = -1;
    store("FastMode", checkBoxFast->isChecked());
    checkBoxFastFunc();
}

void OtherSet::changeFenBianLv1080pSLOT(int requester) {
    serve({Start, requester});
}

void OtherSet::changeFenBianLv1080pReturnSLOT(int requester) {
    serve({Return, requester});
}

void OtherSet::restartCameraSLOT() {
    if (qobject_cast<UVCCamera*>(MessagePassing::instance()->currentCamera()))
        serve({Restart, -1});
}

void OtherSet::serve(const Request& request) {
    MessagePassing* hub = MessagePassing::instance();
    const bool canSwitch = fastModeCamera() != nullptr;
    if (sequenceRunning && (canSwitch || request.kind == Restart)) {
        waiting.append(request); // answered once the running switch is over
        return;
    }
    const int r = request.requester;
    switch (request.kind) {
    case Restart:
        restartPending = true;
        requesterId = -1;
        checkBoxFastFunc();
        return;
    case Start:
        if (!canSwitch) {
            activeRequesters.insert(r);
            comboFPS->setEnabled(false);
            hub->changeFenBianLv1080pFinish(r);
            return;
        }
        if (activeRequesters.isEmpty())
            fastWasOn = checkBoxFast->isChecked();
        activeRequesters.insert(r);
        requesterId = r;
        if (!checkBoxFast->isChecked()) {
            checkBoxFast->setChecked(true);
            checkBoxFastFunc();
        } else {
            hub->changeFenBianLv1080pFinish(r);
        }
        return;
    case Return:
        activeRequesters.remove(r);
        if (!canSwitch) {
            // The frame rate may change again once nobody works on the stream.
            comboFPS->setEnabled(activeRequesters.isEmpty());
            hub->changeFenBianLv1080pReturnFinish(r);
            return;
        }
        requesterId = r;
        // Full size again only when nobody else still works at 1080p.
        if (activeRequesters.isEmpty() && !fastWasOn && checkBoxFast->isChecked()) {
            checkBoxFast->setChecked(false);
            checkBoxFastFunc();
        } else {
            hub->changeFenBianLv1080pReturnFinish(r);
        }
        return;
    }
}

void OtherSet::WFRenewDataSLOT(bool show) {
    const QSignalBlocker block(checkBoxFast);
    checkBoxFast->setVisible(show);
    checkBoxFast->setChecked(false);
}

void OtherSet::btnSMBClick() {
    auto* net = qobject_cast<NetCamera*>(MessagePassing::instance()->currentCamera());
    if (!net)
        return;
    // The camera's share, opened by the desktop's handler for smb: addresses.
    if (!QDesktopServices::openUrl(QUrl(QString("smb://%1/share").arg(net->address()))))
        PanelParts::showError({"打开失败，没有找到 SMB 服务器！", "Open failed , no SMB server found!",
                               "打開失敗，沒有找到 SMB 服務器！"});
}
