#include "app/InfoDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/UVCCamera_Bexo.h"
#include "camera/UVCCamera_Dunmor.h"
#include "camera/UVCCamera_Lutrava.h"
#include "camera/UVCCamera_Quillet.h"
#include "camera/UVCCamera_Tirsa.h"
#include "platform/AppPaths.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

InfoDialog::InfoDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("InfoDialog");
    resize(530, 185);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName("verticalLayout");
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QWidget(this);
    panel->setObjectName("widget");
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet("QWidget#widget{\nbackground-color:rgb(200, 200, 200);\n}");
    layout->addWidget(panel);
    labLogo = new QLabel(panel);
    labLogo->setObjectName("labLogo");
    labLogo->setGeometry(20, 25, 100, 100);
    auto* textPanel = new QWidget(panel);
    textPanel->setObjectName("widget_2");
    textPanel->setGeometry(125, 10, 371, 170);
    auto* texts = new QVBoxLayout(textPanel);
    texts->setObjectName("verticalLayout_2");
    QFont f = font();
    f.setPointSize(11);
    for (auto* slot : {&lab_01, &lab_02, &lab_03, &labYing, &lab_04, &lab_05}) {
        *slot = new QLabel(textPanel);
        (*slot)->setFont(f);
        texts->addWidget(*slot);
    }
    lab_01->setObjectName("lab_01");
    lab_02->setObjectName("lab_02");
    lab_03->setObjectName("lab_03");
    labYing->setObjectName("labYing");
    lab_04->setObjectName("lab_04");
    lab_05->setObjectName("lab_05");
    QFont underlined = font();
    underlined.setUnderline(true);
    btnHelp = new QToolButton(panel);
    btnHelp->setObjectName("btnHelp");
    btnHelp->setGeometry(400, 105, 120, 30);
    btnHelp->setFont(underlined);
    btnWeb = new QToolButton(panel);
    btnWeb->setObjectName("btnWeb");
    btnWeb->setGeometry(400, 140, 120, 30);
    btnWeb->setFont(underlined);

    setWindowFlags(Qt::WindowCloseButtonHint);
    setWindowTitle("Varnel显微镜软件V4.1");

    const float tenth = 0.1f;
    resize(int(float(width()) * float(uiSizeFactor) * tenth), int(float(height()) * float(uiSizeFactor) * tenth));
    for (QWidget* w : std::initializer_list<QWidget*>{labLogo, textPanel, btnWeb, btnHelp}) {
        const QPoint p(qRound(w->x() * uiSizeFactor * double(tenth)), qRound(w->y() * uiSizeFactor * double(tenth)));
        const QSize s = scaleSize(scaleSize(w->size(), uiSizeFactor), double(tenth));
        w->move(p);
        w->resize(s);
    }
    labLogo->setPixmap(QPixmap(":/res/logo.png").scaledToWidth(labLogo->width(), Qt::FastTransformation));
    connect(btnHelp, SIGNAL(clicked()), this, SLOT(btnHelpClick()));
    connect(btnWeb, SIGNAL(clicked()), this, SLOT(btnWebClick()));
    btnWeb->hide();

    int lang = MessagePassing::instance()->language();
    if (lang < 0 || lang > 2)
        lang = 0;
    static const char* const version[] = {"软件版本：%1", "Soft Version：%1", "軟件版本：%1"};
    static const char* const compat[] = {"兼容：Windows 7/8/10/11", "Compatible：Windows 7/8/10/11",
                                         "兼容：Windows 7/8/10/11"};
    static const char* const build[] = {"编译：%1", "Compile：%1", "編譯：%1"};
    static const char* const help[] = {"帮助文档", "Help Word", "幫助文檔"};
    static const char* const web[] = {"访问官网", "visit Official", "訪問官網"};
    static const char* const hard[] = {"硬件版本：%1", "Hard Version：%1", "硬件版本：%1"};
    lab_03->setText(QString::fromUtf8(version[lang]).arg(kSoftVersion));
    lab_04->setText(QString::fromUtf8(compat[lang]));
    lab_05->setText(QString::fromUtf8(build[lang]).arg(kBuildDate));
    btnHelp->setText(QString::fromUtf8(help[lang]));
    btnWeb->setText(QString::fromUtf8(web[lang]));
    lab_01->setText(QString());
    lab_01->hide();
    lab_02->hide();

    QString firmware;
    if (firmwareTextOf(MessagePassing::instance()->currentCamera(), firmware)) {
        // Shown as the camera answers, even when the read gave nothing.
        labYing->setText(QString::fromUtf8(hard[lang]).arg(firmware));
        labYing->show();
    } else {
        labYing->hide();
    }
}

bool InfoDialog::firmwareTextOf(BaseCamera* camera, QString& text) {
    // Only these models report a firmware version.
    if (qobject_cast<UVCCamera_Quillet*>(camera) || qobject_cast<UVCCamera_Tirsa*>(camera) ||
        qobject_cast<UVCCamera_Lutrava*>(camera) || qobject_cast<UVCCamera_Dunmor*>(camera) ||
        qobject_cast<UVCCamera_Bexo*>(camera)) {
        text = qobject_cast<UVCRegisterCamera*>(camera)->firmwareVersion();
        return true;
    }
    return false;
}

QString InfoDialog::helpPath(int language) {
    return AppPaths::appFile(language == 1 ? "help/help_en.pdf" : "help/help.pdf");
}

void InfoDialog::btnHelpClick() {
    const QString path = helpPath(MessagePassing::instance()->language());
    if (QFile::exists(path))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void InfoDialog::btnWebClick() { QDesktopServices::openUrl(QUrl("https://www.example.com/")); }
