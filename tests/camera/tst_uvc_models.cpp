// The USB model classes on simulated cameras of their codes: the words on
// the wire (from the simulator's traffic log), probes and firmware gates,
// the full parameter reads, the Pellam tunnel, the tables of ranges and
// sizes, and each model changing a parameter that its frames then show.
#include "FakeUsbWorkers.h"
#include "app/hub/MessagePassing.h"
#include "camera/SDLBackground.h"
#include "camera/UVCCamera_Ambrel.h"
#include "camera/UVCCamera_Bexo.h"
#include "camera/UVCCamera_Corvo.h"
#include "camera/UVCCamera_Dunmor.h"
#include "camera/UVCCamera_Lutrava.h"
#include "camera/UVCCamera_Pellam.h"
#include "camera/UVCCamera_Quillet.h"
#include "camera/UVCCamera_Sorrin.h"
#include "platform/CaptureDevice.h"
#include "camera/UVCCamera_Tirsa.h"
#include "camera/UVCCamera_Yselt.h"
#include "camera/UvcModels.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

#include <memory>

namespace {

// A model opened on simulated camera 0 of its code, sleeps faked.
struct ModelRig {
    TestEnv env;
    SleepClock::FakeTime clock;
    std::shared_ptr<SimUsbCamera> sim;
    std::unique_ptr<UVCCamera> cam;

    explicit ModelRig(int code, const QString& options = "fps=0", QString format = QString()) {
        QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
        SimUsbBus::instance()->configure(QString("%1:%2").arg(code).arg(options));
        sim = SimUsbBus::instance()->cameras().value(0);
        // The panel asks the firmware byte only where the format depends on it.
        if (format.isEmpty())
            format = UvcModels::offeredFormat(
                code, (code == 3 || code == 4 || code == 14) ? UvcModels::readFirmwareByte(0) : 0);
        cam.reset(UvcModels::openModel(code, 0, format));
    }
    ~ModelRig() {
        cam.reset();
        SimUsbBus::instance()->configure(QString());
    }
    template <class T> T* as() const { return qobject_cast<T*>(cam.get()); }
    // The sets of the register, selector, exposure and tunnel channels that fn makes.
    QVector<SimTraffic> setsOf(const std::function<void()>& fn) {
        sim->clearTraffic();
        fn();
        QVector<SimTraffic> sets;
        for (const SimTraffic& t : sim->traffic())
            if (t.kind == SimTraffic::Set)
                sets.append(t);
        return sets;
    }
    int current(int key) const { return cam->paramRange(key).value(key < 10 ? 2 : 1, -1); }
};

SimTraffic set(int prop, double value) { return {SimTraffic::Set, prop, value}; }

double meanBrightness(const cv::Mat& bgr) {
    const cv::Scalar m = cv::mean(bgr);
    return (m[0] + m[1] + m[2]) / 3.0;
}

using Ranges = QList<QPair<int, int>>;

void checkTable(const BaseCamera& cam, const Ranges& ranges, const QList<int>& switches) {
    for (int key = 0; key < 10; ++key)
        QCOMPARE(cam.paramRange(key), (QList<int>{ranges[key].first, ranges[key].second, 0}));
    for (int i = 0; i < switches.size(); ++i) {
        const QList<int> expected = switches[i] < 0 ? QList<int>{} : QList<int>{switches[i], 0};
        QCOMPARE(cam.paramRange(10 + i), expected);
    }
}

const Ranges k4K = {{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 254}, {0, 254}};

Ranges withKey(Ranges r, int key, QPair<int, int> v) {
    r[key] = v;
    return r;
}

} // namespace

class TstUvcModels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { MessagePassing::instance(); }

    void everyModelOpensProbesSyncsAndShowsAChange_data();
    void everyModelOpensProbesSyncsAndShowsAChange();
    void codesWithoutModelWrongFormatsAndStrangeCamerasAreRefused();
    void tablesOfRangesAndSizes();
    void mirrorWordsOnTheWire();
    void commandsAndSelectorWrites();
    void readAnswersTheLastRequest();
    void mirrorRegisterOutOfRangeChangesNothing();
    void mirrorRegisterAnswersByValue_data();
    void mirrorRegisterAnswersByValue();
    void firmwareBoundariesOfSorrinAndCorvo_data();
    void firmwareBoundariesOfSorrinAndCorvo();
    void offeredFormatByFirmware_data();
    void offeredFormatByFirmware();
    void genericModelKeysWrittenAndRead_data();
    void genericModelKeysWrittenAndRead();
    void firmwareGatesOfSorrin();
    void firmwareGatesOfQuilletAndAmbrel();
    void exposureThroughTheChannel();
    void pellamBracketsEveryExchange();
    void pellamFirmwareTwelveAndEleven();
    void ambrelLensAndVideoOutput();
    void frameRateAdjustments();
    void recordingSettingsByModelAndFormat();
    void sleepsAreInjected();
    void scanIdsAndPanelTexts();
};

