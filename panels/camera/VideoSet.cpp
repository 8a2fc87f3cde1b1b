#include "panels/camera/VideoSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

using PanelParts::addRow;
using PanelParts::addTo;
using PanelParts::scaled;

namespace {
const char* const iniFile = "./VideoSet.ini";

} // namespace

VideoSet::VideoSet(QWidget* parent) : QWidget(parent) {
    setObjectName("VideoSet");
    resize(scaled(274), scaled(210));
    QVBoxLayout* column = PanelParts::panelFrame(this, &labTitle);
    QWidget* content = column->parentWidget();

    QWidget* r1 = addRow(content, column, "widget_1", {10, 0, 10, 0});
    rbtnAUTO = addTo<QRadioButton>(r1, "rbtnAUTO");
    lineEditAuto = addTo<QLineEdit>(r1, "lineEditAuto");
    rbtnHAND = addTo<QRadioButton>(r1, "rbtnHAND");
    QWidget* r2 = addRow(content, column, "widget_2", {10, 0, 10, 0});
    labAuto = addTo<QLabel>(r2, "labAuto");
    rBtnAutoDate = addTo<QRadioButton>(r2, "rBtnAutoDate");
    rBtnAutoIndex = addTo<QRadioButton>(r2, "rBtnAutoIndex");
    QWidget* r3 = addRow(content, column, "widget", {10, 10, 10, 0});
    labPath = addTo<QLabel>(r3, "labPath");
    QWidget* r4 = addRow(content, column, "widget_3", {10, 0, 10, 10});
    lineEditPath = addTo<QLineEdit>(r4, "lineEditPath");
    lineEditPath->setReadOnly(true);
    btnPath = addTo<QToolButton>(r4, "btnPath");
    QWidget* r5 = addRow(content, column, "widget_5", {10, 0, 10, 0});
    checkBoxGun = addTo<QCheckBox>(r5, "checkBoxGun");
    lineEditGun = addTo<QLineEdit>(r5, "lineEditGun");
    lineEditGun->setReadOnly(true);

    MessagePassing* hub = MessagePassing::instance();
    PanelParts::styleControls(this);
    PanelParts::scaleLayouts(this);

    texts.insert("labTitle", {"录像设置", "Video Setting", "錄像設置"});
    texts.insert("rbtnAUTO", {"自动命名", "Auto", "自動命名"});
    texts.insert("rbtnHAND", {"手动命名", "Manual", "手動命名"});
    texts.insert("labAuto", {"自动命名规则", "Auto Naming", "自動命名規則"});
    texts.insert("rBtnAutoDate", {"日期", "Date", "日期"});
    texts.insert("rBtnAutoIndex", {"递增序号", "Sequence", "遞增序號"});
    texts.insert("labPath", {"录像存储路径:", "Video Path:", "錄像存儲路徑:"});
    texts.insert("btnPath", {"选择", "Select", "選擇"});
    texts.insert("checkBoxGun", {"扫码枪模式", "Gun Mode", "掃碼槍模式"});

    QSettings ini(RegularFile::settingsName(iniFile), QSettings::IniFormat);
    const bool autoName = ini.value("isAutoName", true).toBool();
    rbtnAUTO->setChecked(autoName);
    rbtnHAND->setChecked(!autoName);
    lineEditAuto->setEnabled(autoName);
    connect(rbtnAUTO, SIGNAL(toggled(bool)), this, SLOT(rbtnAUTOToggle(bool)));
    const bool autoDate = ini.value("isAutoDate", true).toBool();
    rBtnAutoDate->setChecked(autoDate);
    rBtnAutoIndex->setChecked(!autoDate);
    connect(rBtnAutoDate, SIGNAL(toggled(bool)), this, SLOT(rBtnAutoDateToggle(bool)));
    lineEditAuto->setText(PanelParts::storedPrefix(ini, "video"));
    lineEditAuto->installEventFilter(this);
    const bool gun = ini.value("isGunMode", false).toBool();
    checkBoxGun->setChecked(gun);
    if (gun) {
        hub->setGunMode(2);
        // The snapshot panel may have been built with its own box stored on:
        // only one of the two may show checked.
        hub->checkBoxGunToggle(true);
    }
    connect(checkBoxGun, SIGNAL(toggled(bool)), this, SLOT(checkBoxGunToggle(bool)));
    lineEditPath->setText(hub->checkVideoPath(&ini));
    connect(btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(checkBoxGunToggleSIGNAL(bool)), this, SLOT(checkBoxGunToggleSLOT(bool)));
    connect(hub, SIGNAL(GunReturnVideoSIGNAL(QString)), this, SLOT(GunReturnVideoSLOT(QString)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    changeLanguageSLOT(hub->language());
}

void VideoSet::store(const char* key, const QVariant& value) {
    PanelParts::store(iniFile, key, value);
}

bool VideoSet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEditAuto && event->type() == QEvent::FocusOut && lineEditAuto->isEnabled())
        PanelParts::storePrefix(lineEditAuto, iniFile, "video");
    return QWidget::eventFilter(watched, event);
}

void VideoSet::rbtnAUTOToggle(bool on) {
    lineEditAuto->setEnabled(on);
    store("isAutoName", on);
}

void VideoSet::rBtnAutoDateToggle(bool on) {
    store("isAutoDate", on);
}

void VideoSet::btnPathClick() {
    const QString folder = PanelParts::chooseFolder(this);
    if (folder.isEmpty())
        return;
    lineEditPath->setText(folder);
    store("videoPath", folder);
}

void VideoSet::changeLanguageSLOT(int language) {
    PanelParts::applyTexts(this, texts, qBound(0, language, 2));
}

void VideoSet::checkBoxGunToggle(bool on) {
    PanelParts::scannerBoxToggled(iniFile, on, 2);
}

void VideoSet::checkBoxGunToggleSLOT(bool video) {
    if (video)
        return;
    store("isGunMode", false);
    const QSignalBlocker block(checkBoxGun);
    checkBoxGun->setChecked(false);
}

void VideoSet::GunReturnVideoSLOT(QString code) {
    lineEditGun->setText(code);
}

void VideoSet::setVideoStateSLOT(bool recording) {
    if (!recording)
        lineEditGun->clear();
}
