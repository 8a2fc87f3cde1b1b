#include "panels/camera/VideoSet.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"
#include "panels/camera/PanelParts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

using PanelParts::scaled;

namespace {
const char* const iniFile = "./VideoSet.ini";

QWidget* row(QWidget* parent, QVBoxLayout* column, const char* name, const char* layout, QMargins m) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    auto* l = new QHBoxLayout(w);
    l->setObjectName(layout);
    l->setContentsMargins(m);
    column->addWidget(w);
    return w;
}

template <class T> T* add(QWidget* row, const char* name) {
    auto* w = new T(row);
    w->setObjectName(name);
    row->layout()->addWidget(w);
    return w;
}

// The prefix as stored: trimmed, and "video" when blank or when it would name
// another folder.
QString cleanPrefix(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty() || text.contains('/') || text.contains('\\') || text == "." || text == "..")
        return "video";
    return text;
}
} // namespace

VideoSet::VideoSet(QWidget* parent) : QWidget(parent) {
    setObjectName("VideoSet");
    resize(scaled(274), scaled(210));
    auto* outer = new QVBoxLayout(this);
    outer->setObjectName("verticalLayout");
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PanelParts::titleRow(this, &labTitle));
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    auto* column = new QVBoxLayout(content);
    column->setObjectName("verticalLayout_2");
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(content);
    outer->addStretch(1);

    QWidget* r1 = row(content, column, "widget_1", "horizontalLayout_3", {10, 0, 10, 0});
    rbtnAUTO = add<QRadioButton>(r1, "rbtnAUTO");
    lineEditAuto = add<QLineEdit>(r1, "lineEditAuto");
    rbtnHAND = add<QRadioButton>(r1, "rbtnHAND");
    QWidget* r2 = row(content, column, "widget_2", "horizontalLayout_6", {10, 0, 10, 0});
    labAuto = add<QLabel>(r2, "labAuto");
    rBtnAutoDate = add<QRadioButton>(r2, "rBtnAutoDate");
    rBtnAutoIndex = add<QRadioButton>(r2, "rBtnAutoIndex");
    QWidget* r3 = row(content, column, "widget", "horizontalLayout_2", {10, 10, 10, 0});
    labPath = add<QLabel>(r3, "labPath");
    QWidget* r4 = row(content, column, "widget_3", "horizontalLayout_4", {10, 0, 10, 10});
    lineEditPath = add<QLineEdit>(r4, "lineEditPath");
    lineEditPath->setReadOnly(true);
    btnPath = add<QToolButton>(r4, "btnPath");
    QWidget* r5 = row(content, column, "widget_5", "horizontalLayout_5", {10, 0, 10, 0});
    checkBoxGun = add<QCheckBox>(r5, "checkBoxGun");
    lineEditGun = add<QLineEdit>(r5, "lineEditGun");
    lineEditGun->setReadOnly(true);

    MessagePassing* hub = MessagePassing::instance();
    for (QRadioButton* b : findChildren<QRadioButton*>())
        b->setStyleSheet(hub->getQRadioButtonStyle());
    checkBoxGun->setStyleSheet(hub->getQCheckBoxStyle());
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        e->setFixedHeight(scaled(24));
        e->setStyleSheet(hub->getQLineEditStyle());
    }
    btnPath->setFixedHeight(scaled(24));
    btnPath->setStyleSheet(hub->getQToolButtonStyle());
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

    QSettings ini(iniFile, QSettings::IniFormat);
    const bool autoName = ini.value("isAutoName", true).toBool();
    rbtnAUTO->setChecked(autoName);
    rbtnHAND->setChecked(!autoName);
    lineEditAuto->setEnabled(autoName);
    connect(rbtnAUTO, SIGNAL(toggled(bool)), this, SLOT(rbtnAUTOToggle(bool)));
    const bool autoDate = ini.value("isAutoDate", true).toBool();
    rBtnAutoDate->setChecked(autoDate);
    rBtnAutoIndex->setChecked(!autoDate);
    connect(rBtnAutoDate, SIGNAL(toggled(bool)), this, SLOT(rBtnAutoDateToggle(bool)));
    lineEditAuto->setText(ini.value("autoNameBegin", "video").toString());
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
    QSettings ini(iniFile, QSettings::IniFormat);
    ini.setValue(key, value);
    ini.sync();
}

bool VideoSet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEditAuto && event->type() == QEvent::FocusOut && lineEditAuto->isEnabled()) {
        const QString prefix = cleanPrefix(lineEditAuto->text());
        if (prefix != lineEditAuto->text().trimmed())
            lineEditAuto->setText(prefix);
        QSettings ini(iniFile, QSettings::IniFormat);
        if (ini.value("autoNameBegin", "video").toString() != prefix)
            ini.setValue("autoNameIndex", 0);
        ini.setValue("autoNameBegin", prefix);
        ini.sync();
    }
    return QWidget::eventFilter(watched, event);
}

void VideoSet::rbtnAUTOToggle(bool on) {
    lineEditAuto->setEnabled(on);
    store("isAutoName", on);
}

void VideoSet::rBtnAutoDateToggle(bool on) { store("isAutoDate", on); }

void VideoSet::btnPathClick() {
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    lineEditPath->setText(dialog.selectedFiles().first());
    store("videoPath", dialog.selectedFiles().first());
}

void VideoSet::changeLanguageSLOT(int language) { PanelParts::applyTexts(this, texts, qBound(0, language, 2)); }

void VideoSet::checkBoxGunToggle(bool on) {
    store("isGunMode", on);
    MessagePassing* hub = MessagePassing::instance();
    if (on) {
        hub->setGunMode(2);
        hub->checkBoxGunToggle(true);
    } else {
        hub->setGunMode(0);
    }
}

void VideoSet::checkBoxGunToggleSLOT(bool video) {
    if (video)
        return;
    store("isGunMode", false);
    const QSignalBlocker block(checkBoxGun);
    checkBoxGun->setChecked(false);
}

void VideoSet::GunReturnVideoSLOT(QString code) { lineEditGun->setText(code); }

void VideoSet::setVideoStateSLOT(bool recording) {
    if (!recording)
        lineEditGun->clear();
}
