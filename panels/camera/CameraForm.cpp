#include "panels/camera/CameraForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/SDLBackground.h"
#include "camera/ThreadVideo.h"
#include "panels/camera/CameraSet.h"
#include "platform/FileNames.h"
#include "panels/camera/PanelParts.h"
#include "platform/ProcessLimits.h"
#include "platform/RegularFile.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QInputDialog>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <sys/stat.h>

std::function<qint64(const QString&)> CameraForm::freeSpaceQuery;

namespace {
int roundScaled(int v) {
    return int(std::lround(v * uiSizeFactor * 0.1));
}
QString stamp() {
    return QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss_zzz");
}
QString fiveDigits(int n) {
    return QString("%1").arg(n, 5, 10, QChar('0'));
}
const QStringList noSpaceText = {"磁盘空间不足！", "not enough disk space!", "磁盤空間不足！"};
const QStringList recordFailedText = {"录像失败！", "Recording failed!", "錄像失敗！"};
const QStringList badNameText = {"名字无效，不能含有 / \\ : * ? \" < > | 或 ..",
                                 "Invalid name: / \\ : * ? \" < > | and .. are not allowed.",
                                 "名字無效，不能含有 / \\ : * ? \" < > | 或 .."};
} // namespace

void Ui_CameraForm::setupUi(QWidget* form) {
    form->setObjectName("CameraForm");
    form->resize(182, 50);
    verticalLayout = new QVBoxLayout(form);
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    widget = new QWidget(form);
    widget->setObjectName("widget");
    verticalLayout_2 = new QVBoxLayout(widget);
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    widgetTop = new QWidget(widget);
    widgetTop->setObjectName("widgetTop");
    widgetTop->setMinimumSize(0, 50);
    widgetTop->setMaximumSize(16777215, 50);
    verticalLayout_2->addWidget(widgetTop);
    verticalLayout->addWidget(widget);
    auto make = [this](const char* name, int x) {
        auto* b = new QToolButton(widgetTop);
        b->setObjectName(name);
        b->setGeometry(x, 0, 50, 50);
        return b;
    };
    btnPlay = make("btnPlay", 8);
    btnPause = make("btnPause", 8);
    btnCamera = make("btnCamera", 66);
    btnVideo = make("btnVideo", 124);
    btnVideoStop = make("btnVideoStop", 124);
}

CameraForm::CameraForm(QWidget* parent) : QWidget(parent), ui(new Ui_CameraForm) {
    ui->setupUi(this);
    initSize();
    initTipTexts();
    initButtons();
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(stopVideoSIGNAL()), this, SLOT(stopVideoSLOT()));
    connect(hub, SIGNAL(snapCtrlQSIGNAL()), this, SLOT(snapCtrlQSLOT()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    connect(hub, SIGNAL(setEditImageSIGNAL(QString)), this, SLOT(setEditImageSLOT(QString)));
    connect(hub, SIGNAL(addIconCameraSIGNAL()), this, SLOT(addIconCameraSLOT()));
    connect(hub, SIGNAL(removeIconCameraSIGNAL()), this, SLOT(removeIconCameraSLOT()));
    connect(hub, SIGNAL(setIsCameraModeSIGNAL(bool)), this, SLOT(setIsCameraModeSLOT(bool)));
    connect(hub, SIGNAL(GunReturnVideoSIGNAL(QString)), this, SLOT(GunReturnVideoSLOT(QString)));
    connect(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)), this,
            SLOT(changeFenBianLv1080pFinishSLOT(int)));
    connect(hub, SIGNAL(changeFenBianLv1080pReturnFinishSIGNAL(int)), this,
            SLOT(changeFenBianLv1080pReturnFinishSLOT(int)));
    connect(hub, SIGNAL(setCurCameraNULLSIGNAL()), this, SLOT(setCurCameraNULLSLOT()));
}

CameraForm::~CameraForm() {
    delete ui;
}