void TstUvcModels::everyModelOpensProbesSyncsAndShowsAChange_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QSize>("size");
    const QSize fhd(1920, 1080);
    QTest::newRow("1 Yselt") << 1 << "UVCCamera_Yselt" << fhd;
    QTest::newRow("2 Yselt") << 2 << "UVCCamera_Yselt" << fhd;
    QTest::newRow("3 Corvo") << 3 << "UVCCamera_Corvo" << fhd;
    QTest::newRow("4 Quillet") << 4 << "UVCCamera_Quillet" << fhd;
    QTest::newRow("5 Tirsa") << 5 << "UVCCamera_Tirsa" << fhd;
    QTest::newRow("6 Pellam") << 6 << "UVCCamera_Pellam" << fhd;
    QTest::newRow("7 Lutrava") << 7 << "UVCCamera_Lutrava" << QSize(2480, 2048);
    QTest::newRow("8 Dunmor") << 8 << "UVCCamera_Dunmor" << QSize(4096, 3072);
    QTest::newRow("11 Bexo") << 11 << "UVCCamera_Bexo" << QSize(4000, 3000);
    QTest::newRow("13 Ambrel") << 13 << "UVCCamera_Ambrel" << QSize(3840, 2160);
    QTest::newRow("14 Sorrin") << 14 << "UVCCamera_Sorrin" << fhd;
}

void TstUvcModels::everyModelOpensProbesSyncsAndShowsAChange() {
    QFETCH(int, code);
    QFETCH(QString, className);
    QFETCH(QSize, size);
    ModelRig rig(code);
    QVERIFY(rig.cam);
    QCOMPARE(rig.cam->className(), className);
    QCOMPARE(rig.sim->frameSize(), size);
    QCOMPARE(QSize(rig.cam->frameWidth(), rig.cam->frameHeight()), size);
    QSignalSpy effects(MessagePassing::instance(), SIGNAL(initImgEffectSIGNAL()));
    rig.cam->syncParams();
    QCOMPARE(effects.count(), 1);
    const bool generic = code == 1 || code == 2;
    // The values the camera holds come back into the control map.
    QCOMPARE(rig.current(CtlContrast), generic ? 50 : 114);
    QCOMPARE(rig.current(CtlSaturation), generic ? 50 : 90);
    QCOMPARE(rig.current(CtlGain), 0);
    if (!generic) {
        QCOMPARE(rig.current(CtlRedGain), 610);
        QCOMPARE(rig.current(CtlGreenGain), 256);
        QCOMPARE(rig.current(CtlBlueGain), 358);
        QVERIFY(rig.cam->isAEOn());
    }
    const double before = meanBrightness(rig.sim->currentPicture());
    rig.cam->setParam(CtlGain, 40);
    const double after = meanBrightness(rig.sim->currentPicture());
    QVERIFY2(after > before * 1.25, qPrintable(QString("%1 -> %2").arg(before).arg(after)));
    rig.cam->syncParams();
    QCOMPARE(rig.current(CtlGain), generic ? 40 : 40);
}

void TstUvcModels::codesWithoutModelWrongFormatsAndStrangeCamerasAreRefused() {
    for (int code : {9, 10, 12, 15, 0}) {
        ModelRig rig(code == 15 || code == 0 ? 14 : code);
        QVERIFY(!UvcModels::openModel(code, 0, "NV12"));
    }
    {
        ModelRig rig(7, "fps=0", "MJPG"); // Lutrava takes NV12 only
        QVERIFY(!rig.cam);
    }
    {
        ModelRig rig(11, "fps=0", "YUYV"); // Bexo: NV12 or MJPG
        QVERIFY(!rig.cam);
    }
    {
        ModelRig rig(13, "fps=0:id=99"); // not one of ours
        QVERIFY(!rig.cam);
    }
    {
        ModelRig rig(14, "fps=0:id=101"); // Sorrin and Corvo also answer 101
        QVERIFY(rig.cam);
    }
    {
        ModelRig rig(3, "fps=0:fail=open");
        QVERIFY(!rig.cam);
    }
    {
        ModelRig rig(5, "fps=0", "NV12"); // Tirsa opens MJPG whatever is asked
        QVERIFY(rig.cam);
        QCOMPARE(rig.cam->pixelFormat(), int(PixFmtMJPG));
        QCOMPARE(rig.sim->pixelFormat(), int(PixFmtMJPG));
    }
}

