#include "panels/camera/CameraSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "platform/FileNames.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using PanelParts::addTo;
using PanelParts::scaled;

namespace {
const char* const iniFile = "./CameraSet.ini";
const QStringList fourKModels = {"UVCCamera_Corvo", "UVCCamera_Pellam", "UVCCamera_Quillet",
                                 "UVCCamera_Tirsa", "UVCCamera_Ambrel"};
const QStringList imageTypes = {"jpg", "png", "bmp", "tiff"};

QWidget* row(QWidget* parent, QVBoxLayout* column, const char* name) {
    QWidget* w = PanelParts::addRow(parent, column, name, {10, 0, 10, 0});
    w->setFixedHeight(30);
    return w;
}
} // namespace

void Ui_CameraSet::setupUi(QWidget* form) {
    form->setObjectName("CameraSet");
    form->resize(274, 315);
    QVBoxLayout* column = PanelParts::panelFrame(form, &labTitle);
    widgetTitle = form->findChild<QWidget*>("widgetTitle");
    widgetContent = column->parentWidget();

    widget_0 = row(widgetContent, column, "widget_0");
    rbtnPC = addTo<QRadioButton>(widget_0, "rbtnPC");
    rbtnARM = addTo<QRadioButton>(widget_0, "rbtnARM");
    widget_1 = row(widgetContent, column, "widget_1");
    rbtnAUTO = addTo<QRadioButton>(widget_1, "rbtnAUTO");
    lineEditAuto = addTo<QLineEdit>(widget_1, "lineEditAuto");
    rbtnHAND = addTo<QRadioButton>(widget_1, "rbtnHAND");
    widget_3 = row(widgetContent, column, "widget_3");
    labAuto = addTo<QLabel>(widget_3, "labAuto");
    rBtnAutoIndex = addTo<QRadioButton>(widget_3, "rBtnAutoIndex");
    rBtnAutoDate = addTo<QRadioButton>(widget_3, "rBtnAutoDate");
    widget = row(widgetContent, column, "widget");
    labPath = addTo<QLabel>(widget, "labPath");
    widget_2 = row(widgetContent, column, "widget_2");
    lineEditPath = addTo<QLineEdit>(widget_2, "lineEditPath");
    btnPath = addTo<QToolButton>(widget_2, "btnPath");
    widgetSize = row(widgetContent, column, "widgetSize");
    labSize = addTo<QLabel>(widgetSize, "labSize");
    comboBoxSize = addTo<QComboBox>(widgetSize, "comboBoxSize");
    comboBoxSize->addItems({"2M", "8M", "32M"});
    widget_4 = row(widgetContent, column, "widget_4");
    labImgType = addTo<QLabel>(widget_4, "labImgType");
    comboImgType = addTo<QComboBox>(widget_4, "comboImgType");
    comboImgType->addItems({"JPG", "PNG", "BMP", "TIFF"});
    widget_5 = row(widgetContent, column, "widget_5");
    checkBoxGun = addTo<QCheckBox>(widget_5, "checkBoxGun");
    lineEditGun = addTo<QLineEdit>(widget_5, "lineEditGun");
    lineEditGun->setReadOnly(true);
    widget_7 = row(widgetContent, column, "widget_7");
    checkBoxTimeSign = addTo<QCheckBox>(widget_7, "checkBoxTimeSign");
    comboBoxTimeColor = addTo<QComboBox>(widget_7, "comboBoxTimeColor");
    comboBoxTimePos = addTo<QComboBox>(widget_7, "comboBoxTimePos");
    for (QWidget* w :
         std::initializer_list<QWidget*>{lineEditAuto, lineEditPath, lineEditGun, btnPath, comboBoxSize,
                                         comboImgType, comboBoxTimeColor, comboBoxTimePos})
        w->setFixedHeight(24);
}

