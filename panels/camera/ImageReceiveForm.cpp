#include "panels/camera/ImageReceiveForm.h"

#include "app/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "panels/camera/PanelParts.h"

#include <QDir>
#include <QFileDialog>
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
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PanelParts::titleRow(this, &labTitle));
    labTitle->setFixedHeight(scaled(30));
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(10, 0, 10, 5);
    outer->addWidget(content);
    outer->addStretch(1);
    label_2 = new QLabel(content);
    label_2->setObjectName("label_2");
    label_2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    column->addWidget(label_2);
    auto* row2 = new QWidget(content);
    row2->setObjectName("widget_3");
    auto* l2 = new QHBoxLayout(row2);
    l2->setSpacing(5);
    l2->setContentsMargins(0, 0, 0, 0);
    lineEditPath = new QLineEdit(row2);
    lineEditPath->setObjectName("lineEditPath");
    btnPath = new QToolButton(row2);
    btnPath->setObjectName("btnPath");
    l2->addWidget(lineEditPath, 1);
    l2->addWidget(btnPath);
    column->addWidget(row2);
    auto* row3 = new QWidget(content);
    row3->setObjectName("widget_4");
    auto* l3 = new QHBoxLayout(row3);
    l3->setSpacing(5);
    l3->setContentsMargins(0, 0, 0, 0);
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
    column->addWidget(row3);

    MessagePassing* hub = MessagePassing::instance();
    lineEditPath->setFixedHeight(scaled(24));
    lineEditPath->setStyleSheet(hub->getQLineEditStyle());
    btnPath->setFixedHeight(scaled(24));
    btnPath->setStyleSheet(hub->getQToolButtonStyle());
    for (QPushButton* b : {btnYZ, btnCloseLink}) {
        b->setFixedHeight(scaled(24));
        b->setStyleSheet(hub->getQPushButtonStyle());
    }
    PanelParts::scaleLayouts(this);

    texts.insert("labTitle", {"文件接收", "Files receiving", "文件接收"});
    texts.insert("label_2", {"相机端拍照图片接收路径:", "Receiving path by camera:", "相機端拍照圖片接收路徑:"});
    texts.insert("btnPath", {"选择", "Select", "選擇"});
    texts.insert("btnYZ", {"验证", "Verify", "驗證"});
    texts.insert("btnCloseLink", {"关闭传输", "Close", "關閉傳輸"});
    texts.insert("labState_0", {"未连接", "Not connect", "未連接"});
    texts.insert("labState_1", {"连接正常", "Connect normal", "連接正常"});
    texts.insert("labState_2", {"连接异常", "Connect error", "連接異常"});

    QSettings ini(iniFile, QSettings::IniFormat);
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
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    lineEditPath->setText(dialog.selectedFiles().first());
    QSettings ini(iniFile, QSettings::IniFormat);
    ini.setValue("imgPath", dialog.selectedFiles().first());
    ini.sync();
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