void TstUvcModels::tablesOfRangesAndSizes() {
    const Ranges narrowSharp = withKey(k4K, CtlSharpness, {0, 20});
    const Ranges large = withKey(k4K, CtlExposure, {0, 16531});
    checkTable(UVCCamera_Ambrel(), k4K, {1, 1, 1, 0, 0, 1, 1});
    checkTable(UVCCamera_Tirsa(), k4K, {1, 1, 1, 0, 0, 0, 0});
    checkTable(UVCCamera_Sorrin(), narrowSharp, {1, 1, 0, 0, 1, -1, -1});
    checkTable(UVCCamera_Corvo(), narrowSharp, {1, 1, 1, 0, 1, -1, -1});
    checkTable(UVCCamera_Quillet(), narrowSharp, {1, 1, 1, 0, 1, 1, -1});
    checkTable(UVCCamera_Bexo(), large, {1, 1, 1, 0, 1, 1, 1});
    checkTable(UVCCamera_Dunmor(), large, {1, 1, 1, 0, 1, 1, 1});
    checkTable(UVCCamera_Lutrava(), withKey(k4K, CtlExposure, {0, 6531}), {1, 1, 1, 0, 0, 1, 1});
    checkTable(UVCCamera_Yselt(),
               {{133, 33329}, {80, 1200}, {0, 80}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 100}, {0, 100}, {0, 127}, {0, 255}},
               {0, 0, 0, 0, 0, -1, -1});
    checkTable(UVCCamera_Pellam(),
               {{0, 5541}, {20, 200}, {0, 80}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 254}, {0, 254}, {0, 30}, {0, 254}},
               {1, 1, 1, 0, 0, -1, -1});
    QCOMPARE(UVCCamera_Sorrin().isCompactPanel(), true);
    QCOMPARE(UVCCamera_Corvo().isCompactPanel(), false);

    struct Sizes {
        std::shared_ptr<UVCCamera> cam;
        QSize full, preview;
        bool wide;
    };
    const QList<Sizes> fixed{{std::make_shared<UVCCamera_Bexo>(), {4000, 3000}, {3000, 2500}, false},
                             {std::make_shared<UVCCamera_Dunmor>(), {4096, 3072}, {3000, 2500}, false},
                             {std::make_shared<UVCCamera_Lutrava>(), {2480, 2048}, {2100, 1800}, false},
                             {std::make_shared<UVCCamera_Yselt>(), {1920, 1080}, {800, 500}, true}};
    for (const Sizes& s : fixed) {
        QCOMPARE(s.cam->frameSize(true), s.full);
        QCOMPARE(s.cam->frameSize(false), s.full);
        QCOMPARE(s.cam->previewSize(), s.preview);
        QCOMPARE(s.cam->isWideFrame(), s.wide);
    }
    const QList<std::shared_ptr<UVCCamera>> fourK{std::make_shared<UVCCamera_Ambrel>(),
                                                  std::make_shared<UVCCamera_Tirsa>(),
                                                  std::make_shared<UVCCamera_Sorrin>(),
                                                  std::make_shared<UVCCamera_Corvo>(),
                                                  std::make_shared<UVCCamera_Quillet>(),
                                                  std::make_shared<UVCCamera_Pellam>()};
    for (const auto& cam : fourK) {
        QCOMPARE(cam->frameSize(false), QSize(3840, 2160));
        QCOMPARE(cam->previewSize(), QSize(1600, 1000));
        cam->setResolution(1);
        QCOMPARE(cam->frameSize(false), QSize(1920, 1080));
        QCOMPARE(cam->frameSize(true), QSize(3840, 2160));
        QCOMPARE(cam->previewSize(), QSize(800, 500));
        QVERIFY(cam->isWideFrame());
    }
}

void TstUvcModels::mirrorWordsOnTheWire() {
    {
        ModelRig rig(14);
        QCOMPARE(rig.setsOf([&] {
            rig.cam->setHFlip(1);
            rig.cam->setVFlip(1);
            rig.cam->setHFlip(0);
            rig.cam->setVFlip(0);
        }),
                 (QVector<SimTraffic>{set(11, 0x0701), set(11, 0x0703), set(11, 0x0702), set(11, 0x0700)}));
    }
    {
        // Tirsa keeps the inverse of the user's switch: "on" clears the bit
        // (both states start at 0, so both on writes 0x0700).
        ModelRig rig(5);
        QCOMPARE(rig.setsOf([&] {
            rig.cam->setHFlip(1);
            rig.cam->setVFlip(1);
            rig.cam->setHFlip(0);
        }),
                 (QVector<SimTraffic>{set(11, 0x0700), set(11, 0x0700), set(11, 0x0701)}));
        // Read back, Tirsa's keys are the inverse of the bits.
        rig.cam->syncParams();
        QCOMPARE(rig.current(CtlMirror), 0);
        QCOMPARE(rig.current(CtlFlip), 1);
    }
}

void TstUvcModels::commandsAndSelectorWrites() {
    ModelRig rig(8);
    QCOMPARE(rig.setsOf([&] {
        rig.cam->doAWB();
        rig.cam->setAE(true);
        rig.cam->setAE(false);
        rig.cam->setParam(CtlRedGain, 600);
        rig.cam->setParam(CtlBlueGain, 400);
        rig.cam->setParam(CtlGreenGain, 300);
        rig.cam->setParam(CtlTarget, 90);
        rig.cam->setParam(CtlHDR, 999); // clamped to the top register value
        rig.cam->setParam(CtlExposure, 5); // exposure goes through exposureText
        rig.cam->setBWMode(1);
        rig.cam->setExposureType(1);
        rig.cam->setCameraMode(2);
        rig.cam->setRmPurple(1);
    }),
             (QVector<SimTraffic>{set(11, 0x0801), set(11, 0x0901), set(11, 0x0900), set(32, 600),
                                  set(32, 0x1000 + 400), set(32, 0x2000 + 300), set(11, 0x0100 + 90),
                                  set(11, 0x04FE), set(11, 0x0601), set(11, 0x0A01), set(11, 0x0B02),
                                  set(11, 0x0C01)}));
    QCOMPARE(rig.sim->selector(0), 600);
    QCOMPARE(rig.setsOf([&] { QVERIFY(!rig.cam->resetParams()); }), (QVector<SimTraffic>{set(11, 0xF901)}));
    QCOMPARE(rig.sim->selector(0), 610); // the camera is back to its defaults
}

