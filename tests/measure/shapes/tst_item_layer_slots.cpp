// The overlay's slots and settings: the tool map and the delete-all tool,
// INI/MeasureSet.ini and every setting reaching the engine through the hub,
// the resets on resolution and camera-mode changes, and snapshots with the
// measurements drawn in (screenshot at view size, others at full size).

#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/MouseInput.h"
#include "tests/measure/engine/TestShapes.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

bool isRed(const QColor& c) {
    return c.red() > 180 && c.green() < 90 && c.blue() < 90;
}

// Red pixels in a square of side 2r + 1 round (x, y).
int redAround(const QImage& image, int x, int y, int r = 3) {
    int n = 0;
    for (int j = y - r; j <= y + r; ++j)
        for (int i = x - r; i <= x + r; ++i)
            n += image.valid(i, j) && isRed(image.pixelColor(i, j));
    return n;
}

} // namespace

class ItemLayerSlotsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> host;
    ItemLayer* layer = nullptr;
    // Made inside the first test folder: the hub creates its export folders.
    MessagePassing* hub = nullptr;

    OzaMeasureSys* sys() { return layer->measureSystem(); }
    CCLObjectContainer* shapes() { return sys()->shapeContainer(); }

    void makeLayer(const QRect& video = QRect(0, 0, 1000, 500), const QSize& frame = QSize(2000, 1000)) {
        host = std::make_unique<QWidget>();
        host->resize(video.size());
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        layer->syncToVideoRect(video, frame);
    }
    void setLineSave(int value) {
        QSettings s(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat);
        s.setValue("MeasureSet/LineSave", value);
    }
    int storedTotal() {
        return QSettings(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat).value("total", -1).toInt();
    }
    void drawLine(QPoint a, QPoint b) {
        hub->useMeasureTool(0);
        clickAt(layer, a);
        clickAt(layer, b);
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        labelStyle = 0;
        hub->setLanguage(0);
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        hub->setLanguage(0);
        host.reset();
        layer = nullptr;
        ShapeRegistry::clear();
        env.reset();
    }

    // ------------------------------------------------------------- tools

    void toolMapCoversThePalette() {
        const QMap<int, int> kinds = {
            {0, KindP2P},      {1, KindP2L},      {2, KindL2L},       {3, KindAngle},    {4, KindArc},
            {5, KindParallel}, {6, KindParallelH}, {7, KindParallelV}, {8, KindPolyLine}, {9, KindRect},
            {10, KindPolygon}, {11, KindCircle},  {12, KindR2R},      {13, KindC2C},     {14, KindP2C},
            {15, KindL2C},     {16, KindText},    {17, KindMulP2L},   {22, KindSign1},   {23, KindSign2},
            {24, KindSign3},   {25, KindLasso},   {28, KindCircleM}};
        for (int tool = -2; tool <= 40; ++tool)
            QCOMPARE(ItemLayer::KindOfTool(tool), kinds.value(tool, -1));

        // With every kind registered each tool arms its kind, told the language.
        makeLayer();
        registerTestShapes();
        hub->setLanguage(1);
        for (auto it = kinds.begin(); it != kinds.end(); ++it) {
            hub->useMeasureTool(it.key());
            QCOMPARE(shapes()->toolKind(), it.value());
            QVERIFY(shapes()->creating());
            QCOMPARE(shapes()->creating()->kind, it.value());
            QCOMPARE(shapes()->creating()->language, 1);
        }
        // A number without a kind changes no tool but brings the measuring mode back.
        sys()->SetMode(OzaMeasureSys::ModeIdle);
        hub->useMeasureTool(19);
        QCOMPARE(shapes()->toolKind(), int(KindCircleM));
        QCOMPARE(sys()->mode(), int(OzaMeasureSys::ModeShapes));
    }

    // A lasso is the path of one drag: moves after its release, the button
    // up, add nothing to the next one.
    void aLassoEndsAtItsRelease() {
        makeLayer();
        RegisterMeasureShapes();
        hub->useMeasureTool(25);
        sendMouse(layer, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
        for (QPoint p : {QPoint(200, 100), QPoint(200, 200), QPoint(100, 200)})
            sendMouse(layer, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
        sendMouse(layer, QEvent::MouseButtonRelease, {100, 150}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(shapes()->shapes().size(), 1);
        for (QPoint p : {QPoint(300, 300), QPoint(400, 300), QPoint(400, 400), QPoint(300, 400)})
            sendMouse(layer, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        QVERIFY(!shapes()->creating() || shapes()->creating()->points.isEmpty());
    }

    void deleteAllAsksThenClearsStoreTableAndCounters() {
        makeLayer();
        setLineSave(0);
        layer->readECLP2PData();
        drawLine({100, 100}, {300, 100});
        drawLine({100, 200}, {300, 200});
        QCOMPARE(storedTotal(), 2);
        QString asked;
        bool answer = false;
        layer->setConfirmHook([&](const QString& title, const QString& text, const QString& yes, const QString& no) {
            asked = title + "|" + text + "|" + yes + "|" + no;
            return answer;
        });
        hub->useMeasureTool(18);
        QCOMPARE(asked, QString("删除图元|是否删除所有图元信息？|删除|取消"));
        QCOMPARE(shapes()->shapes().size(), 2);
        QCOMPARE(shapes()->toolKind(), int(KindP2P));

        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        answer = true;
        hub->setLanguage(1);
        hub->useMeasureTool(18);
        QCOMPARE(asked, QString("Del Graphics|Del All Graphics Info？|Del|Cancel"));
        QVERIFY(shapes()->shapes().isEmpty());
        QCOMPARE(storedTotal(), 0);
        QCOMPARE(table.count(), 1);
        QVERIFY(table.last()[2].value<QList<QString>>().isEmpty());
        QCOMPARE(shapes()->toolKind(), 0);
        QCOMPARE(sys()->mode(), int(OzaMeasureSys::ModeShapes));
        QCOMPARE(layer->cursor().shape(), Qt::ArrowCursor);
        drawLine({100, 100}, {300, 100});
        QCOMPARE(shapes()->shapes()[0]->labelNumber, 1);
    }

    // ---------------------------------------------------------- settings

    void settingsFileIsCreatedOnceAndApplied() {
        makeLayer();
        const QString file = AppPaths::appFile("INI/MeasureSet.ini");
        {
            QSettings s(file, QSettings::IniFormat);
            QCOMPARE(s.childGroups(), QStringList({"MeasureSet"}));
            QCOMPARE(s.allKeys().size(), 4);
            QVERIFY(!s.contains("MeasureSet/LineSave")); // lines are not saved by default
            s.setValue("MeasureSet/PenSize", 4);
            s.setValue("MeasureSet/FontSize", 30);
            s.setValue("MeasureSet/ItemColor", 2);
            s.setValue("MeasureSet/FontColor", 1);
        }
        makeLayer(); // an existing file is read, not rewritten
        QSettings s(file, QSettings::IniFormat);
        QCOMPARE(s.value("MeasureSet/PenSize").toInt(), 4);
        QCOMPARE(sys()->penWidth(), 3); // the widest the settings panel offers
        QCOMPARE(sys()->shapeFontSize(), 30);
        QCOMPARE(sys()->labelFontSize(), 30);
        QCOMPARE(sys()->plotting()->fontSize(), 30);
        QCOMPARE(sys()->crossLines()->labelFontSize(), 30);
        QCOMPARE(sys()->shapeColour(), QColor(Qt::green));
        QCOMPARE(curItemColor, QColor(Qt::green));
        QCOMPARE(plottingPenColour, QColor(Qt::green)); // new freehand strokes
        QCOMPARE(sys()->labelColour(), QColor(Qt::blue));
        QCOMPARE(plottingPenWidth, 3);
        drawLine({100, 100}, {300, 100});
        QCOMPARE(QFileInfo::exists(AppPaths::appFile("INI/ECLP2P.ini")), false);
    }

    void settingSlotsReachTheEngine() {
        makeLayer();
        hub->setMeasurePenSize(5);
        QCOMPARE(sys()->penWidth(), 5);
        hub->setMeasureFontSize(40);
        QCOMPARE(sys()->shapeFontSize(), 40);
        QCOMPARE(sys()->labelFontSize(), 40);
        QCOMPARE(sys()->plotting()->fontSize(), 40);
        QCOMPARE(sys()->crossLines()->labelFontSize(), 40);
        hub->setMeasureItemColor(4);
        QCOMPARE(sys()->shapeColour(), QColor(Qt::cyan));
        QCOMPARE(curItemColor, QColor(Qt::cyan));
        hub->setMeasureItemColor(99); // outside the list: nothing changes
        QCOMPARE(sys()->shapeColour(), QColor(Qt::cyan));
        hub->setMeasureFontColor(5);
        QCOMPARE(sys()->labelColour(), QColor(Qt::magenta));
        hub->setMeasureChiColor(3);
        QCOMPARE(sys()->plotting()->barColour(), QColor(Qt::yellow));
        QCOMPARE(sys()->plotting()->markerColour(), QColor(Qt::yellow));
        hub->setMeasureChiSize(6);
        QCOMPARE(sys()->plotting()->barPenWidth(), 6);
        hub->setPlottingScalVisible(false);
        QVERIFY(!sys()->plotting()->barVisible());
        hub->setMeasureScaleLength(250);
        QCOMPARE(sys()->plotting()->BarValue(), 250);
        hub->setIsCanMoveItem(false);
        QVERIFY(!layer->canMoveItems());
        hub->setAutoEdgeState(true);
        QVERIFY(layer->isAutoEdge());
        hub->setMeasureMode(3);
        QCOMPARE(labelStyle, 3);
        hub->scaleBitsChanged(4);
        QCOMPARE(sys()->numbits(), 4);
        QCOMPARE(layer->unitText(), QString("mm"));
        hub->scaleUnitChanged("um");
        QCOMPARE(layer->unitText(), QString("um"));
        hub->scaleUnitChanged("pix"); // the values are pixels now: so is the report's unit
        QCOMPARE(layer->unitText(), QString("pix"));
        hub->scaleUnitChanged("furlong");
        QCOMPARE(layer->unitText(), QString("pix"));
    }

    // Hand-edited sizes outside what the settings panel offers are read as
    // the nearest it offers: no scale bar 99 px wide.
    void storedSizesAreClampedToThePanelsRanges_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("pen");
        QTest::addColumn<int>("font");
        QTest::addColumn<int>("bar");
        QTest::newRow("99") << QVariant(99) << 3 << 99 << 3;
        QTest::newRow("500") << QVariant(500) << 3 << 128 << 3;
        QTest::newRow("0") << QVariant(0) << 1 << 14 << 1;
        QTest::newRow("-7") << QVariant(-7) << 1 << 14 << 1;
        QTest::newRow("text") << QVariant("wide") << 1 << 22 << 1;
        QTest::newRow("2") << QVariant(2) << 2 << 14 << 2;
    }
    void storedSizesAreClampedToThePanelsRanges() {
        QFETCH(QVariant, stored);
        makeLayer();
        {
            QSettings s(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat);
            for (const char* key : {"PenSize", "FontSize", "ChiSize"})
                s.setValue(QString("MeasureSet/") + key, stored);
        }
        makeLayer();
        layer->GetScaleInfo();
        QTEST(sys()->penWidth(), "pen");
        QTEST(sys()->shapeFontSize(), "font");
        QTEST(sys()->plotting()->barPenWidth(), "bar");
    }

    void scaleInfoAppliesTheStoredBarSettings() {
        makeLayer();
        {
            QSettings s(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat);
            s.setValue("MeasureSet/ChiSize", 3);
            s.setValue("MeasureSet/ChiColor", 1);
            s.setValue("MeasureSet/scaleShow", false);
            s.setValue("MeasureSet/Mode", 2);
        }
        QSignalSpy names(hub, SIGNAL(sendScaleInfoSIGNAL(QList<QString>, QString)));
        QSignalSpy mode(hub, SIGNAL(setMeasureModeSIGNAL(int)));
        QSignalSpy unit(hub, SIGNAL(setScaleUnitSIGNAL(QString, int)));
        layer->GetScaleInfo();
        QCOMPARE(names.count(), 1);
        QCOMPARE(names[0][0].value<QList<QString>>(), QList<QString>({"default"}));
        QCOMPARE(names[0][1].toString(), QString("default"));
        QCOMPARE(unit.count(), 1);
        QCOMPARE(sys()->plotting()->barPenWidth(), 3);
        QCOMPARE(sys()->plotting()->barColour(), QColor(Qt::blue));
        QVERIFY(!sys()->plotting()->barVisible());
        QCOMPARE(mode.count(), 1);
        QCOMPARE(mode[0][0].toInt(), 2);
        QCOMPARE(labelStyle, 2);
    }

    void resolutionAndCameraModeChangesDeleteEveryShape() {
        makeLayer();
        setLineSave(0);
        layer->readECLP2PData();
        drawLine({100, 100}, {300, 100});
        drawLine({100, 200}, {300, 200});
        hub->changeResolution();
        QVERIFY(shapes()->shapes().isEmpty());
        QCOMPARE(storedTotal(), 0);
        QCOMPARE(shapes()->toolKind(), 0);
        drawLine({100, 100}, {300, 100});
        QCOMPARE(shapes()->shapes()[0]->labelNumber, 1);

        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->setIsCameraMode(true); // no change: nothing happens
        QCOMPARE(shapes()->shapes().size(), 1);
        hub->setIsCameraMode(false);
        QVERIFY(shapes()->shapes().isEmpty());
        QVERIFY(!layer->isCameraMode());
        QCOMPARE(table.count(), 1);
        QCOMPARE(shapes()->toolKind(), 0);
        hub->setIsCameraMode(true);
        QVERIFY(layer->isCameraMode());
    }

    // Whatever deletes the shapes (a new resolution: stitching, a recording,
    // Fast Mode; the camera mode) leaves the data table empty: the report
    // made from it then lists no shape that is gone.
    void deletedShapesLeaveTheTable_data() {
        QTest::addColumn<bool>("resolution");
        QTest::newRow("a new resolution") << true;
        QTest::newRow("the camera mode") << false;
    }
    void deletedShapesLeaveTheTable() {
        QFETCH(bool, resolution);
        makeLayer();
        hub->setIsCameraMode(true);
        drawLine({100, 100}, {300, 100});
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        if (resolution)
            hub->changeResolution();
        else
            hub->setIsCameraMode(false);
        QVERIFY(shapes()->shapes().isEmpty());
        QVERIFY(!table.isEmpty());
        QCOMPARE(table.last().at(2).value<QList<QString>>(), QList<QString>());
        QCOMPARE(table.last().at(3).value<QList<QString>>(), QList<QString>());
    }

    void lineSaveOneNeitherRestoresNorTouchesTheStore() {
        QDir().mkpath(AppPaths::appFile("INI"));
        {
            QSettings store(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat);
            store.setValue("total", 1);
            store.setValue("ECLP2P_0",
                           QStringList({"0", "0", "1", "10", "10", "90", "10", "90", "10", "0", "0", "1"}));
        }
        makeLayer();
        setLineSave(1);
        layer->readECLP2PData();
        QVERIFY(shapes()->shapes().isEmpty());
        drawLine({100, 100}, {300, 100});
        hub->changeResolution();
        QCOMPARE(storedTotal(), 1);
        // Switched on, the next save writes the lines of the screen.
        setLineSave(0);
        drawLine({100, 100}, {300, 100});
        QCOMPARE(storedTotal(), 1);
        QCOMPARE(QSettings(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat)
                     .value("ECLP2P_0")
                     .toStringList()
                     .mid(3, 2),
                 QStringList({"200", "800"}));
    }

    // --------------------------------------------------------- snapshots

    void screenshotAtViewSizeOtherModesAtFullSize() {
        makeLayer(QRect(0, 0, 1280, 720), QSize(3840, 2160));
        drawLine({100, 100}, {400, 300});
        QSignalSpy saved(hub, SIGNAL(saveImageByFileDialogSIGNAL(QImage, QString, bool, bool)));

        auto* frame = new QImage(3840, 2160, QImage::Format_RGB32);
        frame->fill(Qt::black);
        emit hub->saveItemSIGNAL(frame, 8, env->file("shot.png"));
        QCOMPARE(saved.count(), 1);
        const QImage shot = saved[0][0].value<QImage>();
        QCOMPARE(shot.size(), QSize(1280, 720));
        QCOMPARE(saved[0][1].toString(), env->file("shot.png"));
        QVERIFY(redAround(shot, 250, 200) > 0); // the middle of the line as on screen
        QCOMPARE(redAround(shot, 750, 600), 0);

        frame = new QImage(3840, 2160, QImage::Format_RGB32);
        frame->fill(Qt::black);
        emit hub->saveItemSIGNAL(frame, 5, env->file("full.png"));
        QCOMPARE(saved.count(), 2);
        const QImage full = saved[1][0].value<QImage>();
        QCOMPARE(full.size(), QSize(3840, 2160));
        QVERIFY(redAround(full, 750, 600) > 0); // the same line at three times the size
        QVERIFY(redAround(full, 300, 300) > 0);
        QCOMPARE(redAround(full, 250, 200), 0);
        // The overlay is back at the display size.
        QCOMPARE(viewWidth, 1280.0f);
        QCOMPARE(viewHeight, 720.0f);
        QCOMPARE(imageWidth, 3840.0f);
        QVERIFY(redAround(layer->grab().toImage(), 250, 200) > 0);

        // A grey picture becomes a colour one, so the measurements keep their colour.
        auto* grey = new QImage(3840, 2160, QImage::Format_Grayscale8);
        grey->fill(0);
        emit hub->saveItemSIGNAL(grey, 5, env->file("grey.png"));
        const QImage coloured = saved[2][0].value<QImage>();
        QVERIFY(!coloured.isGrayscale());
        QVERIFY(redAround(coloured, 750, 600) > 0);
    }
};

QTEST_MAIN(ItemLayerSlotsTest)
#include "tst_item_layer_slots.moc"
