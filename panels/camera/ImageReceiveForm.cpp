#include "panels/camera/ImageReceiveForm.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

using PanelParts::scaled;

namespace {
const char* const iniFile = "./ImageReceiveForm.ini";
}

ImageReceiveForm::ImageReceiveForm(QWidget* parent) : QWidget(parent) {
    setObjectName("ImageReceiveForm");
    resize(scaled(274), scaled(145));
    QVBoxLayout* column = PanelParts::panelFrame(this, &labTitle, {10, 0, 10, 5});
    QWidget* content = column->parentWidget();
    column->setSpacing(6);
    labTitle->setFixedHeight(scaled(30));
    label_2 = new QLabel(content);
    label_2->setObjectName("label_2");
    label_2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    column->addWidget(label_2);
    QWidget* row2 = PanelParts::addRow(content, column, "widget_3", {0, 0, 0, 0});
    auto* l2 = static_cast<QHBoxLayout*>(row2->layout());
    l2->setSpacing(5);
    lineEditPath = new QLineEdit(row2);
    lineEditPath->setObjectName("lineEditPath");
    btnPath = new QToolButton(row2);
    btnPath->setObjectName("btnPath");
    l2->addWidget(lineEditPath, 1);
    l2->addWidget(btnPath);
    QWidget* row3 = PanelParts::addRow(content, column, "widget_4", {0, 0, 0, 0});
    auto* l3 = static_cast<QHBoxLayout*>(row3->layout());
    l3->setSpacing(5);
    btnYZ = new QPushButton(row3);
    btnYZ->setObjectName("btnYZ");
    labState = new QLabel(row3);
    labState->setObjectName("labState");
    labState->setAlignment(Qt::AlignCenter);
    btnCloseLink = new QPushButton(row3);
    btnCloseLink->setObjectName("btnCloseLink");
    l3->addWidget(btnYZ);
    l3->addWidget(labState, 1);
    l3->addWidget(btnCloseLink);

    MessagePassing* hub = MessagePassing::instance();
    PanelParts::styleControls(this);
    PanelParts::scaleLayouts(this);

    texts.insert("labTitle", {"文件接收", "Files receiving", "文件接收"});
    texts.insert("label_2",
                 {"相机端拍照图片接收路径:", "Receiving path by camera:", "相機端拍照圖片接收路徑:"});
    texts.insert("btnPath", {"选择", "Select", "選擇"});
    texts.insert("btnYZ", {"验证", "Verify", "驗證"});
    texts.insert("btnCloseLink", {"关闭传输", "Close", "關閉傳輸"});
    texts.insert("labState_0", {"未连接", "Not connect", "未連接"});
    texts.insert("labState_1", {"连接正常", "Connect normal", "連接正常"});
    texts.insert("labState_2", {"连接异常", "Connect error", "連接異常"});

    QSettings ini(RegularFile::settingsName(iniFile), QSettings::IniFormat);
    lineEditPath->setText(hub->checkImgPath(&ini));
    connect(btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    connect(btnYZ, SIGNAL(clicked()), this, SLOT(btnYZClick()));
    connect(btnCloseLink, SIGNAL(clicked()), this, SLOT(btnCloseLinkClick()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    btnYZ->setEnabled(true);
    btnCloseLink->setEnabled(false);
}

void ImageReceiveForm::btnPathClick() {
    const QString folder = PanelParts::chooseFolder(this);
    if (folder.isEmpty())
        return;
    lineEditPath->setText(folder);
    PanelParts::store(iniFile, "imgPath", folder);
}

void ImageReceiveForm::btnYZClick() {
    const QString folder = lineEditPath->text();
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    // A typed folder that does not exist yet is made; one that cannot be made
    // is a failed link, not "Connect normal".
    const bool folderReady = !folder.trimmed().isEmpty() && QDir().mkpath(folder);
    if (cam && folderReady && cam->startReceiveFile(folder)) {
        linkState = 1;
        btnYZ->setEnabled(false);
        btnCloseLink->setEnabled(true);
    } else {
        linkState = 2;
    }
    changeLanguageSLOT(PanelParts::language());
}

void ImageReceiveForm::btnCloseLinkClick() {
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->stopReceiveFile();
    btnYZ->setEnabled(true);
    btnCloseLink->setEnabled(false);
    linkState = 0;
    changeLanguageSLOT(PanelParts::language());
}

void ImageReceiveForm::changeLanguageSLOT(int language) {
    const int lang = qBound(0, language, 2);
    PanelParts::applyTexts(this, texts, lang);
    labState->setText(PanelParts::pick(texts.value(QString("labState_%1").arg(linkState)), lang));
}
