// The camera parameter panel: every slider and option reaching a simulated
// USB and network camera once, parameter sets saved and loaded back in their
// timed order, hostile and missing set names, Restore's timed steps, the
// Args Lock, short control lists and a panel built without a camera.
#include "LoggingCamera.h"
#include "tests/camera/NetCameraTestKit.h"
#include "SimCameraRig.h"
#include "app/MessagePassing.h"
#include "camera/NetCamera.h"
#include "panels/camera/CameraParaForm.h"
#include "tests/support/ModalAnswer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

namespace {
const char* kPrefixes[10] = {"Exposure", "AEBest", "GlobalGain", "RedGain", "GreenGain",
                             "BlueGain", "Saturation", "Contrast", "Sharpen", "HDR"};
QSlider* slider(QWidget* p, int key) { return p->findChild<QSlider*>(QString(kPrefixes[key]) + "Slider"); }
QToolButton* addButton(QWidget* p, int key) { return p->findChild<QToolButton*>(QString(kPrefixes[key]) + "Add"); }
QRadioButton* radio(QWidget* p, const char* name) { return p->findChild<QRadioButton*>(name); }
// A drag ending at v: the value, then the release.
void drag(QWidget* p, int key, int v) {
    slider(p, key)->setValue(v);
    emit slider(p, key)->sliderReleased();
}
bool sendTimerIdle(QWidget* p) {
    for (QTimer* t : p->findChildren<QTimer*>())
        if (!t->isSingleShot() && t->isActive())
            return false;
    return true;
}

// Writes of the vendor channel (register, selector and exposure words), read requests left out.
int writes(const QVector<SimTraffic>& traffic) {
    int n = 0;
    for (const SimTraffic& t : traffic) {
        const int v = int(t.value);
        if (t.kind != SimTraffic::Set)
            continue;
        if ((t.prop == 11 && (v & 0xFF) != 0xFF) || (t.prop == 32 && (v & 0xFFF) != 0xFFF) || t.prop == 12)
            ++n;
    }
    return n;
}

struct StubRig {
    TestEnv env;
    LoggingCamera cam;
    std::unique_ptr<CameraParaForm> panel;
    StubRig() {
        MessagePassing::instance()->setCurCamera(&cam);
        panel.reset(new CameraParaForm);
        panel->syncParamsOnce();
        cam.clear();
    }
    ~StubRig() { MessagePassing::instance()->setCurCamera(nullptr); }
};
} // namespace

class TestCameraParaForm : public QObject {
    Q_OBJECT
private slots:
    // Each "+" sends its row's value once; the camera then reads back what was shown.
    void usbSlidersReachCamera() {
        SimCameraRig rig(3); // Corvo
        CameraParaForm panel;
        panel.syncParamsOnce();
        for (int key = 1; key < 10; ++key) { // exposure: its own scale, below
            QSlider* s = slider(&panel, key);
            if (s->value() == s->maximum())
                s->setValue(s->minimum());
            const int expected = s->value() + 1;
            rig.sim->clearTraffic();
            addButton(&panel, key)->click();
            QCOMPARE(writes(rig.sim->traffic()), 1);
            rig.cam->syncParams();
            QVERIFY2(s->value() == expected, kPrefixes[key]);
        }
        rig.sim->clearTraffic();
        addButton(&panel, 0)->click();
        QCOMPARE(writes(rig.sim->traffic()), 1);
    }