void TstUvcModels::readAnswersTheLastRequest() {
    ModelRig rig(11);
    rig.cam->setParam(CtlSaturation, 77);
    rig.cam->setParam(CtlGreenGain, 123);
    rig.sim->clearTraffic();
    rig.cam->readRGBGain();
    const QVector<SimTraffic> t = rig.sim->traffic();
    QCOMPARE(t.size(), 6);
    QCOMPARE(t[0], set(32, 0x0FFF));
    QCOMPARE(t[2], set(32, 0x2FFF));
    QCOMPARE(int(t[3].value) & 0xFFF, 123);
    QCOMPARE(rig.current(CtlGreenGain), 123);
    rig.cam->syncParams();
    QCOMPARE(rig.current(CtlSaturation), 77);
}

void TstUvcModels::mirrorRegisterOutOfRangeChangesNothing() {
    ModelRig rig(13);
    rig.cam->setHFlip(1);
    rig.cam->syncParams();
    QCOMPARE(rig.current(CtlMirror), 1);
    rig.sim->setReg(0x07, 5);
    rig.cam->syncParams();
    QCOMPARE(rig.current(CtlMirror), 1);
    QCOMPARE(rig.current(CtlFlip), 0);
    QCOMPARE(rig.as<UVCRegisterCamera>()->horizontalMirrorState(), 1);
}

void TstUvcModels::mirrorRegisterAnswersByValue_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("mirror"); // shown afterwards; the state before is mirror 1, flip 0
    QTest::addColumn<int>("flip");
    // In range: both bits taken.
    QTest::newRow("13: 0") << 13 << 0 << 0 << 0;
    QTest::newRow("13: 2") << 13 << 2 << 0 << 1;
    QTest::newRow("13: 3") << 13 << 3 << 1 << 1;
    // Out of range, whatever their low bits say: nothing changes.
    QTest::newRow("13: 4 (low bits 00)") << 13 << 4 << 1 << 0;
    QTest::newRow("13: 6 (low bits 10)") << 13 << 6 << 1 << 0;
    QTest::newRow("13: 7 (low bits 11)") << 13 << 7 << 1 << 0;
    QTest::newRow("13: 8") << 13 << 8 << 1 << 0;
    QTest::newRow("13: 255") << 13 << 255 << 1 << 0;
}

void TstUvcModels::mirrorRegisterAnswersByValue() {
    QFETCH(int, code);
    QFETCH(int, answer);
    ModelRig rig(code);
    rig.cam->setHFlip(1);
    rig.cam->syncParams();
    QCOMPARE(rig.current(CtlMirror), 1);
    QCOMPARE(rig.current(CtlFlip), 0);
    rig.sim->setReg(0x07, answer);
    rig.cam->syncParams();
    QTEST(rig.current(CtlMirror), "mirror");
    QTEST(rig.current(CtlFlip), "flip");
}

void TstUvcModels::firmwareBoundariesOfSorrinAndCorvo_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<bool>("purple");     // the purple-fringe switch, read from its register
    QTest::addColumn<int>("sharpness");   // the sharpness slider's top
    QTest::addColumn<int>("cameraMode");  // shown for a camera answering mode 1
    for (const int code : {14, 3}) {
        const QString name = code == 14 ? "Sorrin" : "Corvo";
        QTest::newRow(qPrintable(name + " fw 8")) << code << 8 << false << 20 << 2;
        QTest::newRow(qPrintable(name + " fw 9")) << code << 9 << true << 20 << 2;
        QTest::newRow(qPrintable(name + " fw 10")) << code << 10 << true << 254 << 2;
        QTest::newRow(qPrintable(name + " fw 11")) << code << 11 << true << 254 << 1;
    }
}

void TstUvcModels::firmwareBoundariesOfSorrinAndCorvo() {
    QFETCH(int, code);
    QFETCH(int, firmware);
    QFETCH(bool, purple);
    QFETCH(int, sharpness);
    ModelRig rig(code, QString("fps=0:fw=%1").arg(firmware), "YUYV");
    QVERIFY(rig.cam);
    QCOMPARE(rig.cam->paramRange(CtlSharpness).value(1), sharpness);
    QCOMPARE(!rig.cam->paramRange(CtlPurple).isEmpty(), purple);
    rig.sim->setReg(0x0B, 1);
    rig.sim->setReg(0x0C, 1);
    rig.cam->syncParams();
    QTEST(rig.current(CtlCameraMode), "cameraMode");
    if (purple)
        QCOMPARE(rig.current(CtlPurple), 1);
}

void TstUvcModels::offeredFormatByFirmware_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QString>("format");
    QTest::newRow("Nesko 8") << 4 << 8 << "YUYV";
    QTest::newRow("Nesko 9") << 4 << 9 << "NV12";
    QTest::newRow("Nesko 10") << 4 << 10 << "NV12";
    QTest::newRow("Corvo 28") << 3 << 28 << "YUYV";
    QTest::newRow("Corvo 29") << 3 << 29 << "NV12";
    QTest::newRow("Sorrin 28") << 14 << 28 << "YUYV";
    QTest::newRow("Sorrin 29") << 14 << 29 << "NV12";
}

