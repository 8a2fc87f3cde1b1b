// The cross-line grid panel and the cross-line editor against the real
// overlay: line counts and their minimums, delete-all, edits of one line with
// all seven values, Del, a resolution change, and hostile ./LineFormSet.ini.

#include "OverlayHost.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/ItemLayer.h"
#include "panels/measure/CrossLineSetWidget.h"
#include "panels/measure/LineForm.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include <memory>

class CrossLinePanelsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<OverlayHost> overlay;
    ItemLayer* layer = nullptr;
    MessagePassing* hub = nullptr;
    BaseCamera camera; // 1920 x 1080 frames

    CCrossLineContainer* lines() { return layer->measureSystem()->crossLines(); }
    template <class T> static T* in(QWidget* w, const char* name) { return w->findChild<T*>(name); }
    static void click(QWidget* w, const char* name, int times = 1) {
        for (int i = 0; i < times; ++i)
            in<QAbstractButton>(w, name)->click();
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(1);
        hub->setCurCamera(&camera);
        overlay = std::make_unique<OverlayHost>(QSize(960, 540), QSize(1920, 1080));
        layer = overlay->layer;
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        overlay.reset();
        env.reset();
    }

    void okMakesLinesAndRaisesTheMinimum() {
        LineForm form;
        QSignalSpy count(hub, SIGNAL(setLineNumSIGNAL(int, bool)));
        click(&form, "btnAddH", 3);
        click(&form, "btnHOK");
        click(&form, "btnAddV", 2);
        click(&form, "btnVOK");
        QCOMPARE(count.count(), 2);
        QCOMPARE(lines()->LineCount(true), 3);
        QCOMPARE(lines()->LineCount(false), 2);
        QCOMPARE(in<QSpinBox>(&form, "horizontalNumber")->minimum(), 3);
        click(&form, "btnSubH");
        QCOMPARE(in<QSpinBox>(&form, "horizontalNumber")->value(), 3);
        // A new panel takes the engine's counts as its minimums.
        LineForm again;
        QCOMPARE(in<QSpinBox>(&again, "verticalNumber")->minimum(), 2);
        QVERIFY(QTest::qWaitFor([&] { return !in<QCheckBox>(&again, "checkBoxCenter")->isEnabled(); }));
    }

    void deleteAllAsks() {
        LineForm form;
        click(&form, "btnAddH", 2);
        click(&form, "btnHOK");
        QSignalSpy removed(hub, SIGNAL(removeAllLineSIGNAL()));
        answerNextModal("QMessageBox", [](QWidget* w) { clickText(w, "Cancel"); });
        click(&form, "delAllBtn");
        QCOMPARE(removed.count(), 0);
        QCOMPARE(lines()->LineCount(true), 2);
        answerNextModal("QMessageBox", [](QWidget* w) { clickText(w, "Del"); });
        click(&form, "delAllBtn");
        QCOMPARE(removed.count(), 1);
        QCOMPARE(lines()->LineCount(true), 0);
        QCOMPARE(in<QSpinBox>(&form, "horizontalNumber")->minimum(), 0);
    }

    void editorMovesTheEnginesLine() {
        LineForm form;
        CrossLineSetWidget editor;
        editor.setEnabled(false);
        click(&form, "btnAddH", 3);
        click(&form, "btnHOK");
        QSignalSpy info(hub, SIGNAL(setCrossLineInfoSIGNAL(int, bool, float, float, QColor, bool, bool)));
        hub->setCrossLineData(1, true, 500.0f, -45.7f, QColor(Qt::blue), true, true);
        QCOMPARE(info.count(), 0); // a fill sends nothing
        QVERIFY(editor.isEnabled());
        QCOMPARE(in<QLabel>(&editor, "labTitle")->text(), QString("Selected Line:Hor_2"));
        QCOMPARE(in<QSlider>(&editor, "posSlider")->maximum(), 1080);
        QCOMPARE(in<QSlider>(&editor, "angleSlider")->value(), 43);
        QCOMPARE(in<QSpinBox>(&editor, "angleSpinBox")->value(), -45);
        QCOMPARE(in<QComboBox>(&editor, "colorBox")->currentIndex(), 1);

        in<QSlider>(&editor, "posSlider")->setValue(620);
        QCOMPARE(info.count(), 1);
        QCOMPARE(info[0], (QList<QVariant>{1, true, 620.0f, -45.7f, QColor(Qt::blue), true, true}));
        in<QSlider>(&editor, "angleSlider")->setValue(89);
        QCOMPARE(info.last()[3].toFloat(), 0.0f);
        click(&editor, "anglePlus");
        in<QComboBox>(&editor, "colorBox")->setCurrentIndex(3);
        click(&editor, "hideRadioBtn");
        CrossLineInfo* line = lines()->FindLine(1, true);
        QVERIFY(line);
        QCOMPARE(line->position, 620.0f);
        QCOMPARE(line->angle, 1.0f);
        QCOMPARE(line->colour, QColor(Qt::yellow));
        QCOMPARE(line->scale, false);
        QCOMPARE(line->visible, true);
        click(&editor, "centerBtn");
        QCOMPARE(lines()->FindLine(1, true)->position, 540.0f);

        click(&editor, "delBtn");
        QVERIFY(!editor.isEnabled());
        QCOMPARE(lines()->LineCount(true), 2);
        QCOMPARE(in<QSpinBox>(&form, "horizontalNumber")->value(), 2);
        QCOMPARE(in<QSpinBox>(&form, "horizontalNumber")->minimum(), 2);
    }

    void fillWithoutCameraKeepsTheRange() {
        CrossLineSetWidget editor;
        hub->setCrossLineData(0, false, 100.0f, 0.0f, QColor(Qt::red), true, false);
        QCOMPARE(in<QSlider>(&editor, "posSlider")->maximum(), 1920);
        hub->setCurCamera(nullptr);
        hub->setCrossLineData(0, true, 100.0f, 0.0f, QColor(Qt::red), true, false);
        QCOMPARE(in<QSlider>(&editor, "posSlider")->maximum(), 1920);
        QCOMPARE(in<QLabel>(&editor, "labTitle")->text(), QString("Selected Line:Hor_1"));
    }

    void resolutionChangeClearsTheGrid() {
        QSettings("./LineFormSet.ini", QSettings::IniFormat).setValue("isTen", true);
        LineForm form;
        QTRY_VERIFY(in<QCheckBox>(&form, "checkBoxTen")->isChecked());
        click(&form, "btnAddV", 4);
        click(&form, "btnVOK");
        QSignalSpy ten(hub, SIGNAL(setTenVisibleSIGNAL(bool)));
        hub->changeResolution();
        QCOMPARE(lines()->LineCount(false), 0);
        QCOMPARE(in<QSpinBox>(&form, "verticalNumber")->value(), 0);
        QCOMPARE(in<QSpinBox>(&form, "verticalNumber")->minimum(), 0);
        QCOMPARE(ten.count(), 1);
        QCOMPARE(ten[0][0].toBool(), false);
        QCOMPARE(QSettings("./LineFormSet.ini", QSettings::IniFormat).value("isTen").toBool(), false);
    }

    void hostileSettingsGiveDefaults_data() {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("-1") << QVariant(-1);
        QTest::newRow("40") << QVariant(40);
        QTest::newRow("text") << QVariant("abc");
    }
    void hostileSettingsGiveDefaults() {
        QFETCH(QVariant, value);
        {
            QSettings ini("./LineFormSet.ini", QSettings::IniFormat);
            ini.setValue("colorIndex", value);
            ini.setValue("LineWidth", value);
        }
        QSignalSpy colour(hub, SIGNAL(setLineColorSIGNAL(int)));
        QSignalSpy width(hub, SIGNAL(sig_SetAllCrossLineWidth(int)));
        LineForm form;
        QCOMPARE(colour.count(), 1);
        QCOMPARE(colour[0][0].toInt(), 0);
        QCOMPARE(width.count(), 1);
        QCOMPARE(width[0][0].toInt(), 1);
        QCOMPARE(in<QComboBox>(&form, "comboBoxWidth")->currentIndex(), 0);
        QCOMPARE(QSettings("./LineFormSet.ini", QSettings::IniFormat).value("LineWidth").toInt(), 0);
    }

    void colourChangeResendsTheReticleWhenOn() {
        QSettings("./LineFormSet.ini", QSettings::IniFormat).setValue("isTen", true);
        LineForm form;
        QSignalSpy ten(hub, SIGNAL(setTenVisibleSIGNAL(bool)));
        QSignalSpy scale(hub, SIGNAL(setTenColorScaleSIGNAL(QColor, bool)));
        in<QComboBox>(&form, "colorBox")->setCurrentIndex(2);
        QCOMPARE(ten.count(), 2);
        QCOMPARE(scale.last()[0].value<QColor>(), QColor(Qt::green));
    }
};

QTEST_MAIN(CrossLinePanelsTest)
#include "tst_cross_line_panels.moc"