    void usbOptionsReachCamera() {
        SimCameraRig rig(3);
        CameraParaForm panel;
        panel.show();
        panel.syncParamsOnce();
        int rows = 0;
        for (const char* name : {"rbtnMirrSetOpen", "rbtnFilpSetOpen", "rbtnBwModeOpen", "rbtn3dOpen",
                                 "rbtnRmPurpleOpen", "rbtnLongExposure", "rbtShengWu"}) {
            QRadioButton* on = radio(&panel, name);
            if (!on->isVisible())
                continue;
            ++rows;
            rig.sim->clearTraffic();
            on->click();
            QCOMPARE(writes(rig.sim->traffic()), 1);
            rig.sim->clearTraffic();
            on->click(); // the same value again: nothing sent
            QCOMPARE(writes(rig.sim->traffic()), 0);
            rig.cam->syncParams();
            QVERIFY2(on->isChecked(), name);
        }
        QVERIFY(rows >= 5);
        QVERIFY(!radio(&panel, "rbtn3dOpen")->isVisible()); // the model has no 3D noise reduction
    }

    void networkCamera() {
        TestEnv env;
        NetSdkSim* sim = nullptr;
        std::unique_ptr<NetCamera> cam(NetCameraTestKit::openCamera("3@10.0.0.3", 0, &sim));
        QVERIFY(cam);
        MessagePassing::instance()->setCurCamera(cam.get());
        CameraParaForm panel;
        panel.show();
        panel.syncParamsOnce();
        for (const char* hidden : {"btnReset", "btnArgs"})
            QVERIFY(!panel.findChild<QWidget*>(hidden)->isVisible());
        QVERIFY(!panel.findChild<QCheckBox*>("checkBoxLock")->isVisible());
        for (int key = 0; key < 10; ++key) {
            if (!slider(&panel, key)->isVisible())
                continue;
            sim->clearCallLog();
            slider(&panel, key)->setValue(slider(&panel, key)->minimum());
            addButton(&panel, key)->click();
            QCOMPARE(NetCameraTestKit::calls(sim, "WF_Set").size(), 1);
        }
        sim->clearCallLog();
        radio(&panel, "rbtnMirrSetOpen")->click();
        QCOMPARE(NetCameraTestKit::calls(sim, "WF_SetHFlip"), QStringList{"WF_SetHFlip(0,1)"});
        MessagePassing::instance()->setCurCamera(nullptr);
    }