CameraSet::CameraSet(QWidget* parent) : QWidget(parent), ui(new Ui_CameraSet) {
    ui->setupUi(this);
    initSize();
    setLanguageText();
    QSettings ini(RegularFile::settingsName(iniFile), QSettings::IniFormat);
    MessagePassing* hub = MessagePassing::instance();

    const bool snapPC = ini.value("isSnapPC", true).toBool();
    ui->rbtnPC->setChecked(snapPC);
    ui->rbtnARM->setChecked(!snapPC);
    connect(ui->rbtnPC, SIGNAL(toggled(bool)), this, SLOT(rbtnPCToggle(bool)));
    const bool autoName = ini.value("isAutoName", true).toBool();
    ui->rbtnAUTO->setChecked(autoName);
    ui->rbtnHAND->setChecked(!autoName);
    ui->lineEditAuto->setEnabled(autoName);
    connect(ui->rbtnAUTO, SIGNAL(toggled(bool)), this, SLOT(rbtnAUTOToggle(bool)));
    const bool autoDate = ini.value("isAutoDate", true).toBool();
    ui->rBtnAutoDate->setChecked(autoDate);
    ui->rBtnAutoIndex->setChecked(!autoDate);
    connect(ui->rBtnAutoDate, SIGNAL(toggled(bool)), this, SLOT(rBtnAutoDateToggle(bool)));
    ui->lineEditAuto->setText(PanelParts::storedPrefix(ini, "img"));
    ui->lineEditAuto->installEventFilter(this);

    // Only the folder dialog changes the folder: typing would never be stored.
    ui->lineEditPath->setReadOnly(true);
    ui->lineEditPath->setText(hub->checkImgPath(&ini));
    connect(ui->btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    int size = ini.value("imgSize", 1).toInt();
    ui->comboBoxSize->setCurrentIndex(size >= 0 && size <= 2 ? size : 1);
    connect(ui->comboBoxSize, SIGNAL(currentIndexChanged(int)), this, SLOT(comboSizeIndexChanged(int)));
    const bool gun = ini.value("isGunMode", false).toBool();
    ui->checkBoxGun->setChecked(gun);
    if (gun) {
        hub->setGunMode(1);
        // The video panel may hold its box stored on as well: only one of the
        // two may show checked, the one built last.
        hub->checkBoxGunToggle(false);
    }

    connect(ui->checkBoxGun, SIGNAL(toggled(bool)), this, SLOT(checkBoxGunToggle(bool)));
    connect(hub, SIGNAL(GunReturnSIGNAL(QString)), this, SLOT(GunReturnSLOT(QString)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(checkBoxGunToggleSIGNAL(bool)), this, SLOT(checkBoxGunToggleSLOT(bool)));
    changeLanguageSLOT(hub->language());
    connect(ui->comboImgType, SIGNAL(currentIndexChanged(int)), this, SLOT(comboImgTypeIndexChanged(int)));

    QPixmap swatch(ui->comboBoxTimeColor->size());
    for (const QColor& c : colorList) {
        swatch.fill(c);
        ui->comboBoxTimeColor->addItem(QIcon(swatch), QString());
    }
    ui->comboBoxTimeColor->setIconSize(ui->comboBoxTimeColor->size());
    ui->comboBoxTimeColor->setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);

    ui->checkBoxTimeSign->setChecked(ini.value("isTimeSign", false).toBool());
    const int color = ini.value("timeColorIndex", 0).toInt();
    ui->comboBoxTimeColor->setCurrentIndex(color >= 0 && color < colorList.size() ? color : 0);
    const int pos = ini.value("timePosIndex", 0).toInt();
    ui->comboBoxTimePos->setCurrentIndex(pos >= 0 && pos <= 3 ? pos : 0);
    connect(ui->checkBoxTimeSign, SIGNAL(toggled(bool)), this, SLOT(checkBoxTimeSignToggle(bool)));
    connect(ui->comboBoxTimeColor, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboBoxTimeColorChanged(int)));
    connect(ui->comboBoxTimePos, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxTimePosChanged(int)));
}

CameraSet::~CameraSet() {
    delete ui;
}

void CameraSet::initSize() {
    const float f = float(uiSizeFactor) * 0.1f;
    resize(int(width() * f), int(height() * f));
    ui->widgetTitle->setMaximumHeight(int(40 * f));
    for (QWidget* r : ui->widgetContent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        r->setFixedHeight(int(r->height() * f));
    PanelParts::styleControls(this);
    PanelParts::scaleLayouts(this);
}

void CameraSet::setLanguageText() {
    languageTexts.insert("labTitle", {"拍摄设置", "Shoot Setting", "拍攝設置"});
    languageTexts.insert("rbtnPC", {"拍摄电脑端图片", "Shoot PC", "拍攝電腦端圖片"});
    languageTexts.insert("rbtnARM", {"拍摄相机端图片", "Shoot Camera", "拍攝相機端圖片"});
    languageTexts.insert("rbtnAUTO", {"自动命名", "Auto", "自動命名"});
    languageTexts.insert("rbtnHAND", {"手动命名", "Manual", "手動命名"});
    languageTexts.insert("labPath", {"图片存储路径:", "Photo Path:", "圖片存儲路徑:"});
    languageTexts.insert("btnPath", {"选择", "Select", "選擇"});
    languageTexts.insert("labImgType", {"图片格式", "Image Type", "圖片格式"});
    languageTexts.insert("checkBoxGun", {"扫码枪模式", "Gun Mode", "掃碼槍模式"});
    languageTexts.insert("labSize", {"图片大小", "Size", "圖片大小"});
    languageTexts.insert("checkBoxTimeSign", {"时间标记", "Time Sign", "時間標記"});
    languageTexts.insert("labAuto", {"自动命名规则", "Auto Naming", "自動命名規則"});
    languageTexts.insert("rBtnAutoIndex", {"递增序号", "Sequence", "遞增序號"});
    languageTexts.insert("rBtnAutoDate", {"日期", "Date", "日期"});
}

void CameraSet::initImgTypeByCamera() {
    if (fullHeight == -1)
        fullHeight = height();
    int h = fullHeight;
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    if (cam && cam->isNetCamera()) {
        ui->widget_0->show();
        ui->widget_7->hide();
        h -= ui->widget_7->height();
    } else {
        ui->widget_0->hide();
        ui->widget_7->show();
    }
    if (cam && fourKModels.contains(cam->className())) {
        ui->widget_4->show();
        ui->widgetSize->show();
        const int at = imageTypes.indexOf(QSettings(RegularFile::settingsName(iniFile), QSettings::IniFormat)
                                              .value("ImgType", "jpg")
                                              .toString());
        if (at >= 0) {
            const QSignalBlocker block(ui->comboImgType);
            ui->comboImgType->setCurrentIndex(at);
            hub->imgType = imageTypes[at];
        }
    } else {
        ui->widget_4->hide();
        ui->widgetSize->hide();
        h -= ui->widget_4->height() + ui->widgetSize->height();
        hub->imgType = "jpg";
    }
    resize(width(), h);
}

bool CameraSet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->lineEditAuto && event->type() == QEvent::FocusOut && ui->lineEditAuto->isEnabled())
        PanelParts::storePrefix(ui->lineEditAuto, iniFile, "img");
    return QWidget::eventFilter(watched, event);
}