void CameraForm::initSize() {
    resize(roundScaled(width()), roundScaled(height()));
    ui->widgetTop->setMinimumHeight(PanelParts::scaled(50));
    ui->widgetTop->setMaximumHeight(PanelParts::scaled(50));
    for (QToolButton* b : ui->widgetTop->findChildren<QToolButton*>()) {
        const QRect g = b->geometry();
        b->setGeometry(roundScaled(g.x()), roundScaled(g.y()), roundScaled(g.width()),
                       roundScaled(g.height()));
    }
}

void CameraForm::initTipTexts() {
    tipTexts.insert("btnPlay", {"开始预览", "Play", "開始預覽"});
    tipTexts.insert("btnPause", {"暂停预览", "Pasue", "暫停預覽"});
    tipTexts.insert("btnCamera", {"拍照(Ctrl+Q)", "Snap(Ctrl+Q)", "拍照(Ctrl+Q)"});
    tipTexts.insert("btnVideo", {"开始录像", "Recording", "開始錄像"});
    tipTexts.insert("btnVideoStop", {"停止录像", "Recording Stop", "停止錄像"});
}

void CameraForm::initButtons() {
    const QList<QToolButton*> buttons = {ui->btnPlay, ui->btnPause, ui->btnCamera, ui->btnVideo,
                                         ui->btnVideoStop};
    for (QToolButton* b : buttons) {
        b->setText(QString());
        b->setAutoRaise(true);
        b->setIconSize(b->size());
        b->setIcon(QIcon(QString(":/res/CameraForm/%1_%2.png").arg(b->objectName()).arg(uiSizeFactor)));
        b->installEventFilter(this);
    }
    ui->btnPlay->hide();
    ui->btnVideoStop->hide();
    connect(ui->btnPlay, SIGNAL(clicked()), this, SLOT(btnPlayClick()));
    connect(ui->btnPause, SIGNAL(clicked()), this, SLOT(btnPauseClick()));
    connect(ui->btnCamera, SIGNAL(clicked()), this, SLOT(btnCameraClick()));
    connect(ui->btnVideo, SIGNAL(clicked()), this, SLOT(btnVideoClick()));
    connect(ui->btnVideoStop, SIGNAL(clicked()), this, SLOT(btnVideoStopClick()));
}

bool CameraForm::eventFilter(QObject* watched, QEvent* event) {
    const auto tip = tipTexts.constFind(watched->objectName());
    auto* w = qobject_cast<QWidget*>(watched);
    if (tip != tipTexts.constEnd() && w) {
        MessagePassing* hub = MessagePassing::instance();
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseButtonRelease)
            hub->bewriteTextUpdate(true, w->mapToGlobal(QPoint(w->width() / 2, 0)),
                                   PanelParts::pick(*tip, PanelParts::language()));
        else if (event->type() == QEvent::Leave)
            hub->bewriteTextUpdate(false, QPoint(0, 0), QString());
    }
    return QWidget::eventFilter(watched, event);
}

void CameraForm::playIfPaused() {
    if (!ui->btnPlay->isHidden())
        btnPlayClick();
}

void CameraForm::btnPlayClick() {
    ui->btnPlay->hide();
    ui->btnPause->show();
    MessagePassing* hub = MessagePassing::instance();
    if (BaseCamera* cam = hub->currentCamera())
        cam->play();
    hub->setIsCameraMode(true);
    hub->paintAF();
    if (videoWindow)
        videoWindow->show();
}

void CameraForm::btnPauseClick() {
    ui->btnPlay->show();
    ui->btnPause->hide();
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->pause();
}

int CameraForm::nextCounter(QSettings& settings) {
    int counter = settings.value("autoNameIndex", 0).toInt() + 1;
    if (counter > 90000 || counter < 1)
        counter = 1;
    // Whole or refused with its reason; settings itself stays unchanged, so
    // that it writes nothing of its own when it goes.
    SaveErrorBox::editSettings(settings.fileName(),
                               [counter](QSettings& ini) { ini.setValue("autoNameIndex", counter); });
    return counter;
}

