#include "imaging/SnapOpenSave.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveFileDialog.h"
#include "app/hub/UiSize.h"
#include "app/hub/PictureSizeLimit.h"
#include "panels/measure/PanelKit.h"
#include "platform/RegularFile.h"

#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

SnapOpenSave::FileChooser& chooserSlot() {
    static SnapOpenSave::FileChooser chooser;
    return chooser;
}

int scaled(int designed) { return designed * uiSizeFactor / 10; }
int rounded(int designed) { return int(std::lround(designed * uiSizeFactor / 10.0)); }

const char* const kPictureFilter = "jpg(*.jpg);; png(*.png);; bmp(*.bmp);; tiff(*.tiff)";

} // namespace

void SnapOpenSave::setFileChooser(FileChooser chooser) { chooserSlot() = std::move(chooser); }

SnapOpenSave::SnapOpenSave(QWidget* parent) : QWidget(parent) {
    setObjectName("SnapOpenSave");
    resize(346, 50);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    widgetContent = new QWidget(this);
    widgetContent->setObjectName("widgetContent");
    layout->addWidget(widgetContent);
    struct Row {
        QToolButton** button;
        const char* name;
        int x;
        QStringList texts;
    };
    const Row rows[] = {
        {&btnOpen, "btnOpen", 0, {"打开", "Open", "打開"}},
        {&btnSave, "btnSave", 58, {"保存", "Save", "保存"}},
        {&btnSaveAs, "btnSaveAs", 116, {"另存为", "Save as", "另存為"}},
        {&btnScaleOK, "btnScaleOK", 172, {"窗口自适应", "Auto Size", "窗口自適應"}},
        {&btndelAll, "btndelAll", 228, {"删除最近拍摄", "Del All Image", "刪除最近拍攝"}},
        {&btnOverlay, "btnOverlay", 284, {"叠图", "Overlay", "曡圖"}},
    };
    for (const Row& r : rows) {
        auto* b = new QToolButton(widgetContent);
        b->setObjectName(r.name);
        b->setGeometry(r.x, 0, 50, 50);
        b->setMinimumSize(50, 50);
        b->setMaximumSize(100, 100);
        *r.button = b;
    }
    renewSize();
    for (const Row& r : rows) {
        languageTable.insert(r.name, r.texts);
        QToolButton* b = *r.button;
        b->setText(QString());
        b->setAutoRaise(true);
        b->setIconSize(b->size());
        b->setIcon(QPixmap(QString(":/res/SnapOpenSave/%1_%2.png").arg(r.name).arg(uiSizeFactor))
                       .scaledToWidth(b->width(), Qt::SmoothTransformation));
        b->installEventFilter(this);
    }
    connect(btnOpen, SIGNAL(clicked()), this, SLOT(btnOpenClick()));
    connect(btnSave, SIGNAL(clicked()), this, SLOT(btnSaveClick()));
    connect(btnSaveAs, SIGNAL(clicked()), this, SLOT(btnSaveAsClick()));
    connect(btnScaleOK, SIGNAL(clicked()), this, SLOT(btnScaleOKClick()));
    connect(btndelAll, SIGNAL(clicked()), this, SLOT(btndelAllClick()));
    connect(btnOverlay, SIGNAL(clicked()), this, SLOT(btnOverlayClick()));
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(imageModeSaveSIGNAL()), this, SLOT(imageModeSaveSLOT()));
    connect(hub, SIGNAL(addImageHistorySIGNAL(int, QString)), this, SLOT(addImageHistorySLOT(int, QString)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setIsCameraModeSIGNAL(bool)), this, SLOT(setIsCameraModeSLOT(bool)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    btnSave->setEnabled(false);
    btnSaveAs->setEnabled(false);
}

SnapOpenSave::~SnapOpenSave() = default;

void SnapOpenSave::renewSize() {
    resize(scaled(width()), scaled(height()));
    for (QObject* o : widgetContent->children()) {
        if (auto* w = qobject_cast<QWidget*>(o))
            w->setGeometry(rounded(w->x()), rounded(w->y()), rounded(w->width()), rounded(w->height()));
    }
}

QString SnapOpenSave::imageFolder() const {
    QSettings settings(RegularFile::settingsName("./CameraSet.ini"), QSettings::IniFormat);
    return MessagePassing::instance()->checkImgPath(&settings);
}

QString SnapOpenSave::chooseFile(const QString& title, const QString& filter, bool save,
                                 QString* selectedFilter) const {
    const QString folder = imageFolder();
    if (chooserSlot())
        return chooserSlot()(title, folder, filter, save, selectedFilter);
    return save ? SaveFileDialog::getSaveFileName(nullptr, title, folder, filter, selectedFilter)
                : QFileDialog::getOpenFileName(nullptr, title, folder, filter, selectedFilter);
}

bool SnapOpenSave::eventFilter(QObject* watched, QEvent* event) {
    PanelKit::hoverHint(watched, event, languageTable);
    return QWidget::eventFilter(watched, event);
}

void SnapOpenSave::btnOpenClick() {
    const QString file = chooseFile("打开", "图片文件(*.jpg *.png *.bmp *.tiff)", false);
    if (!file.isEmpty() && PictureSizeLimit::allowOpen(file))
        MessagePassing::instance()->setEditImage(file);
}

QString SnapOpenSave::saveAsName(const QString& chosen, const QString& selectedFilter) {
    return SaveFileDialog::withSuffix(chosen, selectedFilter, kPictureFilter);
}

void SnapOpenSave::saveSplit(const QString& path) {
    // The suffix is that of the file name: a folder may have a dot too.
    const QString suffix = QFileInfo(path).suffix();
    const QString before = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    pendingSave = before + "." + suffix;
    savedPending = false;
    MessagePassing::instance()->snapImageMode(before, suffix, 5);
}

void SnapOpenSave::addImageHistorySLOT(int index, QString path) {
    Q_UNUSED(index)
    // The main widget lists a saved picture only once it is written.
    if (!pendingSave.isEmpty() && path == pendingSave)
        savedPending = true;
}

void SnapOpenSave::btnSaveClick() {
    isSaveAs = false;
    saveSplit(MessagePassing::instance()->getEditImagePath());
}

void SnapOpenSave::btnSaveAsClick() {
    isSaveAs = true;
    QString filter;
    const QString file = chooseFile("另存为", kPictureFilter, true, &filter);
    if (file.isEmpty())
        return;
    saveAsPath = saveAsName(file, filter);
    saveSplit(saveAsPath);
}

void SnapOpenSave::imageModeSaveSLOT() {
    MessagePassing* hub = MessagePassing::instance();
    const bool saved = savedPending;
    pendingSave.clear();
    savedPending = false;
    // A failed save leaves the picture on screen as it is (the main widget
    // has said why); only a written file is opened again.
    if (!saved)
        return;
    if (!isSaveAs) {
        hub->setEditImage(hub->getEditImagePath());
    } else if (!saveAsPath.isEmpty()) {
        hub->setEditImage(saveAsPath);
        emit hub->selectSnapHistoryLastSIGNAL();
    }
}

void SnapOpenSave::btnScaleOKClick() { emit MessagePassing::instance()->btnScaleOKSIGNAL(); }

void SnapOpenSave::btndelAllClick() { MessagePassing::instance()->removeAllImageHistory(); }

void SnapOpenSave::changeLanguageSLOT(int language) { Q_UNUSED(language) } // texts are picked at hover time

void SnapOpenSave::setPanelWidth(int designed) {
    const int w = scaled(designed);
    resize(w, height());
    widgetContent->resize(w, widgetContent->height());
}

void SnapOpenSave::btnOverlayClick() {
    if (MessagePassing::instance()->isVideoState())
        return;
    if (isOverlayMode) {
        exitOverlayMode();
        return;
    }
    const QString file = chooseFile("选择叠图图片", kPictureFilter, false);
    if (file.isEmpty() || !QFile::exists(file) || !PictureSizeLimit::allowOpen(file))
        return;
    isOverlayMode = true;
    createOverlayControls();
    setPanelWidth(530);
    MessagePassing::instance()->setOverlayImage(file, 100 - opacityValue);
}

void SnapOpenSave::createOverlayControls() {
    const int f = uiSizeFactor;
    btnSwitchOverlay = new QToolButton(widgetContent);
    btnSwitchOverlay->setObjectName("btnSwitchOverlay");
    btnSwitchOverlay->setGeometry(scaled(340), 0, scaled(50), scaled(50));
    btnSwitchOverlay->setMinimumSize(scaled(50), scaled(50));
    btnSwitchOverlay->setMaximumSize(scaled(100), scaled(100));
    btnSwitchOverlay->setAutoRaise(true);
    btnSwitchOverlay->setIconSize(QSize(scaled(50), scaled(50)));
    btnSwitchOverlay->setIcon(QPixmap(QString(":/res/SnapOpenSave/btnSwitchOverlay_%1.png").arg(f)));
    btnSwitchOverlay->setStyleSheet("QToolButton{border:none;background:transparent;}");
    btnSwitchOverlay->installEventFilter(this);
    connect(btnSwitchOverlay, SIGNAL(clicked()), this, SLOT(btnSwitchOverlayClick()));
    btnSwitchOverlay->show();

    sliderOpacity = new QSlider(Qt::Horizontal, widgetContent);
    sliderOpacity->setObjectName("sliderOpacity");
    sliderOpacity->setGeometry(scaled(340 + 5 + 50), scaled((50 - 30) / 2), scaled(80), scaled(30));
    sliderOpacity->setRange(0, 100);
    sliderOpacity->setValue(opacityValue);
    sliderOpacity->setStyleSheet(
        QString("QSlider::groove:horizontal{border-image:url(:/res/slider_%1.png) %2 %2 %2 %2 stretch stretch;"
                "border-width:%1px;}"
                "QSlider::handle:horizontal{image:url(:/res/slider_handle_%1.png);margin:-%2px -%2px -%2px -%2px;}")
            .arg(f)
            .arg(f - 1));
    sliderOpacity->installEventFilter(this);
    connect(sliderOpacity, SIGNAL(valueChanged(int)), this, SLOT(sliderOpacityChanged(int)));
    sliderOpacity->show();

    labelOpacity = new QLabel(widgetContent);
    labelOpacity->setObjectName("labelOpacity");
    labelOpacity->setGeometry(scaled(340 + 5 + 50 + 5 + 80), scaled((50 - 30) / 2), scaled(40), scaled(30));
    labelOpacity->setAlignment(Qt::AlignCenter);
    labelOpacity->setStyleSheet("QLabel{color:black;font-weight:bold;}");
    labelOpacity->setText(QString::number(opacityValue) + "%");
    labelOpacity->show();

    enabledStates.insert(btnSwitchOverlay, true);
    enabledStates.insert(sliderOpacity, true);
    enabledStates.insert(labelOpacity, true);
    languageTable.insert("btnSwitchOverlay", {"切换叠图", "Switch Overlay", "切換曡圖"});
    languageTable.insert("sliderOpacity", {"透明度", "Opacity", "透明度"});
    if (MessagePassing::instance()->isVideoState()) {
        btnSwitchOverlay->hide();
        sliderOpacity->hide();
        labelOpacity->hide();
    }
}

void SnapOpenSave::sliderOpacityChanged(int value) {
    if (!isOverlayMode || MessagePassing::instance()->isVideoState())
        return;
    opacityValue = value;
    labelOpacity->setText(QString::number(value) + "%");
    emit MessagePassing::instance()->setOverlayOpacitySIGNAL(100 - value);
}

void SnapOpenSave::btnSwitchOverlayClick() {
    if (!isOverlayMode)
        return;
    const QString file = chooseFile("选择新的叠图图片", kPictureFilter, false);
    if (!file.isEmpty() && QFile::exists(file) && PictureSizeLimit::allowOpen(file))
        MessagePassing::instance()->setOverlayImage(file, 100 - opacityValue);
}

void SnapOpenSave::exitOverlayMode() {
    isOverlayMode = false;
    for (QWidget* w : {static_cast<QWidget*>(btnSwitchOverlay), static_cast<QWidget*>(sliderOpacity),
                       static_cast<QWidget*>(labelOpacity)}) {
        if (!w)
            continue;
        enabledStates.remove(w);
        w->removeEventFilter(this);
        w->deleteLater();
    }
    btnSwitchOverlay = nullptr;
    sliderOpacity = nullptr;
    labelOpacity = nullptr;
    setPanelWidth(328);
    emit MessagePassing::instance()->clearOverlayImageSIGNAL();
}

void SnapOpenSave::setIsCameraModeSLOT(bool cameraMode) {
    btnSave->setEnabled(!cameraMode);
    btnSaveAs->setEnabled(!cameraMode);
    if (!cameraMode && isOverlayMode)
        exitOverlayMode();
}

void SnapOpenSave::setVideoStateSLOT(bool recording) {
    if (recording) {
        if (isOverlayMode)
            exitOverlayMode();
        btnOverlay->setEnabled(false);
        for (QToolButton* b : {btnOpen, btnSave, btnSaveAs, btnOverlay}) {
            enabledStates.insert(b, b->isEnabled());
            b->setEnabled(false);
        }
    } else {
        for (auto it = enabledStates.constBegin(); it != enabledStates.constEnd(); ++it)
            it.key()->setEnabled(it.value());
        btnOverlay->show();
        btnOverlay->setEnabled(true);
    }
}