void CameraSet::store(const char* key, const QVariant& value) {
    PanelParts::store(iniFile, key, value);
}

void CameraSet::rbtnPCToggle(bool checked) {
    store("isSnapPC", checked);
}

void CameraSet::rbtnAUTOToggle(bool checked) {
    ui->lineEditAuto->setEnabled(checked);
    store("isAutoName", checked);
}

void CameraSet::rBtnAutoDateToggle(bool checked) {
    store("isAutoDate", checked);
}

void CameraSet::btnPathClick() {
    const QString folder = PanelParts::chooseFolder(this);
    if (folder.isEmpty())
        return;
    ui->lineEditPath->setText(folder);
    store("imgPath", folder);
}

void CameraSet::comboSizeIndexChanged(int index) {
    store("imgSize", index);
}

void CameraSet::checkBoxGunToggle(bool checked) {
    PanelParts::scannerBoxToggled(iniFile, checked, 1);
}

void CameraSet::GunReturnSLOT(QString code) {
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    // A closed camera takes no snapshot; a code that is no plain file name
    // would write outside the snapshot folder.
    if (!cam || !isSafeFileName(code))
        return;
    QSettings ini(RegularFile::settingsName(iniFile), QSettings::IniFormat);
    const QString folder = hub->checkImgPath(&ini);
    const QString base = makeUniqueFileName(folder + "/" + code, "." + hub->imgType);
    ui->lineEditGun->setText(base.section('/', -1));
    QTimer::singleShot(2000, this, SLOT(GunReturnDelay()));
    const SnapOptions o = snapOptions(ini);
    hub->addIconCamera();
    cam->snapImage(base, o.mode, true, o.timeSign, o.colour, o.position, o.size);
}

CameraSet::SnapOptions CameraSet::snapOptions(QSettings& ini) {
    SnapOptions o;
    o.mode = ini.value("isSnapPC", true).toBool() ? 0 : 1;
    o.autoName = ini.value("isAutoName", true).toBool();
    o.timeSign = ini.value("isTimeSign", false).toBool();
    // Hand-edited values outside their lists fall back to the defaults.
    const int colour = ini.value("timeColorIndex", 0).toInt();
    o.colour = colorList.value(colour, colorList.first());
    o.position = ini.value("timePosIndex", 0).toInt();
    if (o.position < 0 || o.position > 3)
        o.position = 0;
    o.size = ini.value("imgSize", 1).toInt();
    if (o.size < 0 || o.size > 2)
        o.size = 1;
    return o;
}

void CameraSet::GunReturnDelay() {
    ui->lineEditGun->clear();
}

void CameraSet::changeLanguageSLOT(int language) {
    const int lang = qBound(0, language, 2);
    PanelParts::applyTexts(this, languageTexts, lang);
    const QSignalBlocker block(ui->comboBoxTimePos);
    const int at = ui->comboBoxTimePos->currentIndex();
    ui->comboBoxTimePos->clear();
    if (lang == 1)
        ui->comboBoxTimePos->addItems({"Left Up", "Left Down", "Right Up", "Right Down"});
    else
        ui->comboBoxTimePos->addItems({"左上", "左下", "右上", "右下"});
    ui->comboBoxTimePos->setCurrentIndex(at >= 0 && at <= 3 ? at : 0);
}

void CameraSet::comboImgTypeIndexChanged(int index) {
    const QString type = imageTypes.value(index, "tiff");
    MessagePassing::instance()->imgType = type;
    store("ImgType", type);
}

void CameraSet::checkBoxTimeSignToggle(bool checked) {
    store("isTimeSign", checked);
}
void CameraSet::comboBoxTimeColorChanged(int index) {
    store("timeColorIndex", index);
}
void CameraSet::comboBoxTimePosChanged(int index) {
    store("timePosIndex", index);
}

void CameraSet::checkBoxGunToggleSLOT(bool video) {
    if (!video)
        return;
    store("isGunMode", false);
    const QSignalBlocker block(ui->checkBoxGun);
    ui->checkBoxGun->setChecked(false);
}
