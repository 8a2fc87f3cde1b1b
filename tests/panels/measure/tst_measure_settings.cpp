// The measurement settings panel and the label switches: every control
// writes its key and sends its signal once, the font-size shift, the values
// sent at start, hostile INI values, and switches that change the next label.

#include "OverlayHost.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/shapes/CLArc.h"
#include "panels/measure/MarkForm.h"
#include "panels/measure/MeasureSet.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include <memory>

class MeasureSettingsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    MessagePassing* hub = nullptr;

    static QVariant stored(const QString& key) {
        return QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat).value("MeasureSet/" + key);
    }
    static void store(const QString& key, const QVariant& v) {
        QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat).setValue("MeasureSet/" + key, v);
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->setLanguage(1);
    }
    void cleanup() { env.reset(); }

    void everyControlWritesItsKeyAndSignalsOnce_data() {
        QTest::addColumn<QString>("control"); // a button to click, or a box to set
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QVariant>("sent");
        QTest::addColumn<QVariant>("written");
        QTest::newRow("pen") << "btnAdd_lineWidth" << 0 << "PenSize" << SIGNAL(setMeasurePenSizeSIGNAL(int))
                             << QVariant(2) << QVariant(2);
        QTest::newRow("font") << "btnSub_fontSize" << 0 << "FontSize" << SIGNAL(setMeasureFontSizeSIGNAL(int))
                              << QVariant(21) << QVariant(21);
        QTest::newRow("bar width") << "btnAddChiWidth" << 0 << "ChiSize" << SIGNAL(setMeasureChiSizeSIGNAL(int))
                                   << QVariant(2) << QVariant(2);
        QTest::newRow("edge") << "btnSub_AutoEdge" << 0 << "AutoEdge" << SIGNAL(setMeasureAutoEdgeSIGNAL(int))
                              << QVariant(14) << QVariant(14);
        QTest::newRow("item colour") << "combo_itemColor" << 3 << "ItemColor"
                                     << SIGNAL(setMeasureItemColorSIGNAL(int)) << QVariant(3) << QVariant(3);
        QTest::newRow("font colour") << "combo_fontColor" << 8 << "FontColor"
                                     << SIGNAL(setMeasureFontColorSIGNAL(int)) << QVariant(8) << QVariant(8);
        QTest::newRow("bar colour") << "comboChiColor" << 2 << "ChiColor" << SIGNAL(setMeasureChiColorSIGNAL(int))
                                    << QVariant(2) << QVariant(2);
        QTest::newRow("mode") << "comboMode" << 4 << "Mode" << SIGNAL(setMeasureModeSIGNAL(int)) << QVariant(4)
                              << QVariant(4);
        QTest::newRow("mouse") << "comboMouse" << 2 << "MouseSize" << SIGNAL(setMeasureMouseSizeSIGNAL(int))
                               << QVariant(2) << QVariant(2);
        QTest::newRow("bar hidden") << "rBtnHide" << 0 << "scaleShow" << SIGNAL(setPlottingScalVisibleSIGNAL(bool))
                                    << QVariant(false) << QVariant(false);
        QTest::newRow("line save") << "comboLineSave" << 0 << "LineSave" << QString() << QVariant() << QVariant(0);
    }
    void everyControlWritesItsKeyAndSignalsOnce() {
        QFETCH(QString, control);
        QFETCH(int, value);
        QFETCH(QString, key);
        QFETCH(QString, signal);
        QFETCH(QVariant, sent);
        QFETCH(QVariant, written);
        MeasureSet panel;
        std::unique_ptr<QSignalSpy> spy;
        if (!signal.isEmpty())
            spy = std::make_unique<QSignalSpy>(hub, signal.toLatin1().constData());
        QObject* c = panel.findChild<QObject*>(control);
        QVERIFY(c);
        if (auto* b = qobject_cast<QAbstractButton*>(c))
            b->click();
        else
            qobject_cast<QComboBox*>(c)->setCurrentIndex(value);
        if (spy) {
            QCOMPARE(spy->count(), 1);
            QCOMPARE(spy->at(0).at(0), sent);
        }
        QCOMPARE(stored(key).toString(), written.toString());
    }

    void fontSizeIsShiftedBothWays() {
        store("FontSize", 15);
        MeasureSet panel;
        auto* box = panel.findChild<QSpinBox*>("spinBox_fontSize");
        QCOMPARE(box->value(), 16);
        QSignalSpy font(hub, SIGNAL(setMeasureFontSizeSIGNAL(int)));
        panel.findChild<QToolButton*>("btnSub_fontSize")->click(); // shows 15
        QCOMPARE(font.last()[0].toInt(), 14);
        QCOMPARE(stored("FontSize").toInt(), 14);
        panel.findChild<QToolButton*>("btnSub_fontSize")->click(); // at the bottom: nothing
        QCOMPARE(font.count(), 1);
        panel.findChild<QToolButton*>("btnAdd_fontSize")->click(); // shows 16
        QCOMPARE(font.last()[0].toInt(), 15);
        QCOMPARE(MeasureSet::shownFontSize(14), 15);
        QCOMPARE(MeasureSet::shownFontSize(16), 16);
    }

    void startSendsEdgeRangeAndLaterTheCursor() {
        store("AutoEdge", 40);
        store("MouseSize", 1);
        QSignalSpy edge(hub, SIGNAL(setMeasureAutoEdgeSIGNAL(int)));
        QSignalSpy mouse(hub, SIGNAL(setMeasureMouseSizeSIGNAL(int)));
        MeasureSet panel;
        QCOMPARE(edge.count(), 1);
        QCOMPARE(edge[0][0].toInt(), 30); // what the box shows, not 40
        QCOMPARE(stored("AutoEdge").toInt(), 40);
        QCOMPARE(mouse.count(), 0);
        QVERIFY(mouse.wait(3000));
        QCOMPARE(mouse[0][0].toInt(), 1);
    }

    // The cursor size sent a second after the page opens leaves the tool
    // the user picked meanwhile, and its next two clicks make a line.
    void delayedCursorSizeKeepsTheChosenTool() {
        store("MouseSize", 2);
        OverlayHost overlay;
        ItemLayer* layer = overlay.layer;
        QSignalSpy mouse(hub, SIGNAL(setMeasureMouseSizeSIGNAL(int)));
        MeasureSet panel;
        hub->useMeasureTool(0);
        QVERIFY(mouse.wait(3000));
        CCLObjectContainer* shapes = layer->measureSystem()->shapeContainer();
        QCOMPARE(shapes->toolKind(), int(KindP2P));
        QVERIFY(layer->cursor().shape() != Qt::ArrowCursor); // the measuring cursor, in its new size
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 100});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {300, 100});
        QCOMPARE(shapes->shapes().size(), 1);
    }

    void hostileValuesGiveDefaults_data() {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("-1") << QVariant(-1);
        QTest::newRow("40") << QVariant(40);
        QTest::newRow("-5") << QVariant(-5);
        QTest::newRow("text") << QVariant("abc");
    }
    void hostileValuesGiveDefaults() {
        QFETCH(QVariant, value);
        for (const char* key : {"PenSize", "FontSize", "ChiSize", "ItemColor", "FontColor", "ChiColor", "LineSave",
                                "AutoEdge", "Mode", "MouseSize"})
            store(key, value);
        MeasureSet panel;
        auto index = [&](const char* name) { return panel.findChild<QComboBox*>(name)->currentIndex(); };
        QCOMPARE(index("combo_itemColor"), 0);
        QCOMPARE(index("comboMode"), 0);
        QCOMPARE(index("comboMouse"), 0);
        QCOMPARE(index("comboLineSave"), 1);
        const int edge = panel.findChild<QSpinBox*>("spinBox_AutoEdge")->value();
        QVERIFY(edge >= 5 && edge <= 30);
        QVERIFY(stored("LineSave").toString() == value.toString() || stored("LineSave").toInt() == 1);
        hub->setLanguage(0); // refills the line-save box
        QCOMPARE(index("comboLineSave"), 1);
        QVERIFY(stored("LineSave").toInt() != -1);
    }

    // Each of the nine switches writes its own key (and no other), asks
    // for one repaint, and takes its own line out of the next label: the
    // External Angle box its "E" line, not the included angle's.
    void everyLabelSwitchWritesItsOwnKey_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("initially");
        QTest::addColumn<int>("tool");     // 11 circle, 4 arc, 0 line
        QTest::addColumn<QString>("line"); // the label line it switches (style 4)
        QTest::newRow("circle radius") << "checkBox_r"
                                       << "Circle/R" << true << 11 << "R1=";
        QTest::newRow("circle diameter") << "checkBox_d"
                                         << "Circle/D" << true << 11 << "D1=";
        QTest::newRow("arc angle") << "checkBoxArc"
                                   << "CLArc/A" << true << 4 << "A1=";
        QTest::newRow("included angle") << "checkBoxNAngle"
                                        << "CLArc/N" << true << 4 << "N1=";
        QTest::newRow("external angle") << "checkBoxEAngle"
                                        << "CLArc/E" << true << 4 << "E1=";
        QTest::newRow("arc radius") << "checkBoxArc_R"
                                    << "CLArc/R" << true << 4 << "R1=";
        QTest::newRow("arc diameter") << "checkBoxArc_D"
                                      << "CLArc/D" << true << 4 << "D1=";
        QTest::newRow("distance") << "checkBoxP2P"
                                  << "P2P/P" << true << 0 << "L1=";
        QTest::newRow("half distance") << "checkBoxP2PCenter"
                                       << "P2P/C" << false << 0 << "Half";
    }
    void everyLabelSwitchWritesItsOwnKey() {
        QFETCH(QString, box);
        QFETCH(QString, key);
        QFETCH(bool, initially);
        QFETCH(int, tool);
        QFETCH(QString, line);
        OverlayHost overlay;
        ItemLayer* layer = overlay.layer;
        hub->setMeasureMode(4);
        hub->useMeasureTool(tool);
        const QList<QPoint> clicks = tool == 0 ? QList<QPoint>{{100, 100}, {300, 100}}
                                               : QList<QPoint>{{300, 250}, {400, 150}, {500, 250}};
        for (QPoint p : clicks)
            QTest::mouseClick(layer, Qt::LeftButton, {}, p);
        CCLBaseObject* shape = layer->measureSystem()->shapeContainer()->shapes().value(0);
        QVERIFY(shape);
        auto label = [&] {
            if (auto* arc = dynamic_cast<CLArc*>(shape))
                return arc->BuildShowText();
            return shape->GetShowText(200.0, true);
        };
        QCOMPARE(label().contains(line), initially);

        MarkForm form;
        auto* check = form.findChild<QCheckBox*>(box);
        QVERIFY(check);
        QCOMPARE(check->isChecked(), initially);
        QSignalSpy repaint(hub, SIGNAL(OzaFreashWholeSysSIGNAL()));
        check->click();
        QCOMPARE(repaint.count(), 1);
        const QSettings ini("./INI/MeasureData.ini", QSettings::IniFormat);
        QCOMPARE(ini.allKeys(), QStringList{key});
        QCOMPARE(ini.value(key).toBool(), !initially);
        QCOMPARE(label().contains(line), !initially);
        hub->setMeasureMode(0);
    }

    void labelSwitchesChangeTheNextLabel() {
        OverlayHost overlay;
        ItemLayer* layer = overlay.layer;
        hub->useMeasureTool(0);
        QTest::mouseClick(layer, Qt::LeftButton, {}, {100, 100});
        QTest::mouseClick(layer, Qt::LeftButton, {}, {300, 100});
        CCLBaseObject* line = layer->measureSystem()->shapeContainer()->shapes().value(0);
        QVERIFY(line);
        MarkForm form;
        QVERIFY(!form.findChild<QCheckBox*>("checkBoxP2PCenter")->isChecked());
        QVERIFY(!QFile::exists("./INI/MeasureData.ini"));
        QSignalSpy repaint(hub, SIGNAL(OzaFreashWholeSysSIGNAL()));
        QVERIFY(!line->GetShowText(200.0f, true).contains("Half"));
        form.findChild<QCheckBox*>("checkBoxP2PCenter")->click();
        QCOMPARE(repaint.count(), 1);
        QVERIFY(line->GetShowText(200.0f, true).contains("Half"));
        QVERIFY(line->GetShowText(200.0f, true).contains("200.00"));
        form.findChild<QCheckBox*>("checkBoxP2P")->click();
        const QString half = line->GetShowText(200.0f, true);
        QVERIFY2(half.contains("100.00") && !half.contains("200.00"), qPrintable(half));
        QCOMPARE(QSettings("./INI/MeasureData.ini", QSettings::IniFormat).value("P2P/P").toString(), QString("false"));
        MarkForm again; // shows the file
        QVERIFY(again.findChild<QCheckBox*>("checkBoxP2PCenter")->isChecked());
        QVERIFY(!again.findChild<QCheckBox*>("checkBoxP2P")->isChecked());
        QCOMPARE(again.findChild<QCheckBox*>("checkBoxEAngle")->text(), QString("External Angle"));
    }
};

QTEST_MAIN(MeasureSettingsTest)
#include "tst_measure_settings.moc"
