// The lens panel on a simulated lens camera: magnification text and zoom
// slider from the lens registers, video-output entries by firmware, the
// register traffic of a zoom key held down, and the video output
// behind the password lock.
#include "SimCameraRig.h"
#include "app/hub/MessagePassing.h"
#include "camera/UVCCamera_Ambrel.h"
#include "panels/camera/LensForm.h"
#include "platform/UvcRegisters.h"
#include "tests/support/ModalAnswer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

namespace {
constexpr int kAmbrel = 13;
int readWord(int reg) { return reg * 256 + 0xFF; }
template <class T> T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }
} // namespace

class TestLensForm : public QObject {
    Q_OBJECT
private slots:
    void magnification_data() {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("text");
        QTest::newRow("a10 b0") << 10 << 0 << "1x";
        QTest::newRow("a15 b7") << 15 << 7 << "2.3x"; // 15 * 21 / 14 + 0.5 = 23
    }
    void magnification() {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, text);
        SimCameraRig rig(kAmbrel);
        rig.sim->setReg(UvcReg::Zoom, a);
        rig.sim->setReg(UvcReg::LensStepUp, b);
        rig.sim->setReg(UvcReg::Reg1D, 77);
        LensForm form;
        QCOMPARE(child<QLineEdit>(&form, "lineEditMain")->text(), text);
        QCOMPARE(child<QSlider>(&form, "slider")->value(), 77);
    }

    void videoOutEntries_data() {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("entries");
        QTest::newRow("fw 6") << 6 << 3;
        QTest::newRow("fw 7") << 7 << 4;
    }
    void videoOutEntries() {
        QFETCH(int, firmware);
        QFETCH(int, entries);
        SimCameraRig rig(kAmbrel, QString("fps=0:fw=%1").arg(firmware));
        rig.sim->setReg(UvcReg::VideoOut, 1);
        LensForm form;
        auto* box = child<QComboBox>(&form, "comboBox");
        QCOMPARE(box->count(), entries);
        QCOMPARE(box->currentIndex(), 1);
        QVERIFY(!box->isEnabled()); // locked at start
    }

    // Held zoom key: start command, a refresh (three reads) every 500 ms that
    // follows the lens, stop command at release and one refresh after it.
    void zoomWhileHeld() {
        SimCameraRig rig(kAmbrel);
        LensForm form;
        form.show();
        auto* big = child<QToolButton>(&form, "btnBig");
        auto* slider = child<QSlider>(&form, "slider");
        const QVector<int> refresh{readWord(0x16), readWord(0x17), readWord(0x1D)};
        rig.sim->clearTraffic();
        QTest::mousePress(big, Qt::LeftButton);
        rig.sim->setReg(UvcReg::Reg1D, 90); // the lens moves while the key is held
        QTRY_COMPARE_WITH_TIMEOUT(slider->value(), 90, 3000);
        QTest::mouseRelease(big, Qt::LeftButton);
        auto words = [&] { return rig.registerWords(); };
        QVector<int> w = words();
        QCOMPARE(w.value(0), 0x1901);
        QCOMPARE(w.mid(1, 3), refresh);
        const int stop = w.indexOf(0x1900);
        QVERIFY(stop > 3);
        QTRY_COMPARE_WITH_TIMEOUT(words().mid(stop + 1), refresh, 3000);
    }

    void videoOutput_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("renew"); // -1 none, 0 false, 1 true
        QTest::addColumn<int>("startResolution");
        // The camera starts in output 3 (HDMI 4K + UVC 1080p).
        QTest::newRow("UVC 4K") << "5225" << 2 << true << 2 << 3840 << 1 << 1;
        QTest::newRow("HDMI 2K") << "PwLunet" << 1 << true << 1 << 1920 << 0 << 0;
        QTest::newRow("HDMI 4K") << "5225" << 0 << true << 0 << 1920 << -1 << 1;
        QTest::newRow("cancelled") << "5225" << 2 << false << 3 << 1920 << -1 << 1;
    }
    void videoOutput() {
        QFETCH(QString, password);
        QFETCH(int, index);
        QFETCH(bool, confirm);
        QFETCH(int, reg);
        QFETCH(int, width);
        QFETCH(int, renew);
        QFETCH(int, startResolution);
        SimCameraRig rig(kAmbrel, "fps=0:fw=7");
        rig.sim->setReg(UvcReg::VideoOut, 3);
        auto* cam = rig.as<UVCCamera_Ambrel>();
        cam->setResolution(startResolution);
        LensForm form;
        auto* box = child<QComboBox>(&form, "comboBox");
        auto* lock = child<QCheckBox>(&form, "checkBoxLock");
        answerNextModal("PasswordDialog", [&](QWidget* d) {
            d->findChild<QLineEdit*>("lineEdit")->setText(password);
            d->findChild<QPushButton*>("pushButton_2")->click();
        });
        lock->setChecked(false);
        QVERIFY(box->isEnabled());
        QSignalSpy renewed(MessagePassing::instance(), SIGNAL(WFRenewDataSIGNAL(bool)));
        answerNextModal("QInputDialog", [confirm](QWidget* d) {
            confirm ? static_cast<QDialog*>(d)->accept() : static_cast<QDialog*>(d)->reject();
        });
        box->setCurrentIndex(index);
        QCOMPARE(rig.sim->reg(UvcReg::VideoOut), reg);
        QCOMPARE(cam->frameSize(false).width(), width);
        QCOMPARE(renewed.count(), renew < 0 ? 0 : 1);
        if (renew >= 0)
            QCOMPARE(renewed.first().first().toBool(), renew == 1);
        QCOMPARE(box->currentIndex(), confirm ? index : 3);
        QCOMPARE(lock->isChecked(), confirm);
        QCOMPARE(box->isEnabled(), !confirm);
    }
};

QTEST_MAIN(TestLensForm)
#include "tst_lens_form.moc"