void TstUvcModels::offeredFormatByFirmware() {
    QFETCH(int, code);
    QFETCH(int, firmware);
    QTEST(UvcModels::offeredFormat(code, firmware), "format");
}

void TstUvcModels::genericModelKeysWrittenAndRead_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("property"); // the standard capture property it travels as
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("read");     // what the camera answers, shown after a sync
    // Distinct values, so a key that reads or writes a neighbour's property shows.
    QTest::newRow("2 gain") << 2 << 14 << 31 << 17;
    QTest::newRow("3 red gain") << 3 << 32 << 611 << 433;
    QTest::newRow("5 blue gain") << 5 << 17 << 359 << 522;
    QTest::newRow("6 saturation") << 6 << 12 << 61 << 47;
    QTest::newRow("7 contrast") << 7 << 11 << 71 << 29;
    QTest::newRow("8 sharpness") << 8 << 20 << 101 << 13;
    QTest::newRow("9 HDR") << 9 << 22 << 201 << 149;
}

void TstUvcModels::genericModelKeysWrittenAndRead() {
    QFETCH(int, key);
    QFETCH(int, property);
    QFETCH(int, written);
    QFETCH(int, read);
    ModelRig rig(1);
    QVERIFY(rig.cam);
    rig.cam->setParam(key, written);
    QCOMPARE(rig.sim->property(property), double(written));
    rig.cam->capture()->set(property, read);
    rig.cam->syncParams();
    QCOMPARE(rig.current(key), read);
}

void TstUvcModels::firmwareGatesOfSorrin() {
    QSlider slider;
    {
        ModelRig rig(14, "fps=0:fw=255"); // no answer: firmware 0
        auto* s = rig.as<UVCCamera_Sorrin>();
        QCOMPARE(s->firmware(), 0);
        QVERIFY(!s->longExposureFlag());
        QVERIFY(s->paramRange(CtlCameraMode).isEmpty());
        s->setExposureRange(&slider, true);
        QCOMPARE(slider.maximum(), 95);
    }
    {
        ModelRig rig(14, "fps=0:fw=3");
        auto* s = rig.as<UVCCamera_Sorrin>();
        QVERIFY(rig.setsOf([&] { s->setCameraMode(2); }).isEmpty());
        // The long slider writes microseconds without the long flag.
        QCOMPARE(rig.setsOf([&] { QCOMPARE(s->exposureText(95, true, true), QString("65ms")); }),
                 (QVector<SimTraffic>{set(12, 65000)}));
        // Reset without the command: the defaults by camera mode.
        rig.sim->setReg(0x0B, 0);
        QVERIFY(s->resetParams());
        QCOMPARE(rig.current(CtlContrast), 125);
        QCOMPARE(rig.current(CtlSharpness), 14);
        QCOMPARE(rig.current(CtlHDR), 200);
        QCOMPARE(rig.current(CtlRedGain), 610);
    }
    {
        ModelRig rig(14, "fps=0:fw=4");
        auto* s = rig.as<UVCCamera_Sorrin>();
        QVERIFY(s->paramRange(CtlCameraMode).isEmpty());
        QVERIFY(s->paramRange(CtlPurple).isEmpty());
        QCOMPARE(s->paramRange(CtlSharpness), (QList<int>{0, 20, 0}));
        s->setExposureRange(&slider, true);
        QCOMPARE(slider.maximum(), 188);
        QVERIFY(!s->supportComposite());
    }
    {
        ModelRig rig(14, "fps=0:fw=6");
        QVERIFY(rig.cam->supportComposite());
        QVERIFY(!rig.cam->supportCameraMode());
        QCOMPARE(rig.cam->paramRange(CtlCameraMode), (QList<int>{1, 0}));
    }
    {
        ModelRig rig(14, "fps=0:fw=20");
        QVERIFY(rig.cam->supportCameraMode());
        QCOMPARE(rig.cam->paramRange(CtlSharpness), (QList<int>{0, 254, 0}));
        QCOMPARE(rig.cam->paramRange(CtlPurple), (QList<int>{1, 0}));
        rig.sim->setReg(0x0B, 1);
        rig.cam->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 1); // from firmware 11 the answer itself
    }
    {
        ModelRig rig(3, "fps=0:fw=9");
        rig.sim->setReg(0x0B, 1);
        rig.cam->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 2); // before 11: 2 for any mode
    }
}

void TstUvcModels::firmwareGatesOfQuilletAndAmbrel() {
    {
        ModelRig rig(4, "fps=0:fw=3");
        QVERIFY(rig.cam->paramRange(CtlPurple).isEmpty());
        QCOMPARE(rig.cam->paramRange(CtlSharpness), (QList<int>{0, 20, 0}));
        QVERIFY(!rig.cam->supportCameraMode());
        rig.sim->setReg(0x0B, 1);
        rig.cam->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 2);
    }
    {
        ModelRig rig(4, "fps=0:fw=7");
        QCOMPARE(rig.cam->paramRange(CtlPurple), (QList<int>{1, 0}));
        QCOMPARE(rig.cam->paramRange(CtlSharpness), (QList<int>{0, 254, 0}));
        QVERIFY(rig.cam->supportCameraMode());
        rig.sim->setReg(0x0B, 1);
        rig.cam->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 1);
    }
    {
        ModelRig rig(13, "fps=0:fw=4");
        QVERIFY(!rig.cam->supportCameraMode());
        QCOMPARE(rig.as<UVCCamera_Ambrel>()->videoOutModes().size(), 3);
    }
    {
        ModelRig rig(13, "fps=0:fw=7");
        QVERIFY(rig.cam->supportCameraMode());
        QCOMPARE(rig.as<UVCCamera_Ambrel>()->videoOutModes().last(), QString("HDMI(4K)+UVC(1080p20fps)"));
    }
}

