#include "camera/deviceForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/PictureSizeLimit.h"
#include "app/hub/SharedConstants.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/NetCamera.h"
#include "camera/UVCCamera.h"
#include "camera/UvcModels.h"
#include "camera/SDLBackground.h"
#include "platform/AppPaths.h"
#include "platform/ProcessEnd.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QImageReader>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

std::function<int(int)> deviceForm::versionReader;
std::function<QWidget*(QWidget*)> deviceForm::lensPanelMaker;

namespace {
int scaled(int v) { return int(float(v) * float(uiSizeFactor) * 0.1f); }
} // namespace

QString deviceForm::tokenOf(int code) { return UvcModels::token(code); }

QString deviceForm::formatOf(int code, int firmware) { return UvcModels::offeredFormat(code, firmware); }

deviceForm::deviceForm(QWidget* parent) : QWidget(parent) {
    setObjectName("deviceForm");
    resize(scaled(300), scaled(850));
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    verticalLayout->setSpacing(scaled(10));

    widget00 = new QWidget(this);
    widget00->setObjectName("widget00");
    widget00->setFixedHeight(scaled(40));
    auto* row1 = new QHBoxLayout(widget00);
    row1->setObjectName("horizontalLayout");
    row1->setContentsMargins(scaled(10), 0, scaled(10), 0);
    row1->setSpacing(scaled(10));
    labName = new QLabel(widget00);
    labName->setObjectName("labName");
    comboBox = new QComboBox(widget00);
    comboBox->setObjectName("comboBox");
    btnOpen = new QToolButton(widget00);
    btnOpen->setObjectName("btnOpen");
    row1->addWidget(labName, 1);
    row1->addWidget(comboBox, 3);
    row1->addWidget(btnOpen, 1);
    verticalLayout->addWidget(widget00);

    widgetFormat = new QWidget(this);
    widgetFormat->setObjectName("widgetFormat");
    widgetFormat->setFixedHeight(scaled(30));
    auto* row2 = new QHBoxLayout(widgetFormat);
    row2->setObjectName("horizontalLayout_2");
    row2->setContentsMargins(scaled(10), 0, scaled(10), 0);
    row2->setSpacing(scaled(10));
    labFormat = new QLabel(widgetFormat);
    labFormat->setObjectName("labFormat");
    comboBoxFormat = new QComboBox(widgetFormat);
    comboBoxFormat->setObjectName("comboBoxFormat");
    auto* spare = new QWidget(widgetFormat);
    spare->setObjectName("widget");
    row2->addWidget(labFormat, 1);
    row2->addWidget(comboBoxFormat, 3);
    row2->addWidget(spare, 1);
    verticalLayout->addWidget(widgetFormat);

    widgetImg = new QWidget(this);
    widgetImg->setObjectName("widgetImg");
    auto* row3 = new QHBoxLayout(widgetImg);
    row3->setObjectName("horizontalLayout_7");
    row3->addStretch(1);
    labImg = new QLabel(widgetImg);
    labImg->setObjectName("labImg");
    row3->addWidget(labImg);
    row3->addStretch(1);
    verticalLayout->addWidget(widgetImg);

    widgetOther = new QWidget(this);
    widgetOther->setObjectName("widgetOther");
    layoutOther = new QHBoxLayout(widgetOther);
    layoutOther->setObjectName("layoutOther");
    layoutOther->setContentsMargins(0, 0, 0, 0);
    verticalLayout->addWidget(widgetOther);
    verticalLayout->addStretch(1);

    for (QComboBox* c : {comboBox, comboBoxFormat}) {
        c->setFixedHeight(scaled(24));
        c->setStyleSheet(MessagePassing::instance()->getQComboBoxStyle());
    }
    btnOpen->setFixedHeight(scaled(24));
    btnOpen->setStyleSheet(MessagePassing::instance()->getQToolButtonStyle());

    texts.insert("labName", {"相机:", "Camera:", "相機:"});
    texts.insert("btnOpen", {"打开", "Open", "打開"});
    texts.insert("labFormat", {"格式:", "Format:", "格式:"});
    m_exitAction = [](bool) {};

    connect(btnOpen, SIGNAL(clicked()), this, SLOT(btnOpenClick()));
    connect(comboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxIndexChanged(int)));
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setThreadAVPacketFinishSIGNAL()), this, SLOT(setThreadAVPacketFinishSLOT()));
    connect(hub, SIGNAL(SDLCLoseFinishSIGNAL()), this, SLOT(SDLCLoseFinishSLOT()));
    changeLanguageSLOT(hub->language());
    labImg->clear();
    // The company picture is the user's to replace: an unreadable or absurd
    // one is left out (with a line in the log), never scaled blindly.
    const QString infoPath = AppPaths::appFile("help/companyInfo.png");
    const QSize infoSize = PictureSizeLimit::headerSize(infoPath);
    if (PictureSizeLimit::mayDecode(infoPath) && infoSize.width() <= 16384 && infoSize.height() <= 16384)
        info = QPixmap::fromImage(QImageReader(infoPath).read());
    if (info.isNull() && QFile::exists(infoPath))
        qWarning("Company picture %s cannot be shown", qPrintable(infoPath));

    QSettings lines(RegularFile::settingsName("./LineFormSet.ini"), QSettings::IniFormat);
    // The grid panel's rule: a stored width index outside 0..5 counts as 0.
    bool widthOk = false;
    const int width = lines.value("LineWidth", 0).toInt(&widthOk);
    hub->setAllCrossLineWidth(widthOk && width >= 0 && width <= 5 ? width + 1 : 1);
    hub->setLineVisible(!lines.value("isHide", false).toBool());
    widgetFormat->hide();
}

void deviceForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (info.isNull())
        return;
    const int w = std::max(1, std::min(widgetImg->width(), int(500 * uiSizeFactor * 0.1)));
    // Within the panel's width and at most as high as wide: a very tall or
    // very flat picture is fitted, not stretched to a huge size.
    const QPixmap scaledInfo = info.scaled(QSize(w, w), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    labImg->setPixmap(scaledInfo);
    widgetImg->setFixedHeight(scaledInfo.height());
}

void deviceForm::changeLanguageSLOT(int language) {
    const int lang = (language < 0 || language > 2) ? 0 : language;
    labName->setText(texts["labName"][lang]);
    btnOpen->setText(texts["btnOpen"][lang]);
    labFormat->setText(texts["labFormat"][lang]);
}

void deviceForm::initDeviceList(QList<int> codes, QList<int> indexes) {
    QList<DeviceEntry> entries;
    for (int i = 0; i < codes.size(); ++i) {
        DeviceEntry e;
        e.code = codes[i];
        e.index = i < indexes.size() ? indexes[i] : i;
        for (const DeviceEntry& earlier : entries)
            if (earlier.code == e.code)
                ++e.duplicate;
        entries << e;
    }
    rows.clear();
    QStringList names;
    for (const DeviceEntry& e : entries) {
        QString text = tokenOf(e.code);
        if (e.duplicate > 0)
            text += QString("(%1)").arg(e.duplicate);
        names << text;
        rows.insert(names.size() - 1, e);
    }
    names << netCameraNames;
    comboBox->addItems(names);
    const QString last = QSettings(RegularFile::settingsName("./deviceForm.ini"), QSettings::IniFormat)
                             .value("LastCameraName")
                             .toString();
    if (!last.isEmpty()) {
        const int at = names.indexOf(last);
        if (at >= 0)
            comboBox->setCurrentIndex(at);
    }
}


int deviceForm::getVersion(int captureIndex) {
    if (!versionReader)
        return UvcModels::readFirmwareByte(captureIndex);
    const int low = versionReader(captureIndex) & 0xff;
    return low == 255 ? 0 : low;
}

void deviceForm::comboBoxIndexChanged(int row) {
    comboBoxFormat->clear();
    if (rows.contains(row) && rows[row].code >= 1 && rows[row].code <= 14) {
        widgetFormat->show();
        const DeviceEntry e = rows[row];
        const bool asksFirmware = e.code == 3 || e.code == 4 || e.code == 14;
        comboBoxFormat->addItem(formatOf(e.code, asksFirmware ? getVersion(e.index) : 0));
    } else {
        widgetFormat->hide();
    }
    const QString last = QSettings(RegularFile::settingsName("./deviceForm.ini"), QSettings::IniFormat)
                             .value("LastCameraFormat")
                             .toString();
    if (!last.isEmpty()) {
        const int at = comboBoxFormat->findText(last);
        if (at >= 0)
            comboBoxFormat->setCurrentIndex(at);
    }
}