    // A set saved, the panel changed, the set loaded: choice rows first,
    // exposure last, one step per 100 ms, only what differs sent.
    void saveChangeLoad() {
        StubRig rig;
        QWidget* p = rig.panel.get();
        drag(p, 2, 40);
        drag(p, 0, 70);
        radio(p, "rbtnMirrSetOpen")->click();
        rig.panel->argsNewSLOT("day");
        // The keys are the control characters 0-16, written escaped.
        QFile file("./Args_day.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (int key = 0; key <= 16; ++key)
            QVERIFY2(text.contains(QString("\n%%1=").arg(key, 2, 16, QChar('0')).toUpper()), qPrintable(text));
        QVERIFY(text.contains("\n%02=40") && text.contains("\n%0A=true") && text.contains("\n%00=70"));

        drag(p, 2, 10);
        drag(p, 0, 5);
        drag(p, 7, 3);
        radio(p, "rbtnMirrSetClose")->click();
        radio(p, "rbtnLongExposure")->click();
        rig.cam.clear();
        rig.panel->argsLoadSLOT("day");
        QTRY_COMPARE(slider(p, 0)->value(), 70);
        QVERIFY(radio(p, "rbtnMirrSetOpen")->isChecked() && radio(p, "rbtnShortExposure")->isChecked());
        QCOMPARE(slider(p, 2)->value(), 40);
        QCOMPARE(slider(p, 7)->value(), 0);
        const auto mirror = rig.cam.calls("setHFlip");
        const auto type = rig.cam.calls("setExposureType");
        const auto gain = rig.cam.calls("setParam");
        const auto exposure = rig.cam.calls("exposure");
        QCOMPARE(mirror.size(), 1);
        QCOMPARE(mirror[0].a, 1);
        QCOMPARE(type.size(), 1);
        QCOMPARE(gain.size(), 2); // gain and contrast: the only sliders that differ
        QCOMPARE(exposure.size(), 1);
        // Steps 0 (mirror), 4 (type), 7 (gain), 12 (contrast), 15 (exposure) at 100 ms apart.
        const qint64 t0 = mirror[0].ms;
        const QPair<qint64, int> spacing[] = {{type[0].ms, 4}, {gain[0].ms, 7}, {gain[1].ms, 12}, {exposure[0].ms, 15}};
        for (const auto& [ms, step] : spacing)
            QVERIFY2(ms - t0 >= step * 100 - 5 && ms - t0 < step * 100 + 400, qPrintable(QString::number(ms - t0)));
        QCOMPARE(gain[0].a, 2);
        QCOMPARE(gain[1].a, 7);
        QVERIFY(mirror[0].ms < type[0].ms && type[0].ms < gain[0].ms && gain[1].ms < exposure[0].ms);
    }

    // A second load while one runs replaces it: one chain, the last set's values.
    void secondLoadReplacesFirst() {
        StubRig rig;
        QSettings("./Args_a.ini", QSettings::IniFormat).setValue(QString(QChar(2)), 10);
        QSettings("./Args_b.ini", QSettings::IniFormat).setValue(QString(QChar(2)), 20);
        rig.panel->argsLoadSLOT("a");
        rig.panel->argsLoadSLOT("b");
        QTRY_COMPARE(slider(rig.panel.get(), 2)->value(), 20);
        QTest::qWait(200); // two chains would take their gain steps in the same tick
        const auto gain = rig.cam.calls("setParam");
        QCOMPARE(gain.size(), 1);
        QCOMPARE(gain[0].b, 20);
    }

    void refusedNames_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "   ";
        QTest::newRow("separator") << "a/b";
        QTest::newRow("climbing") << "/../keep";
        QTest::newRow("reserved character") << "a:b";
    }
    // Hostile names neither write, delete nor load anything; a missing set loads nothing.
    void refusedNames() {
        QFETCH(QString, name);
        StubRig rig;
        QDir().mkdir("Args_");
        QFile keep("./keep.ini");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        const QStringList before = QDir(".").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        rig.panel->argsNewSLOT(name);
        rig.panel->argsDelSLOT(name);
        rig.panel->argsLoadSLOT(name);
        rig.panel->argsLoadSLOT("missing");
        QCOMPARE(QDir(".").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), before);
        QCOMPARE(QDir("Args_").entryList(QDir::Files).size(), 0);
        QVERIFY(rig.cam.log_.isEmpty()); // a load's first step runs at once
    }

    void restore_data() {
        QTest::addColumn<bool>("cameraResets");
        QTest::newRow("model defaults") << true;
        QTest::newRow("camera's own") << false;
    }
    void restore() {
        QFETCH(bool, cameraResets);
        StubRig rig;
        rig.cam.resetAnswer = cameraResets;
        for (int k = 0; k < 10; ++k)
            rig.cam.setControl(k, {0, 100, 50 + k});
        QElapsedTimer clock;
        QHash<int, qint64> changedAt;
        for (int k = 0; k < 10; ++k)
            connect(slider(rig.panel.get(), k), &QSlider::valueChanged, this, [&, k] {
                if (!changedAt.contains(k))
                    changedAt[k] = clock.elapsed();
            });
        auto* reset = rig.panel->findChild<QToolButton*>("btnReset");
        clock.start();
        reset->click();
        for (const char* call : {"setHFlip", "setVFlip", "setBWMode", "setExposureType"})
            QCOMPARE(rig.cam.calls(call).size(), 1);
        QCOMPARE(rig.cam.calls("resetParams").size(), 1);
        reset->click(); // blocked while Restore runs
        QCOMPARE(rig.cam.calls("resetParams").size(), 1);
        if (cameraResets) {
            QTRY_COMPARE(slider(rig.panel.get(), 1)->value(), 51);
            for (int k = 2; k <= 9; ++k)
                QCOMPARE(slider(rig.panel.get(), k)->value(), 50 + k);
            QCOMPARE(slider(rig.panel.get(), 0)->value(), 50);
            // Gains from 500 ms, the picture rows from 700 ms, exposure and target from 900 ms.
            for (int k = 0; k < 10; ++k) {
                const qint64 shown = changedAt.value(k, -1);
                QVERIFY2(shown >= (k >= 2 && k <= 5 ? 500 : k >= 6 ? 700 : 900), kPrefixes[k]);
                if (k >= 6)
                    QVERIFY(shown > changedAt.value(5));
                if (k < 2)
                    QVERIFY(shown > changedAt.value(9));
            }
            // Each step's last changed value goes to the camera once, not ten times a second.
            QTRY_VERIFY(sendTimerIdle(rig.panel.get()));
            QVector<int> sent;
            for (const auto& c : rig.cam.calls("setParam"))
                sent << c.a;
            QCOMPARE(sent, (QVector<int>{5, 9, 1}));
        } else {
            QTRY_COMPARE(rig.cam.calls("syncParams").size(), 1);
            QVERIFY(rig.cam.calls("syncParams")[0].ms >= 1000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!reset->signalsBlocked(), 5000);
    }

    void lock_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("locks");
        QTest::newRow("stored") << "secret" << true;
        QTest::newRow("master") << "PwLunet" << true;
        QTest::newRow("wrong") << "guess" << false;
    }
    void lock() {
        QFETCH(QString, typed);
        QFETCH(bool, locks);
        StubRig rig;
        QSettings("./PasswordDialog.ini", QSettings::IniFormat).setValue("Password", "secret");
        answerNextModal("PasswordDialog", [&](QWidget* d) {
            d->findChild<QLineEdit*>("lineEdit")->setText(typed);
            d->findChild<QPushButton*>("pushButton_2")->click();
        });
        auto* box = rig.panel->findChild<QCheckBox*>("checkBoxLock");
        box->setChecked(true);
        QCOMPARE(box->isChecked(), locks);
        QCOMPARE(slider(rig.panel.get(), 2)->isEnabled(), !locks);
        QVERIFY(rig.panel->findChild<QWidget*>("btnAWB")->isEnabled());
        QCOMPARE(QSettings("./CameraParaForm.ini", QSettings::IniFormat).value("isLock", false).toBool(), locks);
        // A new panel comes up as stored, half a second after it is built.
        CameraParaForm again;
        QTRY_COMPARE(again.findChild<QCheckBox*>("checkBoxLock")->isChecked(), locks);
        QCOMPARE(slider(&again, 2)->isEnabled(), !locks);
    }

    // Lists too short for their state count as missing controls.
    void shortControlLists() {
        TestEnv env;
        LoggingCamera cam;
        cam.setControl(2, {0, 80});
        cam.setControl(10, {1});
        cam.setControl(15, {1});
        MessagePassing::instance()->setCurCamera(&cam);
        CameraParaForm panel;
        panel.show();
        panel.syncParamsOnce();
        QVERIFY(!slider(&panel, 2)->isVisible());
        QVERIFY(!panel.findChild<QWidget*>("GlobalGainEdit")->isVisible());
        QVERIFY(!panel.findChild<QWidget*>("widgetMirr")->isVisible());
        QVERIFY(!panel.findChild<QWidget*>("widgetJinXiang")->isVisible());
        QVERIFY(slider(&panel, 3)->isVisible());
        MessagePassing::instance()->setCurCamera(nullptr);
    }

    void withoutCamera() {
        TestEnv env;
        CameraParaForm panel;
        QVERIFY(!panel.isEnabled());
        panel.syncParamsOnce();
        addButton(&panel, 2)->click();
        QMetaObject::invokeMethod(&panel, "sliderValueTimeOut");
    }
};

QTEST_MAIN(TestCameraParaForm)
#include "tst_camera_para_form.moc"