void TstUvcModels::exposureThroughTheChannel() {
    ModelRig rig(11);
    auto* cam = rig.as<UVCRegisterCamera>();
    QCOMPARE(rig.setsOf([&] {
        QCOMPARE(cam->exposureText(148, true, true), QString("1s"));
        QCOMPARE(cam->exposureText(188, true, true), QString("5s"));
        QCOMPARE(cam->exposureText(16531, false, true), QString("49600us"));
        QCOMPARE(cam->exposureText(31, true, false), QString("1ms"));
    }),
             (QVector<SimTraffic>{set(12, 10000), set(12, 50000), set(12, 49600)}));
    QCOMPARE(cam->exposureToSlider(60000, false), 16531); // Bexo clamps at 49600
    QCOMPARE(cam->exposureToSlider(1000000, true), 148);
    // Reading back: the long type counts in 100 us.
    cam->setExposureType(1);
    cam->exposureText(148, true, true);
    QSignalSpy exposure(MessagePassing::instance(), SIGNAL(syncExposureSINGAL()));
    cam->refreshParams();
    QCOMPARE(exposure.count(), 1);
    QCOMPARE(rig.current(CtlExposure), 1000000);
    cam->setExposureType(0);
    cam->exposureText(5541, false, true);
    cam->refreshParams();
    QCOMPARE(rig.current(CtlExposure), 16630);
    QSlider slider;
    cam->setExposureRange(&slider, false);
    QCOMPARE(slider.maximum(), 16531);
    QCOMPARE(UVCCamera_Ambrel().exposureToSlider(30000, false), 6531);
    QCOMPARE(UVCCamera_Yselt().exposureText(500, false, false), QString("500us"));
    QCOMPARE(UVCCamera_Yselt().exposureToSlider(-700, true), 700);
}

void TstUvcModels::pellamBracketsEveryExchange() {
    ModelRig rig(6, "fps=0:fw=12");
    auto* p = rig.as<UVCCamera_Pellam>();
    QVERIFY(p);
    // Every read and every exposure write lies inside a -1 ... 1 bracket, and
    // no bracket is left open, even for the hub's listeners.
    const auto checkBrackets = [&](const std::function<void()>& fn, int expectedExchanges) {
        rig.sim->clearTraffic();
        fn();
        int open = 0, opened = 0;
        for (const SimTraffic& t : rig.sim->traffic()) {
            if (t.prop == 33 && t.kind == SimTraffic::Set) {
                QCOMPARE(t.value, open ? 1.0 : -1.0);
                open = !open;
                opened += open;
            } else {
                QVERIFY2(open, qPrintable(QString("prop %1 outside a bracket").arg(t.prop)));
            }
        }
        QCOMPARE(open, 0);
        QCOMPARE(opened, expectedExchanges);
    };
    QSignalSpy effects(MessagePassing::instance(), SIGNAL(initImgEffectSIGNAL()));
    checkBrackets([&] { p->syncParams(); }, 1);
    QCOMPARE(effects.count(), 1);
    checkBrackets([&] { p->refreshParams(); }, 1);
    checkBrackets([&] { p->readRGBGain(); }, 1);
    checkBrackets([&] { p->exposureText(148, true, true); }, 1);
    checkBrackets([&] { p->exposureText(148, true, false); }, 0);
    // A listener that reads the camera when the hub announces the values
    // opens its own exchange after the first one closed.
    QMetaObject::Connection c = connect(MessagePassing::instance(), &MessagePassing::initImgEffectSIGNAL, this,
                                        [p] { p->readRGBGain(); });
    checkBrackets([&] { p->syncParams(); }, 2);
    disconnect(c);
    // The probe does not use the tunnel.
    rig.sim->clearTraffic();
    p->probe();
    for (const SimTraffic& t : rig.sim->traffic())
        QVERIFY(t.prop != 33);
}