void deviceForm::showFailure() {
    static const char* const text[] = {"相机初始化失败！", "Camera initialization failed!", "相機初始化失敗！"};
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    QMessageBox box(QMessageBox::Information, "Error", QString::fromUtf8(text[lang]), QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    // Above the interface and the main window under any window manager, and
    // with the keyboard, so that Return answers it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
}

BaseCamera* deviceForm::createUsbCamera(int code, int captureIndex, const QString& format) {
    return UvcModels::openModel(code, captureIndex, format);
}

void deviceForm::btnOpenClick() {
    if (netCameraNames.isEmpty() && rows.isEmpty())
        return;
    btnOpen->setEnabled(false);
    comboBox->setEnabled(false);
    comboBoxFormat->setEnabled(false);
    SaveErrorBox::editSettings("./deviceForm.ini", [this](QSettings& ini) {
        ini.setValue("LastCameraName", comboBox->currentText());
        ini.setValue("LastCameraFormat", comboBoxFormat->currentText());
    });

    MessagePassing* hub = MessagePassing::instance();
    const int net = netCameraNames.indexOf(comboBox->currentText());
    if (net >= 0) {
        // The network driver shows its own box when the SDK refuses, and
        // starts its own live view; the program keeps running either way.
        QWidget* view = window() ? window()->findChild<QWidget*>("widget_center") : nullptr;
        NetCamera* cam = NetCamera::createCamera(net, view);
        if (!cam)
            return;
        hub->setCurCamera(cam);
        QTimer::singleShot(200, this, SLOT(oneSecondDelay()));
        return;
    }
    const DeviceEntry e = rows.value(comboBox->currentIndex());
    BaseCamera* cam = createUsbCamera(e.code, e.index, comboBoxFormat->currentText());
    if (!cam) {
        showFailure();
        ProcessEnd::requestExit(0);
        return;
    }
    hub->setCurCamera(cam);
    hub->setIsCameraMode(true);
    if (auto* usb = qobject_cast<UVCCamera*>(cam))
        usb->startLive();
    if (cam->className() == "UVCCamera_Ambrel" && lensPanelMaker) {
        // One lens panel at a time: an old one is replaced, never doubled.
        if (m_lensPanel)
            m_lensPanel->deleteLater();
        m_lensPanel = lensPanelMaker(widgetOther);
        m_lensPanel->show();
        layoutOther->addWidget(m_lensPanel);
    }
    QTimer::singleShot(35, this, SLOT(oneSecondDelay()));
}

void deviceForm::oneSecondDelay() {
    emit newCameraParaForm();
    if (videoWindow)
        videoWindow->show();
    if (QWidget* view = parentWidget() ? window()->findChild<QWidget*>("widget_center") : nullptr) {
        view->setStyleSheet("QWidget#widget_center{background-color:rgb(0,0,0);}");
        if (view->parentWidget() && view->parentWidget()->parentWidget())
            view->parentWidget()->parentWidget()->setStyleSheet("background-color:rgb(0, 0, 0);");
    }
}

void deviceForm::stopSDLLoop() {
    if (videoWindow)
        videoWindow->stop();
}

void deviceForm::SDLCLoseFinishSLOT() {
    ProcessEnd::mark("camera close begins");
    MessagePassing* hub = MessagePassing::instance();
    BaseCamera* cam = hub->currentCamera();
    if (!cam) {
        hub->setCurCamera(nullptr);
        runExitAction(false);
        return;
    }
    if (auto* usb = qobject_cast<UVCCamera*>(cam)) {
        // Asynchronous: it waits for its save threads, then the hub's
        // setThreadAVPacketFinishSIGNAL runs the exit action.
        usb->closeCamera();
        hub->setIsCameraMode(false);
        return;
    }
    cam->pause();
    cam->deleteLater();
    hub->setCurCamera(nullptr);
    hub->setIsCameraMode(false);
    runExitAction(cam->isNetCamera());
}

void deviceForm::setThreadAVPacketFinishSLOT() {
    MessagePassing* hub = MessagePassing::instance();
    auto* usb = qobject_cast<UVCCamera*>(hub->currentCamera());
    if (!usb)
        return;
    usb->deleteLater();
    hub->setCurCamera(nullptr);
    runExitAction(false);
}

void deviceForm::runExitAction(bool netCameraUsed) {
    ProcessEnd::mark("camera closed");
    if (m_exitAction) {
        auto action = m_exitAction;
        m_exitAction = [](bool) {};
        action(netCameraUsed);
    }
}
