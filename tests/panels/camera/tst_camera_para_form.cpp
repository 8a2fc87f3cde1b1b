// The camera parameter panel: sliders and options reaching a simulated USB
// and network camera once, parameter sets saved and loaded back in their
// timed order, refused set names, Restore's timed steps, the Args Lock,
// short control lists and a panel built without a camera.
#include "LoggingCamera.h"
#include "SimCameraRig.h"
#include "camera/NetCamera.h"
#include "panels/camera/CameraParaForm.h"
#include "tests/camera/NetCameraTestKit.h"
#include "tests/support/ModalAnswer.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

namespace {
const char* kPrefixes[10] = {"Exposure", "AEBest",     "GlobalGain", "RedGain", "GreenGain",
                             "BlueGain", "Saturation", "Contrast",   "Sharpen", "HDR"};
QSlider* slider(QWidget* p, int key) { return p->findChild<QSlider*>(QString(kPrefixes[key]) + "Slider"); }
QToolButton* plus(QWidget* p, int key) { return p->findChild<QToolButton*>(QString(kPrefixes[key]) + "Add"); }
QRadioButton* radio(QWidget* p, const char* name) { return p->findChild<QRadioButton*>(name); }
QString field(QWidget* p, int key) { return p->findChild<QLineEdit*>(QString(kPrefixes[key]) + "Edit")->text(); }
// The value boxes as the stub camera words them, for the slider positions
// `values` (by key; keys left out: 0).
QStringList fieldsFor(const QMap<int, int>& values) {
    QStringList texts;
    for (int key = 0; key < 10; ++key)
        texts << (key == 0 ? QString("%1 us").arg(values.value(key)) : QString::number(values.value(key)));
    return texts;
}
QStringList fields(QWidget* p) {
    QStringList texts;
    for (int key = 0; key < 10; ++key)
        texts << field(p, key);
    return texts;
}
void drag(QWidget* p, int key, int v) { // the value, then the release
    slider(p, key)->setValue(v);
    emit slider(p, key)->sliderReleased();
}
// Writes of the vendor channel (register, selector, exposure), read requests left out.
int writes(const QVector<SimTraffic>& traffic) {
    int n = 0;
    for (const SimTraffic& t : traffic)
        n += t.kind == SimTraffic::Set && ((t.prop == 11 && (int(t.value) & 0xFF) != 0xFF) ||
                                           (t.prop == 32 && (int(t.value) & 0xFFF) != 0xFFF) || t.prop == 12);
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
    // Each "+" and each "on" is written once; the camera then reads back what is shown.
    void usbCameraGetsEachValueOnce() {
        SimCameraRig rig(3);
        CameraParaForm panel;
        panel.show();
        panel.syncParamsOnce();
        for (int key = 0; key < 10; ++key) {
            QSlider* s = slider(&panel, key);
            if (s->value() == s->maximum())
                s->setValue(s->minimum());
            const int shown = s->value() + 1;
            rig.sim->clearTraffic();
            plus(&panel, key)->click();
            QCOMPARE(writes(rig.sim->traffic()), 1);
            rig.cam->syncParams();
            QVERIFY2(key == 0 || s->value() == shown, kPrefixes[key]); // exposure rounds on its own scale
        }
        int rows = 0;
        for (const char* name : {"rbtnMirrSetOpen", "rbtnFilpSetOpen", "rbtnBwModeOpen", "rbtnRmPurpleOpen",
                                 "rbtnLongExposure", "rbtShengWu"}) {
            QRadioButton* on = radio(&panel, name);
            rows += on->isVisible();
            rig.sim->clearTraffic();
            on->click();
            on->click(); // the same value again: nothing more
            QCOMPARE(writes(rig.sim->traffic()), on->isVisible() ? 1 : 0);
            rig.cam->syncParams();
            QVERIFY2(on->isChecked() || !on->isVisible(), name);
        }
        QVERIFY(rows >= 5);
        QVERIFY(!radio(&panel, "rbtn3dOpen")->isVisible()); // the model has no 3D noise reduction
    }

    void networkCamera() {
        TestEnv env;
        NetSdkSim* sim = nullptr;
        std::unique_ptr<NetCamera> cam(NetCameraTestKit::openCamera("3@10.0.0.3", 0, &sim));
        MessagePassing::instance()->setCurCamera(cam.get());
        QSettings("./CameraParaForm.ini", QSettings::IniFormat).setValue("isLock", true);
        CameraParaForm panel;
        panel.show();
        panel.syncParamsOnce();
        for (const char* hidden : {"btnReset", "btnArgs", "checkBoxLock"})
            QVERIFY(!panel.findChild<QWidget*>(hidden)->isVisible());
        for (int key = 0; key < 10; ++key) {
            sim->clearCallLog();
            slider(&panel, key)->setValue(slider(&panel, key)->minimum());
            plus(&panel, key)->click();
            QCOMPARE(NetCameraTestKit::calls(sim, "WF_Set").size(), slider(&panel, key)->isVisible() ? 1 : 0);
        }
        // The stored lock's moment (run now rather than waited for): no lock without a lock box.
        QVERIFY(QMetaObject::invokeMethod(&panel, "oneSecondLater"));
        QVERIFY(slider(&panel, 2)->isEnabled());
        sim->clearCallLog();
        radio(&panel, "rbtnMirrSetOpen")->click();
        QCOMPARE(NetCameraTestKit::calls(sim, "WF_SetHFlip"), QStringList{"WF_SetHFlip(0,1)"});
        MessagePassing::instance()->setCurCamera(nullptr);
    }

    // Saved, changed, loaded back: choice rows first, exposure last, one step
    // per 100 ms, only what differs sent, each value box showing the loaded
    // value. Keys are control characters, escaped.
    void saveChangeLoad() {
        StubRig rig;
        QWidget* p = rig.panel.get();
        drag(p, 2, 40);
        drag(p, 0, 70);
        radio(p, "rbtnMirrSetOpen")->click();
        rig.panel->argsNewSLOT("day");
        QFile file("./Args_day.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (int key = 0; key <= 16; ++key)
            QVERIFY(text.contains(QString("\n%%1=").arg(key, 2, 16, QChar('0')).toUpper()));
        QVERIFY(text.contains("\n%02=40") && text.contains("\n%0A=true") && text.contains("\n%00=70"));

        drag(p, 2, 10);
        drag(p, 0, 5);
        drag(p, 6, 24);
        drag(p, 7, 3);
        radio(p, "rbtnMirrSetClose")->click();
        radio(p, "rbtnLongExposure")->click();
        rig.cam.clear();
        rig.panel->argsLoadSLOT("day");
        QTRY_COMPARE(slider(p, 0)->value(), 70);
        QVERIFY(radio(p, "rbtnMirrSetOpen")->isChecked() && radio(p, "rbtnShortExposure")->isChecked());
        QCOMPARE(slider(p, 2)->value(), 40);
        const auto mirror = rig.cam.calls("setHFlip"), type = rig.cam.calls("setExposureType");
        const auto params = rig.cam.calls("setParam"), exposure = rig.cam.calls("exposure");
        QCOMPARE(mirror.size() + type.size() + exposure.size(), 3);
        QCOMPARE(params.size(), 3); // gain, saturation and contrast, the sliders that differ
        QCOMPARE(QVector<int>({params[0].a, params[1].a, params[2].a}), QVector<int>({2, 6, 7}));
        QCOMPARE(fields(p), fieldsFor({{0, 70}, {2, 40}}));
        // Steps 0 (mirror), 4 (type), 7 (gain), 11 (saturation), 12 (contrast), 15 (exposure).
        const QPair<qint64, int> steps[] = {
            {type[0].ms, 4}, {params[0].ms, 7}, {params[1].ms, 11}, {params[2].ms, 12}, {exposure[0].ms, 15}};
        qint64 last = mirror[0].ms;
        for (const auto& [ms, step] : steps) {
            QVERIFY(ms - mirror[0].ms >= step * 100 - 5 && ms > last);
            last = ms;
        }
    }

    // Every other way a slider moves without a drag shows in its value box
    // too: the camera read again, its exposure or colour gains read again,
    // Restore's steps, a step button, and the exposure type switched by a
    // click or a loaded set (the position kept within the new range; the
    // set's exposure is that position, so no later step shows it). Every
    // slider first shows a value of its own, so that a box left behind differs.
    void fieldsFollowEveryChange_data() {
        QTest::addColumn<QString>("way");
        for (const char* way : {"camera read again", "exposure read again", "colour gains read again", "restore",
                                "step buttons", "exposure type switched", "set loaded with the other type"})
            QTest::newRow(way) << QString(way);
    }
    void fieldsFollowEveryChange() {
        QFETCH(QString, way);
        StubRig rig;
        QWidget* p = rig.panel.get();
        p->show(); // a hidden exposure type row counts as short exposure
        radio(p, "rbtnLongExposure")->click();
        QMap<int, int> before;
        for (int key = 0; key < 10; ++key)
            drag(p, key, before[key] = key == 0 ? 500 : 3 + key);
        QCOMPARE(fields(p), fieldsFor(before));
        QMap<int, int> shown = before;
        if (way == "camera read again") {
            radio(p, "rbtnShortExposure")->click();
            for (int key = 0; key < 10; ++key)
                rig.cam.setControl(key, {0, 100, shown[key] = 20 + key});
            rig.cam.syncParams();
        } else if (way == "exposure read again") {
            rig.cam.setControl(0, {0, 1000, shown[0] = 640});
            MessagePassing::instance()->syncExposure();
        } else if (way == "colour gains read again") {
            for (int key : {3, 4, 5})
                rig.cam.setControl(key, {0, 100, shown[key] = 60 + key});
            MessagePassing::instance()->syncRGBGain();
        } else if (way == "restore") {
            for (int key = 0; key < 10; ++key)
                rig.cam.setControl(key, {0, 100, shown[key] = 50 + key});
            p->findChild<QToolButton*>("btnReset")->click();
            QTRY_COMPARE(slider(p, 1)->value(), 51); // the last step
        } else if (way == "step buttons") {
            for (int key = 0; key < 10; ++key) {
                plus(p, key)->click();
                ++shown[key];
            }
        } else if (way == "exposure type switched") {
            radio(p, "rbtnShortExposure")->click();
            shown[0] = 100; // the short range's end
        } else if (way == "set loaded with the other type") {
            QSettings set("./Args_short.ini", QSettings::IniFormat);
            for (int key = 0; key < 10; ++key)
                set.setValue(QString(QChar(key)), key == 0 ? 100 : before[key]);
            set.setValue(QString(QChar(CtlExposureType)), false);
            set.sync();
            shown[0] = 100;
            rig.panel->argsLoadSLOT("short");
            QTRY_VERIFY(radio(p, "rbtnShortExposure")->isChecked());
        }
        QTRY_COMPARE(fields(p), fieldsFor(shown));
        for (int key = 0; key < 10; ++key)
            QCOMPARE(slider(p, key)->value(), shown[key]);
    }

    // A second load while one runs replaces it: the last set's value, sent once.
    void secondLoadReplacesFirst() {
        StubRig rig;
        QSettings("./Args_a.ini", QSettings::IniFormat).setValue(QString(QChar(2)), 10);
        QSettings("./Args_b.ini", QSettings::IniFormat).setValue(QString(QChar(2)), 20);
        rig.panel->argsLoadSLOT("a");
        rig.panel->argsLoadSLOT("b");
        QTRY_COMPARE(slider(rig.panel.get(), 2)->value(), 20);
        QTest::qWait(200); // two chains would take their gain steps in the same tick
        QCOMPARE(rig.cam.calls("setParam").size(), 1);
    }

    void refusedNames_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"", "   ", "a/b", "/../keep", "a:b"})
            QTest::newRow(name) << name;
    }
    // Hostile names neither write, delete nor load; a missing set loads nothing.
    void refusedNames() {
        QFETCH(QString, name);
        StubRig rig;
        QDir().mkdir("Args_");
        QSettings("./keep.ini", QSettings::IniFormat).setValue("k", 1);
        const QStringList before = QDir(".").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        rig.panel->argsNewSLOT(name);
        rig.panel->argsDelSLOT(name);
        rig.panel->argsLoadSLOT(name);
        rig.panel->argsLoadSLOT("missing");
        QCOMPARE(QDir(".").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(QDir("Args_").isEmpty());
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
        QHash<int, qint64> shownAt;
        for (int k = 0; k < 10; ++k)
            connect(slider(rig.panel.get(), k), &QSlider::valueChanged, rig.panel.get(),
                    [&, k] { shownAt.insert(k, clock.elapsed()); });
        auto* reset = rig.panel->findChild<QToolButton*>("btnReset");
        clock.start();
        reset->click();
        reset->click(); // blocked while Restore runs
        for (const char* call : {"setHFlip", "setVFlip", "setBWMode", "setExposureType", "resetParams"})
            QCOMPARE(rig.cam.calls(call).size(), 1);
        if (cameraResets) {
            QTRY_COMPARE(slider(rig.panel.get(), 1)->value(), 51);
            for (int k = 0; k < 10; ++k) { // gains at 500 ms, picture rows at 700, exposure and target at 900
                QCOMPARE(slider(rig.panel.get(), k)->value(), 50 + k);
                QVERIFY(shownAt.value(k) >= (k >= 2 && k <= 5 ? 500 : k >= 6 ? 700 : 900));
                QVERIFY(k < 2 ? shownAt.value(k) > shownAt.value(9) : k < 6 || shownAt.value(k) > shownAt.value(5));
            }
            // Each step's last changed value is sent once, not ten times a second.
            QTRY_COMPARE(rig.cam.calls("setParam").size(), 3);
            QTest::qWait(300);
            QCOMPARE(rig.cam.calls("setParam").size(), 3);
        } else {
            QTRY_COMPARE(rig.cam.calls("syncParams").size(), 1);
            QVERIFY(rig.cam.calls("syncParams")[0].ms >= 1000);
        }
        QTRY_VERIFY(!reset->signalsBlocked());
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
        rig.panel->findChild<QCheckBox*>("checkBoxLock")->setChecked(true);
        QCOMPARE(slider(rig.panel.get(), 2)->isEnabled(), !locks);
        QVERIFY(rig.panel->findChild<QWidget*>("btnAWB")->isEnabled());
        CameraParaForm again; // comes up as stored, half a second after it is built
        QTRY_COMPARE(again.findChild<QCheckBox*>("checkBoxLock")->isChecked(), locks);
        QCOMPARE(slider(&again, 2)->isEnabled(), !locks);
    }

    // Lists too short for their state count as missing; no camera: a disabled panel.
    void shortListsAndNoCamera() {
        StubRig rig;
        rig.cam.setControl(2, {0, 80});
        rig.cam.setControl(10, {1});
        rig.cam.setControl(15, {1});
        rig.panel->show();
        rig.cam.syncParams();
        for (const char* hidden : {"GlobalGainSlider", "GlobalGainEdit", "widgetMirr", "widgetJinXiang"})
            QVERIFY(!rig.panel->findChild<QWidget*>(hidden)->isVisible());
        QVERIFY(slider(rig.panel.get(), 3)->isVisible());
        MessagePassing::instance()->setCurCamera(nullptr);
        CameraParaForm orphan;
        QVERIFY(!orphan.isEnabled());
        orphan.syncParamsOnce();
        plus(&orphan, 2)->click();
    }
};

QTEST_MAIN(TestCameraParaForm)
#include "tst_camera_para_form.moc"