void CameraForm::btnCameraClick() {
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    if (!cam)
        return; // nothing would ever report the snapshot done
    QSettings ini(RegularFile::settingsName("./CameraSet.ini"), QSettings::IniFormat);
    const QString folder = hub->checkImgPath(&ini);
    const QString prefix = PanelParts::storedPrefix(ini, "img");
    QString name;
    if (ini.value("isAutoDate", true).toBool())
        name = folder + QString("/%1_%2").arg(prefix, stamp());
    else
        name = folder + QString("/%1_%2").arg(prefix, fiveDigits(nextCounter(ini)));
    const QString base = makeUniqueFileName(name, QString(".%1").arg(hub->imgType));

    const CameraSet::SnapOptions o = CameraSet::snapOptions(ini);
    hub->addIconCamera();
    cam->snapImage(base, o.mode, o.autoName, o.timeSign, o.colour, o.position, o.size);
}

void CameraForm::addIconCameraSLOT() {
    const QSignalBlocker block(ui->btnCamera);
    ui->btnCamera->setCheckable(true);
    ui->btnCamera->setChecked(true);
    ui->btnCamera->setEnabled(false);
}

void CameraForm::removeIconCameraSLOT() {
    const QSignalBlocker block(ui->btnCamera);
    ui->btnCamera->setCheckable(false);
    ui->btnCamera->setEnabled(true);
}

void CameraForm::btnVideoClick() {
    if (requestPending)
        return;
    MessagePassing* hub = MessagePassing::instance();
    QSettings ini(RegularFile::settingsName("./VideoSet.ini"), QSettings::IniFormat);
    const bool autoDate = ini.value("isAutoDate", true).toBool();
    const bool autoName = ini.value("isAutoName", true).toBool();
    const QString folder = hub->checkVideoPath(&ini);
    const QString prefix = PanelParts::storedPrefix(ini, "video");
    QString name;
    if (autoName && autoDate) {
        name = folder + QString("/%1_%2").arg(prefix, stamp());
    } else if (autoName) {
        name = folder + QString("/%1_%2").arg(prefix, fiveDigits(nextCounter(ini)));
    } else {
        const int lang = PanelParts::language();
        QInputDialog dialog;
        dialog.resize(600, 400);
        dialog.setWindowTitle(QString());
        dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
        dialog.setLabelText(
            PanelParts::pick({"请输入录像名字：", "Please input video Name：", "請輸入錄像名字："}, lang));
        dialog.setOkButtonText(PanelParts::pick({"确定", "Ok", "確定"}, lang));
        dialog.setCancelButtonText(PanelParts::pick({"取消", "Cancel", "取消"}, lang));
        dialog.setTextValue(QString("%1_%2").arg(prefix, stamp()));
        if (dialog.exec() != QDialog::Accepted || dialog.textValue().isEmpty())
            return;
        // The typed text becomes one file name in the video folder, nothing more.
        if (!isSafeFileName(dialog.textValue())) {
            PanelParts::showError(badNameText);
            return;
        }
        name = folder + "/" + dialog.textValue();
    }
    videoFileName = makeUniqueFileName(name, ".mp4") + ".mp4";
    requestRecording();
}

bool CameraForm::diskSpaceEnough() const {
    if (!freeSpaceQuery)
        return isDiskSpaceEnough(videoFileName);
    return isFreeSpaceEnough(freeSpaceQuery(videoFileName.left(videoFileName.lastIndexOf('/'))));
}

void CameraForm::requestRecording() {
    if (!diskSpaceEnough()) {
        PanelParts::showError(noSpaceText);
        return;
    }
    // No second request while this one is answered: a double click would
    // start two recordings.
    requestPending = true;
    ui->btnVideo->setEnabled(false);
    MessagePassing::instance()->changeFenBianLv1080p(1);
}

void CameraForm::changeFenBianLv1080pFinishSLOT(int requester) {
    if (requester == 1)
        QTimer::singleShot(100, this, SLOT(changeFenBianLv1080pFinishDelay()));
}

