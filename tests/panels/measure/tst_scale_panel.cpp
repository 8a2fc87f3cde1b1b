// The scale panel and the new-scale dialog against the real overlay:
// calibration by two clicks, delete (never position 0), bar lengths per
// position across a restart, hostile ./ScaleSet.ini values and the lock.

#include "OverlayHost.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/ItemLayer.h"
#include "panels/measure/ScaleSet.h"
#include "panels/measure/SetScaleInfoDialog.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include <memory>

class ScalePanelTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<OverlayHost> overlay;
    std::unique_ptr<ScaleSet> panel;
    ItemLayer* layer = nullptr;
    MessagePassing* hub = nullptr;

    template <class T> T* child(const char* name) { return panel->findChild<T*>(name); }
    QComboBox* names() { return child<QComboBox>("combo_name"); }
    QSpinBox* length() { return child<QSpinBox>("spinBox_ScaleLength"); }

    void newPanel() {
        panel = std::make_unique<ScaleSet>();
        layer->GetScaleInfo();
        QTRY_VERIFY(!length()->isReadOnly());
    }
    // A calibration line of `pixels` image pixels named `name`, `mm` long.
    void calibrate(const QString& name, int pixels, double mm) {
        answerNextModal("QDialog", [=](QWidget* w) {
            QCOMPARE(w->windowTitle(), QString("Scale"));
            QCOMPARE(w->findChild<QComboBox*>("unitBox")->currentText(), QString("mm"));
            w->findChild<QLineEdit*>("nameLine")->setText(name);
            w->findChild<QDoubleSpinBox*>("lenghtSpinBox")->setValue(mm);
            w->findChild<QPushButton*>("sureBtn")->click();
        });
        child<QToolButton>("btn_line")->click();
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 100});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100 + pixels, 100});
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(1);
        overlay = std::make_unique<OverlayHost>();
        layer = overlay->layer;
        layer->setScaleDialogHook(&SetScaleInfoDialog::askScale);
        newPanel();
    }
    void cleanup() {
        panel.reset();
        overlay.reset();
        ScaleSet::setPasswordAsker(nullptr);
        env.reset();
    }

    void calibrationSetsPixelsPerUnit() {
        calibrate("s5", 200, 5.0);
        QCOMPARE(names()->currentText(), QString("s5"));
        QCOMPARE(names()->count(), 2);
        QVERIFY(qAbs(layer->measureSystem()->disrate() - 0.025) < 1e-6); // 40 px per mm
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->useMeasureTool(0);
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 300});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {200, 300});
        QCOMPARE(table.last()[3].value<QList<QString>>().value(0), QString("2.50"));
        // Unit and decimals reach the engine's current scale.
        child<QComboBox>("combo_bit")->setCurrentIndex(3);
        QCOMPARE(table.last()[3].value<QList<QString>>().value(0), QString("2.500"));
    }

    void deleteAsksAndNeverTakesPositionZero() {
        calibrate("s5", 200, 5.0);
        QSignalSpy del(hub, SIGNAL(delScaleNameSIGNAL(QString)));
        names()->setCurrentIndex(0);
        child<QToolButton>("btn_del")->click(); // no box at all
        QCOMPARE(del.count(), 0);
        names()->setCurrentIndex(1);
        answerNextModal("QDialog", [](QWidget* w) { clickText(w, "Cancel"); });
        child<QToolButton>("btn_del")->click();
        QCOMPARE(del.count(), 0);
        answerNextModal("QDialog", [](QWidget* w) { clickText(w, "Del"); });
        child<QToolButton>("btn_del")->click();
        QCOMPARE(del.count(), 1);
        QCOMPARE(names()->count(), 1);
        QCOMPARE(layer->measureSystem()->ScaleNames(), QStringList({"default"}));
        hub->setLanguage(2);
        QSignalSpy hint(hub, SIGNAL(bewriteTextUpdateSIGNAL(bool, QPoint, QString)));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(child<QToolButton>("btn_parallel"), &enter);
        QCOMPARE(hint.last()[2].toString(), QString::fromUtf8("平行線定標"));
    }

    void barLengthsByPositionSurviveARestart() {
        calibrate("a", 200, 5.0);
        calibrate("b", 100, 5.0);
        QSignalSpy bar(hub, SIGNAL(sig_setMeasureScaleLength(int)));
        names()->setCurrentIndex(1);
        child<QToolButton>("btnAdd_ScaleLength")->click(); // a: 101
        names()->setCurrentIndex(2);
        length()->setValue(0); // becomes 1
        QCOMPARE(length()->value(), 1);
        QCOMPARE(bar.last()[0].toInt(), 1);
        QCOMPARE(panel->barLengths(), QList<int>({100, 101, 1}));
        newPanel();
        QCOMPARE(panel->barLengths(), QList<int>({100, 101, 1}));
        QCOMPARE(length()->value(), 1); // "b" is current
        names()->setCurrentIndex(1);
        QCOMPARE(length()->value(), 101);
    }

    void hostileStoredLengthsGiveDefaults() {
        panel.reset();
        {
            QSettings ini("./ScaleSet.ini", QSettings::IniFormat);
            ini.setValue("Camera_0_scl_0/ScaleLength", -1);
            ini.setValue("Camera_0_scl_1/ScaleLength", "abc");
            ini.setValue("Camera_0_scl_10/ScaleLength", 40);
            ini.setValue("Camera_0_scl_2/ScaleLength", 5000);
            ini.setValue("isLock", "junk");
        }
        newPanel();
        QCOMPARE(panel->barLengths(), QList<int>({100, 100, 100, 40}));
        // A current name the list lacks: nothing is read or written at -1.
        hub->sendScaleInfo({"default"}, "gone");
        QCOMPARE(names()->currentIndex(), -1);
        child<QToolButton>("btnAdd_ScaleLength")->click();
        QCOMPARE(panel->barLengths(), QList<int>({100, 100, 100, 40}));
    }

    void lockAsksForThePassword_data() {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("locks");
        QTest::newRow("stored") << true << "secret" << true;
        QTest::newRow("master") << true << "PwLunet" << true;
        QTest::newRow("wrong") << true << "nope" << false;
        QTest::newRow("cancelled") << false << "secret" << false;
    }
    void lockAsksForThePassword() {
        QFETCH(bool, accepted);
        QFETCH(QString, typed);
        QFETCH(bool, locks);
        QSettings("./PasswordDialog.ini", QSettings::IniFormat).setValue("Password", "secret");
        int asked = 0;
        ScaleSet::setPasswordAsker([&](QString& t) {
            ++asked;
            t = typed;
            return accepted;
        });
        child<QCheckBox>("checkBox_lock")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(child<QCheckBox>("checkBox_lock")->isChecked(), locks);
        QCOMPARE(child<QToolButton>("btn_line")->isEnabled(), !locks);
        QCOMPARE(child<QComboBox>("combo_unit")->isEnabled(), !locks);
        QCOMPARE(names()->isEnabled(), true);
        newPanel(); // restored without asking
        QCOMPARE(child<QCheckBox>("checkBox_lock")->isChecked(), locks);
        QCOMPARE(child<QToolButton>("btn_del")->isEnabled(), !locks);
        QCOMPARE(asked, 1);
    }

    void lockRunsThePasswordDialog() {
        ScaleSet::setPasswordAsker(nullptr); // the program's own dialog
        answerNextModal("PasswordDialog", [](QWidget* d) {
            d->findChild<QLineEdit*>("lineEdit")->setText("PwLunet");
            d->findChild<QAbstractButton*>("pushButton_2")->click();
        });
        child<QCheckBox>("checkBox_lock")->click();
        QVERIFY(child<QCheckBox>("checkBox_lock")->isChecked());
        QCOMPARE(QSettings("./ScaleSet.ini", QSettings::IniFormat).value("isLock").toBool(), true);
    }
};

QTEST_MAIN(ScalePanelTest)
#include "tst_scale_panel.moc"