void TstUvcModels::pellamFirmwareTwelveAndEleven() {
    {
        ModelRig rig(6, "fps=0:fw=12");
        auto* p = rig.as<UVCCamera_Pellam>();
        QVERIFY(p->newFirmware());
        QCOMPARE(p->paramRange(CtlExposureType), (QList<int>{1, 0}));
        QCOMPARE(p->paramRange(CtlCameraMode), (QList<int>{1, 0}));
        QCOMPARE(p->paramRange(CtlPurple), (QList<int>{1, 0}));
        QCOMPARE(p->maxDecodeThreads(), 8);
        const QVector<SimTraffic> sets = rig.setsOf([&] { QCOMPARE(p->exposureText(148, true, true), QString("1s")); });
        QCOMPARE(sets, (QVector<SimTraffic>{set(33, -1), set(12, 10000), set(33, 1)}));
        p->setExposureType(1);
        p->syncParams();
        QCOMPARE(rig.current(CtlExposure), 1000000);
        QCOMPARE(rig.current(CtlExposureType), 1);
        rig.sim->setReg(0x0B, 1);
        p->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 0);
        rig.sim->setReg(0x0B, 2);
        p->syncParams();
        QCOMPARE(rig.current(CtlCameraMode), 2);
        rig.sim->setReg(0x07, 3);
        p->syncParams();
        QCOMPARE(rig.current(CtlMirror), 1);
        QCOMPARE(rig.current(CtlFlip), 1);
        QCOMPARE(rig.setsOf([&] { QVERIFY(!p->resetParams()); }), (QVector<SimTraffic>{set(11, 0xF901)}));
    }
    for (const char* fw : {"fps=0:fw=11", "fps=0:fw=255"}) {
        ModelRig rig(6, fw);
        auto* p = rig.as<UVCCamera_Pellam>();
        QVERIFY(!p->newFirmware());
        QCOMPARE(p->paramRange(CtlExposureType), (QList<int>{0, 0}));
        QVERIFY(p->paramRange(CtlCameraMode).isEmpty());
        QVERIFY(p->paramRange(CtlPurple).isEmpty());
        QVERIFY(rig.setsOf([&] { p->setCameraMode(2); }).isEmpty());
        QVERIFY(rig.setsOf([&] { QVERIFY(p->resetParams()); }).isEmpty());
        QCOMPARE(rig.current(CtlExposure), 16630);
        QCOMPARE(rig.current(CtlTarget), 63);
        QCOMPARE(rig.current(CtlRedGain), 583);
        QCOMPARE(rig.current(CtlBlueGain), 462);
        QCOMPARE(rig.current(CtlSharpness), 16);
    }
}

void TstUvcModels::ambrelLensAndVideoOutput() {
    ModelRig rig(13);
    auto* a = rig.as<UVCCamera_Ambrel>();
    QCOMPARE(a->resolutionIndex(), 0); // output mode 2: 4K over UVC
    QVERIFY(a->supportFastMode());
    rig.sim->setReg(0x1E, 1);
    QVERIFY(!a->supportFastMode());
    rig.sim->setReg(0x1E, 3);
    QVERIFY(!a->supportFastMode());
    a->applyVideoOutMode(a->readVideoOutMode());
    QCOMPARE(rig.sim->frameSize(), QSize(1920, 1080));
    QCOMPARE(a->resolutionIndex(), 1);
    a->applyVideoOutMode(0);
    QCOMPARE(rig.sim->frameSize(), QSize(3840, 2160));
    // The auto-focus window is halved on the wire at 4K.
    QCOMPARE(rig.setsOf([&] {
        a->setAFWindow3(101);
        a->setAFWindow6(400);
    }),
             (QVector<SimTraffic>{set(32, 0x3032), set(32, 0x6000 + 200)}));
    QCOMPARE(a->readAFWindow(), QRect(100, 1800, 1280, 400));
    // Lens steps move the simulated focus; heating switches.
    QCOMPARE(rig.setsOf([&] {
        a->lensStepAdd();
        a->lensStepAdd();
        a->lensStepSub();
        a->zoomBigStart();
        a->zoomBigStop();
        a->switchHeat();
        a->setFocusMode(2);
    }),
             (QVector<SimTraffic>{set(11, 0x1701), set(11, 0x1701), set(11, 0x1801), set(11, 0x1901),
                                  set(11, 0x1900), set(11, 0x1B01), set(11, 0x1502)}));
    QCOMPARE(rig.sim->focus(), 1.0);
    QCOMPARE(a->readHeatState(), 1);
    a->readFocusState();
    QCOMPARE(a->focusMode(), 2);
}

void TstUvcModels::frameRateAdjustments() {
    struct Case {
        int code;
        QString options;
        QString format;
        int resolution;
        float expected;
    };
    // The readout is the rate of the frames delivered, at every size and format.
    const QList<Case> cases{{7, "fps=50", "NV12", 0, 45.0f},  {7, "fps=30", "NV12", 0, 30.0f},
                            {4, "fps=30", "NV12", 1, 30.0f},  {4, "fps=30", "NV12", 0, 30.0f},
                            {14, "fps=30", "YUYV", 0, 30.0f}, {14, "fps=30", "NV12", 0, 30.0f}};
    for (const Case& c : cases) {
        ModelRig rig(c.code, c.options, c.format);
        QVERIFY(rig.cam);
        if (c.code != 7)
            rig.cam->setResolution(c.resolution);
        rig.sim->setFramesPerSecond(c.options.mid(4).toDouble());
        SDLBackground window;
        videoWindow = &window;
        window.setCanvasSize(QSize(640, 360));
        window.show();
        rig.cam->startLive();
        rig.cam->fitToWindow();
        for (int i = 0; i < 80; ++i) {
            window.renderFrame();
            rig.clock.advance(15); // the interface loop's rest of its 16 ms step
        }
        const float rate = rig.cam->frameRate();
        videoWindow = nullptr;
        QVERIFY2(qAbs(rate - c.expected) < 1.0f,
                 qPrintable(QString("code %1: %2, expected %3").arg(c.code).arg(rate).arg(c.expected)));
        if (c.expected == 45.0f)
            QCOMPARE(rig.cam->frameRate(), 45.0f); // kept
    }
}

