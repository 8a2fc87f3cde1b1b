#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "camera/deviceForm.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QSettings>
#include <QtTest>

// The device panel's list: names, duplicate numbering, network names last,
// the remembered camera, and the format row by model code and firmware.
static QStringList itemTexts(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

class TestDeviceForm : public QObject {
    Q_OBJECT
private slots:
    void listNamesAndNumbering();
    void rememberedCameraAndFormat();
    void formatRowByCodeAndFirmware();
};

void TestDeviceForm::listNamesAndNumbering() {
    TestEnv env;
    netCameraNames = {"Corvo:192.168.1.10"};
    deviceForm f;
    f.initDeviceList({3, 3, 13, 3}, {0, 1, 2, 3});
    QCOMPARE(itemTexts(f.findChild<QComboBox*>("comboBox")), QStringList({"Corvo", "Corvo(1)", "Ambrel", "Corvo(2)", "Corvo:192.168.1.10"}));
    netCameraNames.clear();
}

void TestDeviceForm::rememberedCameraAndFormat() {
    TestEnv env;
    {
        QSettings ini("./deviceForm.ini", QSettings::IniFormat);
        ini.setValue("LastCameraName", "Dunmor");
        ini.setValue("LastCameraFormat", "NV12");
    }
    deviceForm f;
    f.initDeviceList({5, 8}, {0, 1});
    QCOMPARE(f.findChild<QComboBox*>("comboBox")->currentText(), QString("Dunmor"));
    QCOMPARE(f.findChild<QComboBox*>("comboBoxFormat")->currentText(), QString("NV12"));
    {
        QSettings ini("./deviceForm.ini", QSettings::IniFormat);
        ini.setValue("LastCameraName", "Gone");
    }
    deviceForm g;
    g.initDeviceList({5, 8}, {0, 1});
    QCOMPARE(g.findChild<QComboBox*>("comboBox")->currentIndex(), 0);
}

void TestDeviceForm::formatRowByCodeAndFirmware() {
    QCOMPARE(deviceForm::formatOf(3, 29), QString("NV12"));
    QCOMPARE(deviceForm::formatOf(3, 28), QString("YUYV"));
    QCOMPARE(deviceForm::formatOf(4, 9), QString("NV12"));
    QCOMPARE(deviceForm::formatOf(4, 8), QString("YUYV"));
    QCOMPARE(deviceForm::formatOf(14, 0), QString("YUYV"));
    QCOMPARE(deviceForm::formatOf(5, 0), QString("MJPG"));
    QCOMPARE(deviceForm::formatOf(9, 0), QString("NV12"));
    QCOMPARE(deviceForm::formatOf(15, 0), QString());
    TestEnv env;
    netCameraNames = {"Vosker:10.0.0.2"};
    deviceForm::versionReader = [](int index) { return index == 0 ? 0xFCFF : 30; }; // 255 reads as 0
    deviceForm f;
    f.initDeviceList({3, 3}, {0, 1});
    auto* combo = f.findChild<QComboBox*>("comboBox");
    combo->setCurrentIndex(1);
    QCOMPARE(f.findChild<QComboBox*>("comboBoxFormat")->currentText(), QString("NV12"));
    QVERIFY(!f.findChild<QWidget*>("widgetFormat")->isHidden());
    combo->setCurrentIndex(0);
    QCOMPARE(f.findChild<QComboBox*>("comboBoxFormat")->currentText(), QString("YUYV"));
    combo->setCurrentIndex(2); // network camera: no format row
    QVERIFY(!!f.findChild<QWidget*>("widgetFormat")->isHidden());
    deviceForm::versionReader = nullptr;
    netCameraNames.clear();
}

QTEST_MAIN(TestDeviceForm)
#include "tst_device_form.moc"
