#include "panels/camera/SerialPortForm.h"

#include "app/hub/MessagePassing.h"
#include "panels/camera/PanelParts.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>

namespace {
const char* kIni = "./SerialPortForm.ini";
const char* kConnectFrame = "5A A5 06 84 10 03 01 00 00 9E";
const char* kMagFrames[5] = {"5A A5 06 83 10 03 01 00 01 9E", "5A A5 06 83 10 03 01 00 02 9F",
                             "5A A5 06 83 10 03 01 00 03 A0", "5A A5 06 83 10 03 01 00 04 A1",
                             "5A A5 06 83 10 03 01 00 05 A2"};
} // namespace

struct Ui_SerialPortForm {
    QLabel *labTitle, *labMag;
    QComboBox *comboBoxMag, *comboBoxPort;
    QPushButton *btnConnect, *btnReset;

    template <class T> static T* at(QWidget* parent, QGridLayout* grid, const char* name, int r, int c, int span = 1) {
        auto* w = new T(parent);
        w->setObjectName(name);
        grid->addWidget(w, r, c, 1, span);
        return w;
    }
    void setupUi(QWidget* form) {
        form->setObjectName("SerialPortForm");
        form->resize(274, 130);
        auto* g = new QGridLayout(form);
        g->setObjectName("gridLayout");
        labTitle = at<QLabel>(form, g, "labTitle", 0, 0, 2);
        labTitle->setAlignment(Qt::AlignCenter);
        labMag = at<QLabel>(form, g, "labMag", 1, 0);
        comboBoxMag = at<QComboBox>(form, g, "comboBoxMag", 1, 1);
        comboBoxPort = at<QComboBox>(form, g, "comboBoxPort", 2, 0, 2);
        btnConnect = at<QPushButton>(form, g, "btnConnect", 3, 0);
        btnReset = at<QPushButton>(form, g, "btnReset", 3, 1);
    }
};

SerialPortForm::SerialPortForm(QWidget* parent) : QWidget(parent), ui(new Ui_SerialPortForm) {
    ui->setupUi(this);
    // The names of the calibration scales that stand for the magnifications.
    magNames = QStringList{"1X", "2X", "3X", "4X", "5X"};
    ui->comboBoxMag->addItems(magNames);
    uiTexts["labTitle"] = QStringList{"串口倍率", "Serial Magnification", "串口倍率"};
    uiTexts["labMag"] = QStringList{"倍率:", "Magnification:", "倍率:"};
    uiTexts["btnConnect"] = QStringList{"连接", "Connect", "連接"};
    uiTexts["btnConnect_1"] = QStringList{"已连接", "Connected", "已連接"};
    uiTexts["btnReset"] = QStringList{"断开", "Reset", "斷開"};
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(sendSerialPortNameSIGNAL(QString)), this, SLOT(sendSerialPortNameSLOT(QString)));
    connect(ui->btnConnect, SIGNAL(clicked()), this, SLOT(btnConnectClick()));
    connect(ui->btnReset, SIGNAL(clicked()), this, SLOT(btnResetClick()));
    connect(ui->comboBoxMag, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxMagIndexChanged(int)));
    ui->comboBoxMag->setEnabled(false);
    refreshPortList();
    changeLanguageSLOT(hub->language());
}

SerialPortForm::~SerialPortForm() {
    delete port;
    delete ui;
}

QByteArray SerialPortForm::frameBytes(const QString& text) {
    const QString digits = QString(text).remove(QRegularExpression("\\s"));
    QByteArray bytes;
    for (int i = 0; i + 1 < digits.size() && bytes.size() < 10; i += 2)
        bytes.append(char(digits.mid(i, 2).toUInt(nullptr, 16)));
    return bytes;
}

int SerialPortForm::replyMagnification(const QByteArray& reply) {
    if (reply.size() < 3 || quint8(reply[2]) != 0x03)
        return 0;
    const int value = quint8(reply.size() >= 7 ? reply[6] : reply[reply.size() - 1]);
    return value >= 1 && value <= 5 ? value : 0;
}

void SerialPortForm::changeLanguageSLOT(int language) {
    if (language < 0 || language > 2)
        return;
    PanelParts::applyTexts(this, uiTexts, language);
    if (port && port->isOpen())
        ui->btnConnect->setText(uiTexts.value("btnConnect_1").value(language));
}

void SerialPortForm::sendFrame(const QString& text) {
    QByteArray bytes = frameBytes(text);
    bytes.resize(10);
    port->write(bytes.constData(), 10);
}

void SerialPortForm::btnConnectClick() {
    if (port)
        return;
    port = new QSerialPort(ui->comboBoxPort->currentText(), this);
    if (!port->open(QIODevice::ReadWrite)) {
        // The top-level window as parent: the panel area's style sheet
        // would colour the box's background.
        QMessageBox::warning(window(), QString::fromUtf8("连接失败"),
                             QString::fromUtf8("无法连接到串口设备：%1\n\n请检查：\n1. 设备是否已连接\n"
                                               "2. 串口是否被其他程序占用\n3. 设备驱动是否正常")
                                 .arg(port->errorString()),
                             QMessageBox::Ok, QMessageBox::NoButton);
        delete port;
        port = nullptr;
        return;
    }
    port->setBaudRate(QSerialPort::Baud115200);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    connect(port, SIGNAL(readyRead()), this, SLOT(recvSerialPort()));
    ui->comboBoxPort->setEnabled(false);
    ui->btnConnect->setEnabled(false);
    ui->btnConnect->setText(uiTexts.value("btnConnect_1").value(MessagePassing::instance()->language()));
    ui->comboBoxMag->setEnabled(true);
    sendFrame(kConnectFrame);
    PanelParts::store(kIni, "curText", ui->comboBoxPort->currentText());
}

void SerialPortForm::btnResetClick() {
    if (port) {
        port->close();
        delete port;
        port = nullptr;
    }
    ui->comboBoxPort->setEnabled(true);
    ui->btnConnect->setEnabled(true);
    ui->btnConnect->setText(uiTexts.value("btnConnect").value(MessagePassing::instance()->language()));
    ui->comboBoxMag->setEnabled(false);
    refreshPortList();
}

void SerialPortForm::refreshPortList() {
    ui->comboBoxPort->clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ui->comboBoxPort->addItem(info.portName());
    const int stored = ui->comboBoxPort->findText(
        QSettings(RegularFile::settingsName(kIni), QSettings::IniFormat).value("curText").toString());
    if (stored >= 0)
        ui->comboBoxPort->setCurrentIndex(stored);
}

void SerialPortForm::recvSerialPort() {
    if (!port)
        return;
    const int mag = replyMagnification(port->readAll());
    if (mag == 0)
        return;
    {
        const QSignalBlocker block(ui->comboBoxMag);
        ui->comboBoxMag->setCurrentIndex(mag - 1);
    }
    MessagePassing::instance()->recvSerialPortName(ui->comboBoxMag->currentText());
}

void SerialPortForm::comboBoxMagIndexChanged(int index) {
    if (!port || !port->isOpen() || index < 0 || index > 4)
        return;
    sendFrame(kMagFrames[index]);
}

void SerialPortForm::sendSerialPortNameSLOT(QString name) {
    const int index = magNames.indexOf(name);
    if (index >= 0)
        ui->comboBoxMag->setCurrentIndex(index);
}
