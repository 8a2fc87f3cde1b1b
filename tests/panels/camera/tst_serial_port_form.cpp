// The serial magnification panel against a pseudo-terminal pair: the frames
// on the wire with their checksums, replies that select a magnification and
// name the scale through the hub, and replies that are ignored.
#include "app/hub/MessagePassing.h"
#include "panels/camera/SerialPortForm.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The device end of the line: raw, read with a deadline.
struct Pty {
    int master = -1, slave = -1;
    QString name;
    Pty() {
        char path[128] = {};
        if (openpty(&master, &slave, path, nullptr, nullptr) == 0) {
            name = path;
            termios t;
            tcgetattr(master, &t);
            cfmakeraw(&t);
            tcsetattr(master, TCSANOW, &t);
        }
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    QByteArray read(int count, int timeoutMs = 5000) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < count && clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(); // the port writes from the event loop
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buf[64];
                const ssize_t n = ::read(master, buf, size_t(qMin<int>(64, count - got.size())));
                if (n > 0)
                    got.append(buf, int(n));
            }
        }
        return got;
    }
    void write(const QByteArray& bytes) { QVERIFY(::write(master, bytes.constData(), size_t(bytes.size())) > 0); }
};

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// Low byte of the sum of the count, command and payload bytes (offsets 2-8).
bool checksumHolds(const QByteArray& frame) {
    int sum = 0;
    for (int i = 2; i <= 8; ++i)
        sum += quint8(frame[i]);
    return frame.size() == 10 && quint8(frame[9]) == (sum & 0xFF);
}
} // namespace

class TestSerialPortForm : public QObject {
    Q_OBJECT
private slots:
    void replies_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("magnification");
        QTest::newRow("7 bytes, byte 6") << hex("5aa50383100302") << 2;
        QTest::newRow("4 bytes, last byte") << hex("5aa50304") << 4;
        QTest::newRow("2 bytes") << hex("5a03") << 0;
        QTest::newRow("byte 2 not 03") << hex("5aa50483100302") << 0;
        QTest::newRow("value 6") << hex("5aa50383100306") << 0;
    }
    void replies() {
        QFETCH(QByteArray, reply);
        QFETCH(int, magnification);
        QCOMPARE(SerialPortForm::replyMagnification(reply), magnification);
    }

    // A port that cannot be opened: the failure box comes in the normal
    // dialog colours, though the panel sits in an area styled grey.
    void failedConnectionBoxHasTheNormalColours() {
        TestEnv env;
        QWidget window;
        auto* area = new QWidget(&window);
        area->setStyleSheet("background-color:rgb(210, 210, 210);");
        auto* form = new SerialPortForm(area);
        auto* ports = form->findChild<QComboBox*>("comboBoxPort");
        ports->addItem("/dev/no-such-serial-port");
        ports->setCurrentText("/dev/no-such-serial-port");
        QColor background;
        QString title;
        answerNextModal("QMessageBox", [&](QWidget* box) {
            title = box->windowTitle();
            background = box->grab().toImage().pixelColor(2, 2);
            static_cast<QDialog*>(box)->reject();
        });
        form->findChild<QPushButton*>("btnConnect")->click();
        QCOMPARE(title, QString::fromUtf8("连接失败"));
        QCOMPARE(background, QApplication::palette().color(QPalette::Window));
        QVERIFY(form->findChild<QComboBox*>("comboBoxPort")->isEnabled());
    }

    void overPseudoTerminal() {
        TestEnv env;
        Pty pty;
        QVERIFY(!pty.name.isEmpty());
        SerialPortForm form;
        auto* ports = form.findChild<QComboBox*>("comboBoxPort");
        auto* mag = form.findChild<QComboBox*>("comboBoxMag");
        ports->addItem(pty.name);
        ports->setCurrentText(pty.name);
        QVERIFY(!mag->isEnabled());
        form.findChild<QPushButton*>("btnConnect")->click();
        QVERIFY(mag->isEnabled() && !ports->isEnabled());
        QCOMPARE(QSettings("./SerialPortForm.ini", QSettings::IniFormat).value("curText").toString(), pty.name);

        const QByteArray connectFrame = pty.read(10);
        QCOMPARE(connectFrame, hex("5aa50684100301000" "09e"));
        QVERIFY(checksumHolds(connectFrame));

        // Every magnification frame, chosen through the scale name.
        for (int m = 5; m >= 1; --m) {
            MessagePassing::instance()->sendSerialPortName(QString("%1X").arg(m));
            const QByteArray frame = pty.read(10);
            QCOMPARE(frame.left(9), hex("5aa506831003010000").left(8) + char(m));
            QVERIFY2(checksumHolds(frame), frame.toHex().constData());
        }
        MessagePassing::instance()->sendSerialPortName("not a magnification");

        // A device reply selects the entry and names the scale, sending nothing back.
        QSignalSpy named(MessagePassing::instance(), SIGNAL(recvSerialPortNameSIGNAL(QString)));
        QSignalSpy arrived(form.findChild<QSerialPort*>(), SIGNAL(readyRead()));
        pty.write(hex("5aa50683100303")); // byte 2 is not 03: ignored
        QVERIFY(arrived.wait(5000));
        QCOMPARE(named.count(), 0);
        pty.write(hex("5aa50383100303"));
        QVERIFY(named.wait(5000));
        QCOMPARE(named.count(), 1);
        QCOMPARE(named.first().first().toString(), QString("3X"));
        QCOMPARE(mag->currentIndex(), 2);
        // The next frame on the wire is the one asked for now, not an echo.
        mag->setCurrentIndex(3);
        QCOMPARE(pty.read(10), hex("5aa50683100301000" "4a1"));

        form.findChild<QPushButton*>("btnReset")->click();
        QVERIFY(!mag->isEnabled() && ports->isEnabled());
    }
};

QTEST_MAIN(TestSerialPortForm)
#include "tst_serial_port_form.moc"
