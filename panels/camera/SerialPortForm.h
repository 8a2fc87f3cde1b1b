#pragma once

#include <QByteArray>
#include <QMap>
#include <QStringList>
#include <QWidget>

class QSerialPort;
struct Ui_SerialPortForm;

// Links a magnification device (1 to 5) on a serial port, 115200 8N1, with
// 10-byte frames: a connect frame after opening, a frame per chosen
// magnification, and replies that select the magnification. Coupled both
// ways with the scale names through the hub. Nothing in the program shows
// it. Last good port in ./SerialPortForm.ini. GUI thread.
class SerialPortForm : public QWidget {
    Q_OBJECT
public:
    explicit SerialPortForm(QWidget* parent = nullptr);
    ~SerialPortForm() override;

    // Hex text ("5A A5 06 ...") to bytes: whitespace removed, then one byte
    // per pair of digits, at most 10.
    static QByteArray frameBytes(const QString& text);
    // The magnification 1..5 a reply reports, or 0 when it is not accepted.
    static int replyMagnification(const QByteArray& reply);
    void refreshPortList();

public slots:
    void changeLanguageSLOT(int language);
    void btnConnectClick();
    void btnResetClick();
    void recvSerialPort();
    void comboBoxMagIndexChanged(int index);
    void sendSerialPortNameSLOT(QString name);

private:
    void sendFrame(const QString& text);

    Ui_SerialPortForm* ui;
    QMap<QString, QStringList> uiTexts;
    QStringList magNames;
    QSerialPort* port = nullptr;
};
