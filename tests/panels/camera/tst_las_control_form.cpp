// The laser control panel on a simulated Corvo camera: stage registers,
// live and total magnification, and nothing sent to another model.
#include "SimCameraRig.h"
#include "camera/UVCCamera_Corvo.h"
#include "panels/camera/LasControlForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

namespace {
constexpr int kCorvo = 3;
constexpr int kAmbrel = 13;
void stage(QWidget* form, int n, const QString& text) {
    form->findChild<QLineEdit*>(QString("lineEditBeiLv_%1").arg(n))->setText(text);
    form->findChild<QPushButton*>(QString("btnBeiLv_%1").arg(n))->click();
}
} // namespace

class TestLasControlForm : public QObject {
    Q_OBJECT
private slots:
    void stageRegisters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVector<int>>("words");
        QTest::newRow("2.5") << "2.5" << QVector<int>{0x1102, 0x1205};
        QTest::newRow("3") << "3" << QVector<int>{0x1103, 0x1200};
        QTest::newRow("non-positive") << "-2" << QVector<int>{0x1101, 0x1200}; // field becomes 1.0
    }
    void stageRegisters() {
        QFETCH(QString, text);
        QFETCH(QVector<int>, words);
        SimCameraRig rig(kCorvo);
        LasControlForm form;
        QCOMPARE(rig.registerSets([&] { stage(&form, 1, text); }), words);
    }

    // Live register 125 and stages 1, 1, 1: 12.50x live, 36.04x in total
    // (field diagonal 2.214 x 1.1456 = 2.5402 -> x 10000 / 8811.6 = 2.8828).
    void totalMagnification() {
        SimCameraRig rig(kCorvo);
        rig.sim->setReg(0x0F, 125);
        rig.sim->setReg(0x0E, 40);
        LasControlForm form;
        for (int n = 1; n <= 3; ++n)
            stage(&form, n, "1");
        QMetaObject::invokeMethod(&form, "timeoutSLOT");
        QCOMPARE(form.findChild<QLineEdit*>("lineEditMag")->text(), QString("12.50x"));
        QCOMPARE(form.findChild<QLineEdit*>("lineEditTotal")->text(), QString("36.04x"));
        QCOMPARE(form.findChild<QSlider*>("slider")->value(), 40);
        // Stage 3 is read back half a second later.
        rig.sim->setReg(0x16, 5);
        QTRY_COMPARE(form.findChild<QLineEdit*>("lineEditBeiLv_3")->text(), QString("1.5"));
        QCOMPARE(rig.as<UVCCamera_Corvo>()->beiLvText3, QString("1.5"));
    }

    void otherModelGetsNothing() {
        SimCameraRig rig(kAmbrel);
        LasControlForm form;
        auto* slider = form.findChild<QSlider*>("slider");
        const QVector<int> sent = rig.registerSets([&] {
            stage(&form, 2, "0");
            form.findChild<QPushButton*>("btnAdd")->click();
        });
        QVERIFY(sent.isEmpty());
        QCOMPARE(form.findChild<QLineEdit*>("lineEditBeiLv_2")->text(), QString("1.0"));
        QCOMPARE(slider->value(), 0);
    }
};

QTEST_MAIN(TestLasControlForm)
#include "tst_las_control_form.moc"