void TstUvcModels::recordingSettingsByModelAndFormat() {
    FakeUsbWorkers workers;
    struct Case {
        int code;
        QString format;
        UsbRecordSettings expected;
    };
    auto s = [](int codec, int pix, int fps, int ow, int oh, int keep) {
        UsbRecordSettings r;
        r.inCodec = codec;
        r.inPixelFormat = pix;
        r.fps = fps;
        r.outWidth = ow;
        r.outHeight = oh;
        r.keepEvery = keep;
        return r;
    };
    const QList<Case> cases{{14, "YUYV", s(13, 1, 20, 1920, 1080, 2)}, {3, "NV12", s(13, 23, 20, 1920, 1080, 3)},
                            {4, "MJPG", s(7, 12, 20, 1920, 1080, 3)},  {11, "NV12", s(13, 23, 10, 2000, 1500, 2)},
                            {8, "NV12", s(13, 23, 10, 2048, 1536, 2)}, {7, "NV12", s(13, 23, 15, 1240, 1024, 3)},
                            {13, "NV12", s(13, 23, 20, 1920, 1080, 3)}};
    for (const Case& c : cases) {
        ModelRig rig(c.code, "fps=0", c.format);
        QVERIFY(rig.cam);
        QVERIFY(rig.cam->startRecord("x.mp4"));
        const UsbRecordSettings got = workers.recordings.last();
        QCOMPARE(QSize(got.inWidth, got.inHeight), rig.sim->frameSize());
        QCOMPARE(got.inCodec, c.expected.inCodec);
        QCOMPARE(got.inPixelFormat, c.expected.inPixelFormat);
        QCOMPARE(got.fps, c.expected.fps);
        QCOMPARE(got.outWidth, c.expected.outWidth);
        QCOMPARE(got.outHeight, c.expected.outHeight);
        QCOMPARE(got.keepEvery, c.expected.keepEvery);
    }
    // The camera's own rate goes with them: the encoder gets every n-th of
    // its frames.
    {
        ModelRig rig(14, "fps=30", "YUYV");
        QVERIFY(rig.cam->startRecord("x.mp4"));
        QCOMPARE(workers.recordings.last().cameraFps, 30.0);
        QCOMPARE(workers.recordings.last().keepEvery, 2);
    }
    const UsbRecordSettings tirsa = UVCCamera_Tirsa().recordSettings();
    QCOMPARE(tirsa.fps, 20);
    QCOMPARE(tirsa.keepEvery, 3);
    const UsbRecordSettings yselt = UVCCamera_Yselt().recordSettings();
    QCOMPARE(yselt.fps, 15);
    QCOMPARE(yselt.keepEvery, 2);
}

void TstUvcModels::sleepsAreInjected() {
    ModelRig rig(6, "fps=0:fw=12");
    const uint64_t slept = rig.clock.sleptMs();
    rig.as<UVCCamera_Pellam>()->probe();
    QCOMPARE(rig.clock.sleptMs() - slept, uint64_t(2003)); // two 1000 ms pauses and three 1 ms reads
    const uint64_t before = rig.clock.sleptMs();
    rig.cam->resetParams();
    QCOMPARE(rig.clock.sleptMs() - before, uint64_t(1000));
}

void TstUvcModels::scanIdsAndPanelTexts() {
    QCOMPARE(UvcModels::codeForDeviceName("USB Cam (VID_FEA9&PID_52C0)"), 8);
    QCOMPARE(UvcModels::codeForDeviceName("x vid_fea9&pid_0080 vid_fea9&pid_0020"), 1);
    QCOMPARE(UvcModels::codeForDeviceName("Cam (vid_0603&pid_8612)"), 3);
    QCOMPARE(UvcModels::codeForDeviceName("Cam (vid_fea9&pid_5020)"), 0);
    QCOMPARE(UvcModels::token(4), QString("Nesko"));
    QCOMPARE(UvcModels::token(15), QString());
    QCOMPARE(UvcModels::offeredFormat(3, 28), QString("YUYV"));
    QCOMPARE(UvcModels::offeredFormat(3, 29), QString("NV12"));
    QCOMPARE(UvcModels::offeredFormat(4, 9), QString("NV12"));
    QCOMPARE(UvcModels::offeredFormat(9, 0), QString("NV12"));
    QCOMPARE(UvcModels::offeredFormat(6, 0), QString("MJPG"));
    for (const auto& name : CaptureDevice::deviceNames())
        Q_UNUSED(name)
    SimUsbBus::instance()->configure("3:fw=255");
    QCOMPARE(UvcModels::readFirmwareByte(0), 0); // 255 reads as 0: offered YUYV
    QCOMPARE(UvcModels::codeForDeviceName(CaptureDevice::deviceNames().value(0)), 3);
    SimUsbBus::instance()->configure(QString());
}

QTEST_MAIN(TstUvcModels)
#include "tst_uvc_models.moc"