void CameraForm::changeFenBianLv1080pFinishDelay() {
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    requestPending = false;
    ui->btnVideo->setEnabled(cameraMode);
    if (!cam)
        return;
    // The name was free when it was chosen: a file or link that took it
    // since (another user's, in a shared folder) moves the recording to the
    // next free name; the recorder itself makes only a new file.
    struct stat st;
    if (::lstat(QFile::encodeName(videoFileName).constData(), &st) == 0)
        videoFileName = makeUniqueFileName(videoFileName.chopped(4), ".mp4") + ".mp4";
    if (cam->startRecord(videoFileName)) {
        hub->setVideoState(true);
        return;
    }
    // Nothing records: the resolution goes back as after a recording. The
    // box names a limit of the process that refused the recorder its
    // threads or its file.
    QStringList texts = recordFailedText;
    if (const int limit = ProcessLimits::reachedNow())
        for (int language = 0; language < texts.size(); ++language)
            texts[language] += "\n" + ProcessLimits::reason(limit, language);
    PanelParts::showError(texts);
    hub->changeFenBianLv1080pReturn(1);
}

void CameraForm::btnVideoStopClick() {
    ui->btnVideoStop->setEnabled(false);
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->stopRecord();
    QTimer::singleShot(100, this, SLOT(btnVideoStopDelay()));
}

void CameraForm::btnVideoStopDelay() {
    MessagePassing::instance()->changeFenBianLv1080pReturn(1);
}

void CameraForm::changeFenBianLv1080pReturnFinishSLOT(int requester) {
    if (requester == 1)
        MessagePassing::instance()->setVideoState(false);
}

void CameraForm::changeLanguageSLOT(int language) {
    Q_UNUSED(language)
}

void CameraForm::setVideoStateSLOT(bool recording) {
    ui->btnPlay->setEnabled(!recording);
    ui->btnPause->setEnabled(!recording);
    if (recording) {
        ui->btnVideo->hide();
        ui->btnVideoStop->show();
        const QSignalBlocker block(ui->btnVideoStop);
        ui->btnVideoStop->setCheckable(true);
        ui->btnVideoStop->setChecked(true);
    } else {
        ui->btnVideo->show();
        ui->btnVideoStop->setEnabled(true);
        ui->btnVideoStop->hide();
    }
}

void CameraForm::stopVideoSLOT() {
    ui->btnVideoStop->click();
}

void CameraForm::snapCtrlQSLOT() {
    if (ui->btnCamera->isEnabled())
        ui->btnCamera->click();
}

void CameraForm::setEditImageSLOT(QString path) {
    Q_UNUSED(path)
    ui->btnPlay->show();
    ui->btnPause->hide();
    MessagePassing* hub = MessagePassing::instance();
    if (BaseCamera* cam = hub->currentCamera())
        cam->pause();
    hub->setIsCameraMode(false);
    hub->paintAF();
    if (videoWindow)
        videoWindow->hide();
}

void CameraForm::setIsCameraModeSLOT(bool on) {
    cameraMode = on;
    ui->btnCamera->setEnabled(on);
    ui->btnVideo->setEnabled(on && !requestPending);
    ui->btnVideoStop->setEnabled(on);
}

void CameraForm::GunReturnVideoSLOT(QString code) {
    MessagePassing* hub = MessagePassing::instance();
    if (!hub->currentCamera())
        return;
    if (hub->isVideoState()) {
        btnVideoStopClick();
        return;
    }
    if (requestPending || !isSafeFileName(code))
        return;
    QSettings ini(RegularFile::settingsName("./VideoSet.ini"), QSettings::IniFormat);
    const QString folder = hub->checkVideoPath(&ini);
    videoFileName = makeUniqueFileName(folder + "/" + code, ".mp4") + ".mp4";
    requestRecording();
}

void CameraForm::setCurCameraNULLSLOT() {
    requestPending = false;
    ui->btnVideo->setEnabled(cameraMode);
}
