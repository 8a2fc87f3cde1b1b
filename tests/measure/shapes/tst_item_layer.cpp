// The overlay widget driven offscreen with mouse sequences: creating a line,
// refreshing the table, dragging, deleting with a confirmation, panning,
// auto edge, focus windows, table edits and hub settings.

#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/MouseInput.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/FocusWindowCamera.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "platform/AppPaths.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Moves every point 3 px right and 2 px down, like an edge found nearby.
class EdgeCamera : public BaseCamera {
public:
    void snapToEdge(int& x, int& y) override {
        x += 3;
        y += 2;
        ++snaps;
    }
    void setEdgeSearchSize(int w, int h) override { searchSize = QSize(w, h); }
    int snaps = 0;
    QSize searchSize;
};

class FocusCamera : public BaseCamera, public FocusWindowCamera {
public:
    QString className() const override { return "UVCCamera_Ambrel"; }
    int focusMode() const override { return 1; }
    bool isFocusWindowShown() const override { return true; }
    bool isSmallFocusWindow() const override { return false; }
    QRect focusWindow() const override { return window; }
    void setFocusWindow(const QRect& w) override { window = w; }
    void readFocusWindow() override { ++reads; }
    QRect window;
    int reads = 0;
};

// The live picture under the layer: paints every pixel of its own.
class SolidPicture : public QWidget {
public:
    explicit SolidPicture(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    static QRgb colour() { return qRgb(30, 60, 90); }

protected:
    void paintEvent(QPaintEvent* event) override { QPainter(this).fillRect(event->rect(), QColor(colour())); }
};

// Pixels of box that are not the picture's own colour.
int inkedPixels(const QImage& img, const QRect& box) {
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            n += (img.pixel(x, y) & 0xFFFFFF) != (SolidPicture::colour() & 0xFFFFFF);
    return n;
}

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
          QPoint global = QPoint(-1, -1)) {
    sendMouse(w, type, pos, button, buttons, global);
}
void click(QWidget* w, QPoint pos, Qt::MouseButton b = Qt::LeftButton) {
    clickAt(w, pos, b);
}
void doubleClick(QWidget* w, QPoint pos, Qt::MouseButton b) {
    doubleClickAt(w, pos, b);
}

} // namespace

class ItemLayerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> host;
    ItemLayer* layer = nullptr;
    // Made inside the first test folder: the hub creates its export folders.
    MessagePassing* hub = nullptr;

    CCLObjectContainer* shapes() { return layer->measureSystem()->shapeContainer(); }

    // A line from view (100, 100) to (400, 300).
    void drawLine() {
        hub->useMeasureTool(0);
        click(layer, {100, 100});
        send(layer, QEvent::MouseMove, {300, 200}, Qt::NoButton, Qt::NoButton);
        click(layer, {400, 300});
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        labelStyle = 0;
        host = std::make_unique<QWidget>();
        host->resize(800, 400);
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 1000, 500), QSize(2000, 1000));
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        host.reset();
        layer = nullptr;
        ShapeRegistry::clear();
        env.reset();
    }

    // The live picture below repaints the layer at every frame; what the
    // layer shows follows each change of its shapes and zoom all the same, and
    // its faint background does not tint the picture.
    void overlayFollowsShapeChangesOverAnOpaquePicture() {
        auto* picture = new SolidPicture(host.get());
        picture->setGeometry(host->rect());
        picture->lower();
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        const QRect middle(230, 180, 40, 40); // around the line's middle (250, 200)
        const QRect threeQuarters(305, 230, 40, 40); // around (325, 250)
        QImage shot = host->grab().toImage();
        QCOMPARE(inkedPixels(shot, middle), 0);
        QCOMPARE(shot.pixel(250, 200) & 0xFFFFFF, SolidPicture::colour() & 0xFFFFFF);
        drawLine();
        QCOMPARE(shapes()->shapes().size(), 1);
        shot = host->grab().toImage();
        QVERIFY(inkedPixels(shot, middle) > 10);
        QVERIFY(inkedPixels(shot, threeQuarters) > 10);
        // New frames of the picture: the layer shows the same.
        for (int frame = 0; frame < 3; ++frame) {
            picture->update();
            QCOMPARE(host->grab().toImage(), shot);
        }
        // Zoomed out to half: the line runs from (50, 50) to (200, 150).
        layer->syncToVideoRect(QRect(0, 0, 500, 250), QSize(2000, 1000));
        shot = host->grab().toImage();
        QVERIFY(inkedPixels(shot, QRect(105, 80, 40, 40)) > 10);
        QCOMPARE(inkedPixels(shot, threeQuarters), 0);
        // Back, and the line deleted.
        layer->syncToVideoRect(QRect(0, 0, 1000, 500), QSize(2000, 1000));
        QVERIFY(inkedPixels(host->grab().toImage(), threeQuarters) > 10);
        layer->measureSystem()->RemoveObject(shapes()->shapes().first());
        shot = host->grab().toImage();
        QCOMPARE(inkedPixels(shot, middle), 0);
        QCOMPARE(inkedPixels(shot, threeQuarters), 0);
    }

    void settingsFileIsCreatedWithDefaults() {
        const QString file = AppPaths::appFile("INI/MeasureSet.ini");
        QVERIFY(QFileInfo::exists(file));
        QSettings s(file, QSettings::IniFormat);
        QCOMPARE(s.value("MeasureSet/PenSize").toInt(), 1);
        QCOMPARE(s.value("MeasureSet/FontSize").toInt(), 22);
        QCOMPARE(s.value("MeasureSet/ItemColor").toInt(), 0);
        QCOMPARE(s.value("MeasureSet/FontColor").toInt(), 0);
        QVERIFY(layer->measureSystem()->isActive());
        QCOMPARE(measureView, static_cast<MeasureView*>(layer));
    }

    void twoClicksMakeALineThatRefreshesTheTableOnce() {
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->useMeasureTool(0);
        QCOMPARE(layer->measureSystem()->mode(), int(OzaMeasureSys::ModeShapes));
        click(layer, {100, 100});
        QCOMPARE(table.count(), 0);
        QCOMPARE(shapes()->creating()->points.size(), 1);
        send(layer, QEvent::MouseMove, {300, 200}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(shapes()->creating()->curPoint, QPointF(600, 600));
        click(layer, {400, 300});
        QCOMPARE(table.count(), 1);
        QCOMPARE(shapes()->shapes().size(), 1);
        CCLBaseObject* line = shapes()->shapes()[0];
        QCOMPARE(line->points[0], QPointF(200, 800));
        QCOMPARE(line->points[1], QPointF(800, 400));
        const QList<QVariant> args = table.takeFirst();
        QCOMPARE(args[0].toInt(), -1);
        QCOMPARE(args[1].toInt(), -1);
        QCOMPARE(args[2].value<QList<QString>>(), QList<QString>({"直线1"}));
        const QList<QString> values = args[3].value<QList<QString>>();
        QCOMPARE(values.size(), 9);
        QCOMPARE(values[0], QString("721.11")); // sqrt(600^2 + 400^2) px at 1 mm per px
    }

    void rightDragMovesTheEnd() {
        drawLine();
        click(layer, {700, 450}, Qt::RightButton); // on empty ground: drops the tool
        QCOMPARE(shapes()->toolKind(), 0);
        send(layer, QEvent::MouseButtonPress, {400, 300}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(layer->cursor().shape(), Qt::PointingHandCursor);
        send(layer, QEvent::MouseMove, {430, 310}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseMove, {450, 320}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseButtonRelease, {450, 320}, Qt::RightButton, Qt::NoButton);
        CCLBaseObject* line = shapes()->shapes()[0];
        QCOMPARE(line->points[1], QPointF(900, 360));
        QCOMPARE(line->points[0], QPointF(200, 800));
        QCOMPARE(line->results[0], GetDistanceForTest(QPointF(200, 800), QPointF(900, 360)));
        QVERIFY(!shapes()->selected());
        QCOMPARE(layer->cursor().shape(), Qt::ArrowCursor);
    }

    void rightDoubleClickDeletesAfterConfirmation() {
        drawLine();
        click(layer, {700, 450}, Qt::RightButton);
        int asked = 0;
        bool answer = false;
        QString title;
        layer->setConfirmHook([&](const QString& t, const QString&, const QString&, const QString&) {
            ++asked;
            title = t;
            return answer;
        });
        doubleClick(layer, {250, 200}, Qt::RightButton); // on the body
        QCOMPARE(asked, 1);
        QCOMPARE(title, QString("删除图元"));
        QCOMPARE(shapes()->shapes().size(), 1);
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        answer = true;
        hub->setLanguage(1);
        doubleClick(layer, {250, 200}, Qt::RightButton);
        hub->setLanguage(0);
        QCOMPARE(title, QString("Del Graphics"));
        QVERIFY(shapes()->shapes().isEmpty());
        QVERIFY(!table.isEmpty());
        QVERIFY(table.last()[2].value<QList<QString>>().isEmpty());
        // On empty ground a right double click asks nothing.
        doubleClick(layer, {700, 450}, Qt::RightButton);
        QCOMPARE(asked, 2);
    }

    void zeroPanSendsNoScrollAndARealPanMovesTheVideo() {
        QSignalSpy scroll(hub, SIGNAL(renewScrollBarSignal()));
        QPoint videoAt(-1, -1);
        layer->setVideoMoveHook([&](const QPoint& p) { videoAt = p; });
        click(layer, {300, 200});
        QCOMPARE(scroll.count(), 0);
        QCOMPARE(layer->pos(), QPoint(0, 0));
        // A drag of (-50, -30) in global pixels moves the overlay and the video.
        send(layer, QEvent::MouseButtonPress, {300, 200}, Qt::LeftButton, Qt::LeftButton, {300, 200});
        QCOMPARE(layer->cursor().shape(), Qt::ClosedHandCursor);
        send(layer, QEvent::MouseMove, {250, 170}, Qt::NoButton, Qt::LeftButton, {250, 170});
        QCOMPARE(layer->pos(), QPoint(-50, -30));
        QCOMPARE(videoAt, QPoint(-50, -30));
        QCOMPARE(scroll.count(), 1);
        // Clamped to the room the host leaves (800x400 host, 1000x500 overlay).
        send(layer, QEvent::MouseMove, {0, 0}, Qt::NoButton, Qt::LeftButton, {-500, -500});
        QCOMPARE(layer->pos(), QPoint(-200, -100));
        send(layer, QEvent::MouseButtonRelease, {0, 0}, Qt::LeftButton, Qt::NoButton, {-500, -500});
        QCOMPARE(layer->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(shapes()->shapes().isEmpty());
    }

    void autoEdgeMovesPointsThroughTheCamera() {
        EdgeCamera camera;
        hub->setCurCamera(&camera);
        hub->setMeasureAutoEdge(7);
        QCOMPARE(camera.searchSize, QSize(15, 15));
        hub->setAutoEdgeState(true);
        drawLine();
        QVERIFY(camera.snaps >= 2);
        CCLBaseObject* line = shapes()->shapes()[0];
        QCOMPARE(line->points[0], QPointF(206, 796)); // view (103, 102)
        QCOMPARE(line->points[1], QPointF(806, 396)); // view (403, 302)
        hub->setCurCamera(nullptr);
    }

    void focusWindowAndTheClosedCamera() {
        layer->syncToVideoRect(QRect(0, 0, 960, 540), QSize(1920, 1080));
        auto* camera = new FocusCamera;
        hub->setCurCamera(camera);
        hub->paintAF();
        QCOMPARE(layer->focusCamera(), static_cast<BaseCamera*>(camera));
        QCOMPARE(camera->reads, 1);
        click(layer, {100, 100}); // a pan of zero: sets the focus window
        QCOMPARE(camera->window, QRect(136, 136, 128, 128));
        const QImage shot = layer->grab().toImage();
        QCOMPARE(shot.pixelColor(68, 100), QColor(126, 190, 31)); // left edge of the drawn window
        // The camera goes away: no stale pointer stays behind.
        hub->setCurCamera(nullptr);
        QVERIFY(!layer->focusCamera());
        hub->setCurCamera(camera);
        hub->paintAF();
        QVERIFY(layer->focusCamera());
        delete camera;
        hub->setCurCamera(nullptr);
        QVERIFY(!layer->focusCamera());
        layer->grab(); // paints without touching the deleted camera
    }

    void tableEditThroughTheHub() {
        drawLine();
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->setMeasureItemData(0, 1, 360.56, true); // column 1 of the table = "Lenght"
        CCLBaseObject* line = shapes()->shapes()[0];
        QVERIFY(qAbs(line->points[1].x() - 500.0) < 0.01);
        QVERIFY(qAbs(line->points[1].y() - 600.0) < 0.01);
        QCOMPARE(table.count(), 1);
        QCOMPARE(table[0][0].toInt(), 0);
        QCOMPARE(table[0][1].toInt(), 0);
        QCOMPARE(table[0][3].value<QList<QString>>()[0], QString("360.56"));
    }

    void deleteAllToolAsksFirst() {
        drawLine();
        bool answer = false;
        layer->setConfirmHook([&](const QString&, const QString& text, const QString&, const QString&) {
            return text == QString("是否删除所有图元信息？") && answer;
        });
        hub->useMeasureTool(18);
        QCOMPARE(shapes()->shapes().size(), 1);
        QCOMPARE(shapes()->toolKind(), int(KindP2P));
        answer = true;
        hub->useMeasureTool(18);
        QVERIFY(shapes()->shapes().isEmpty());
        QCOMPARE(shapes()->toolKind(), 0);
        drawLine();
        QCOMPARE(shapes()->shapes()[0]->labelNumber, 1);
    }

    void labelStyleFromTheHubIsClampedAndPainted() {
        drawLine();
        hub->setMeasureMode(9);
        QCOMPARE(labelStyle, 4);
        hub->setMeasureMode(2);
        QCOMPARE(labelStyle, 2);
        const QImage shot = layer->grab().toImage();
        QVERIFY(shot.pixelColor(250, 200).red() > 200); // on the line, view (250, 200)
        QVERIFY(shot.pixelColor(250, 200).green() < 60);
        // The label sits at the anchor, view (400, 300): some red text pixels there.
        int red = 0;
        for (int y = 300; y < 340; ++y)
            for (int x = 400; x < 560; ++x)
                red += shot.pixelColor(x, y).red() > 200 && shot.pixelColor(x, y).green() < 80;
        QVERIFY(red > 20);
    }

    void rightReleaseCancelsTheToolAndAnUnfinishedLine() {
        hub->useMeasureTool(0);
        click(layer, {100, 100});
        QVERIFY(layer->measureSystem()->IsCreating());
        click(layer, {200, 100}, Qt::RightButton); // ends the creation: a line of one point is dropped
        QVERIFY(!layer->measureSystem()->IsCreating());
        QCOMPARE(shapes()->toolKind(), int(KindP2P));
        click(layer, {200, 100}, Qt::RightButton); // nothing under creation: drops the tool
        QCOMPARE(shapes()->toolKind(), 0);
        QVERIFY(shapes()->shapes().isEmpty());
    }

    void calibrateByALineThenMeasureInMillimetres() {
        QSignalSpy unit(hub, SIGNAL(setScaleUnitSIGNAL(QString, int)));
        QSignalSpy names(hub, SIGNAL(sendScaleInfoSIGNAL(QList<QString>, QString)));
        QList<ItemLayer::ScaleEntry> answers;
        answers << ItemLayer::ScaleEntry{true, "", "mm", 2, 5.0} // empty name: asked again
                << ItemLayer::ScaleEntry{true, "lens5", "mm", 3, 5.0};
        int asked = 0;
        layer->setScaleDialogHook([&] { return answers.value(asked++); });
        hub->startAddScale();
        QCOMPARE(layer->measureSystem()->mode(), int(OzaMeasureSys::ModeCalibration));
        click(layer, {100, 100});
        send(layer, QEvent::MouseMove, {200, 100}, Qt::NoButton, Qt::NoButton);
        click(layer, {350, 100}); // 250 view px = 500 image px called 5 mm
        QCOMPARE(asked, 2);
        QCOMPARE(layer->measureSystem()->mode(), int(OzaMeasureSys::ModeShapes));
        QCOMPARE(layer->measureSystem()->scaleContainer()->currentName(), QString("lens5"));
        QVERIFY(qAbs(layer->measureSystem()->disrate() - 0.01f) < 1e-7f);
        QCOMPARE(unit.last()[0].toString(), QString("mm"));
        QCOMPARE(unit.last()[1].toInt(), 3);
        QCOMPARE(names.last()[0].value<QList<QString>>(), QList<QString>({"default", "lens5"}));
        QCOMPARE(layer->unitText(), QString("mm"));

        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        hub->useMeasureTool(0);
        click(layer, {100, 200});
        click(layer, {200, 200}); // 200 image px at 0.01 mm per px
        QCOMPARE(table.last()[3].value<QList<QString>>()[0], QString("2.000"));
        hub->scaleUnitChanged("um");
        QCOMPARE(table.last()[3].value<QList<QString>>()[0], QString("2000.000"));
        // The scale survives a restart of the overlay.
        host.reset();
        host = std::make_unique<QWidget>();
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        QCOMPARE(layer->measureSystem()->scaleContainer()->currentName(), QString("lens5"));
        QVERIFY(qAbs(layer->measureSystem()->disrate() - 0.01f) < 1e-7f);
    }

    void cancelledCalibrationLeavesNoScale() {
        layer->setScaleDialogHook([] { return ItemLayer::ScaleEntry{}; });
        hub->startAddCircleScale();
        click(layer, {100, 100});
        click(layer, {150, 150});
        click(layer, {200, 100});
        QCOMPARE(layer->measureSystem()->ScaleNames(), QStringList({"default"}));
        QVERIFY(!layer->measureSystem()->scaleContainer()->IsCalibrating());
        // A right click cancels a calibration half drawn.
        hub->startParallelScale();
        click(layer, {100, 100});
        QVERIFY(layer->measureSystem()->IsCreating());
        click(layer, {100, 100}, Qt::RightButton);
        QCOMPARE(layer->measureSystem()->mode(), int(OzaMeasureSys::ModeShapes));
        QVERIFY(!layer->measureSystem()->scaleContainer()->IsCalibrating());
    }

    void crossLinesAndReticleThroughTheHub() {
        QSignalSpy counts(hub, SIGNAL(sendCrossLineInfoSIGNAL(int, int, QColor)));
        QSignalSpy data(hub, SIGNAL(setCrossLineDataSIGNAL(int, bool, float, float, QColor, bool, bool)));
        hub->setLineColor(2);
        hub->setLineNum(2, true);
        hub->setLineNum(1, false);
        hub->getCrossLineNum();
        QCOMPARE(counts.last()[0].toInt(), 2);
        QCOMPARE(counts.last()[1].toInt(), 1);
        QCOMPARE(counts.last()[2].value<QColor>(), QColor(Qt::green));
        // Right-drag the first horizontal line (image y 507 = view y 246.5).
        send(layer, QEvent::MouseButtonPress, {300, 246}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(data.count(), 1);
        QCOMPARE(data.last()[0].toInt(), 0);
        QVERIFY(data.last()[1].toBool());
        send(layer, QEvent::MouseMove, {300, 236}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseButtonRelease, {300, 236}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(data.last()[2].toFloat(), 527.0f);
        hub->delCrossLine(0, true);
        QCOMPARE(counts.last()[0].toInt(), 1);
        hub->delCrossLine(-1, true);
        QCOMPARE(counts.last()[0].toInt(), 0);
        QCOMPARE(counts.last()[1].toInt(), 0);

        hub->setTenVisible(true);
        hub->setTenCenter(true);
        CTenCrossItem* reticle = layer->measureSystem()->crossLines()->FirstReticle();
        QVERIFY(reticle);
        QCOMPARE(reticle->position, QPointF(1000, 500));
        // Centred: a drag does not move it.
        send(layer, QEvent::MouseButtonPress, {500, 100}, Qt::RightButton, Qt::RightButton);
        send(layer, QEvent::MouseMove, {520, 120}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseButtonRelease, {520, 120}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(reticle->position, QPointF(1000, 500));
        hub->setTenCenter(false);
        send(layer, QEvent::MouseButtonPress, {500, 100}, Qt::RightButton, Qt::RightButton);
        send(layer, QEvent::MouseMove, {520, 120}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseButtonRelease, {520, 120}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(reticle->position, QPointF(1040, 460));
    }

    void scaleBarDragIsStored() {
        layer->GetScaleInfo(); // applies the bar settings and its stored position
        OzaMeasureSys* sys = layer->measureSystem();
        // The bar centre (200, 60) image px is view (100, 30) here.
        send(layer, QEvent::MouseButtonPress, {100, 30}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(layer->cursor().shape(), Qt::OpenHandCursor);
        send(layer, QEvent::MouseMove, {150, 80}, Qt::NoButton, Qt::RightButton);
        send(layer, QEvent::MouseButtonRelease, {150, 80}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(sys->plotting()->BarPosition(), QPointF(300, 160));
        QSettings s("./CPlottingScale.ini", QSettings::IniFormat);
        QCOMPARE(s.value("pos").toPointF(), QPointF(300, 160));
    }

    void linesStoredAndRestoredOnlyWhenLineSaveAllows() {
        layer->readECLP2PData(); // what the 3 s timer does; the store is written only after it
        drawLine();
        const QString store = AppPaths::appFile("INI/ECLP2P.ini");
        QVERIFY(!QFileInfo::exists(store)); // "LineSave" missing: nothing is stored
        {
            QSettings s(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat);
            s.setValue("MeasureSet/LineSave", 0);
        }
        hub->setMeasureItemColor(1);
        hub->useMeasureTool(0);
        click(layer, {500, 100});
        click(layer, {600, 100});
        {
            QSettings s(store, QSettings::IniFormat);
            QCOMPARE(s.value("total").toInt(), 2);
            const QStringList f = s.value("ECLP2P_1").toStringList();
            QCOMPARE(
                f, QStringList({"1", "0", "1", "1000", "800", "1200", "800", "1200", "800", "0", "0", "2"}));
            // Damaged entries are skipped; the count is not trusted.
            s.setValue("ECLP2P_2", QStringList({"0", "0", "1", "5"}));
            s.setValue("ECLP2P_3", QStringList({"0", "0", "1", "x", "1", "2", "3", "4", "5", "0", "0", "9"}));
            s.setValue("total", 2000000000);
        }
        host.reset();
        host = std::make_unique<QWidget>();
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 1000, 500), QSize(2000, 1000));
        // A resolution change before the lines are back must not wipe them.
        hub->changeResolution();
        QCOMPARE(QSettings(store, QSettings::IniFormat).value("total").toInt(), 2000000000);
        QSignalSpy table(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)));
        layer->readECLP2PData();
        QCOMPARE(shapes()->shapes().size(), 2);
        CCLBaseObject* second = shapes()->shapes()[1];
        QCOMPARE(second->labelNumber, 2);
        QCOMPARE(second->color, QColor(Qt::blue));
        QCOMPARE(second->points[1], QPointF(1200, 800));
        QCOMPARE(second->results[0], 200.0f);
        QCOMPARE(table.count(), 1);
        QCOMPARE(table.last()[2].value<QList<QString>>(), QList<QString>({"直线1", "直线2"}));
        layer->readECLP2PData(); // a second call adds nothing
        QCOMPARE(shapes()->shapes().size(), 2);
        hub->changeResolution(); // now a save writes what is there: nothing
        QCOMPARE(QSettings(store, QSettings::IniFormat).value("total").toInt(), 0);
    }

    // The stored lines come back 3 s after the overlay is made; a tool or a
    // calibration picked before that stays as it was, and the lines are there.
    void restoringLinesLeavesTheToolAndTheCalibration_data() {
        QTest::addColumn<bool>("calibrating");
        QTest::newRow("line tool") << false;
        QTest::newRow("circle calibration half drawn") << true;
    }
    void restoringLinesLeavesTheToolAndTheCalibration() {
        QFETCH(bool, calibrating);
        {
            QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat)
                .setValue("MeasureSet/LineSave", 0);
            QSettings s(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat);
            s.setValue("ECLP2P_0", QStringList({"0", "0", "1", "100", "100", "500", "100", "500", "100", "0", "0", "1"}));
            s.setValue("total", 1);
        }
        OzaMeasureSys* sys = layer->measureSystem();
        if (calibrating) {
            hub->startAddCircleScale();
            click(layer, {100, 100});
        } else {
            hub->useMeasureTool(0);
        }
        layer->readECLP2PData(); // the 3 s timer fires
        QCOMPARE(shapes()->shapes().size(), 1);
        if (!calibrating) {
            QCOMPARE(shapes()->toolKind(), int(KindP2P));
            click(layer, {100, 300});
            click(layer, {300, 300});
            QCOMPARE(shapes()->shapes().size(), 2);
            return;
        }
        QCOMPARE(sys->mode(), int(OzaMeasureSys::ModeCalibration));
        QVERIFY(sys->scaleContainer()->IsCalibrating());
        // The calibration goes on: a circle of diameter 100 view px (200 image px).
        layer->setScaleDialogHook([] { return ItemLayer::ScaleEntry{true, "ring", "mm", 2, 1.0}; });
        click(layer, {150, 150});
        click(layer, {200, 100});
        QCOMPARE(sys->scaleContainer()->currentName(), QString("ring"));
        QVERIFY(qAbs(sys->disrate() - 1.0 / 200.0) < 1e-9);
    }

    // Clicked at a third of the picture's size, the points are fractions of
    // a pixel: after a restart they, and the length shown, are the same.
    void restoredLinesKeepEveryDigit() {
        QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat)
            .setValue("MeasureSet/LineSave", 0);
        layer->readECLP2PData();
        layer->syncToVideoRect(QRect(0, 0, 633, 357), QSize(2000, 1000));
        hub->useMeasureTool(0);
        click(layer, {17, 301});
        click(layer, {604, 29});
        QCOMPARE(shapes()->shapes().size(), 1);
        const QVector<QPointF> before = shapes()->shapes()[0]->points;
        // The clicked pixel: x 17 * 2000 / 633, y 1000 - 301 * 1000 / 357.
        QVERIFY(before[0].x() == 34000.0 / 633 && before[0].y() == 1000 - 301000.0 / 357);
        layer->SetScaleBits(4);
        int first = 0, last = 0;
        QList<QString> names, shown;
        layer->measureSystem()->GetAllMeasureData(nullptr, first, last, names, shown);

        host.reset();
        host = std::make_unique<QWidget>();
        RegisterMeasureShapes();
        layer = new ItemLayer(host.get());
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 633, 357), QSize(2000, 1000));
        layer->SetScaleBits(4);
        layer->readECLP2PData();
        QCOMPARE(shapes()->shapes().size(), 1);
        const QVector<QPointF> after = shapes()->shapes()[0]->points;
        QCOMPARE(after.size(), before.size());
        for (int i = 0; i < after.size(); ++i) // exactly, not within a tolerance
            QVERIFY(after[i].x() == before[i].x() && after[i].y() == before[i].y());
        QList<QString> again;
        layer->measureSystem()->GetAllMeasureData(nullptr, first, last, names, again);
        QCOMPARE(again, shown);
    }

    // A stored line short of its twelve fields (colours, width, three
    // points, mode, language, number) is skipped, not read past its end.
    void storedLinesShortOfTwelveFieldsAreSkipped_data() {
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("loaded");
        QTest::newRow("10") << 10 << 0;
        QTest::newRow("11") << 11 << 0;
        QTest::newRow("12") << 12 << 1;
    }
    void storedLinesShortOfTwelveFieldsAreSkipped() {
        QFETCH(int, fields);
        QFETCH(int, loaded);
        QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat)
            .setValue("MeasureSet/LineSave", 0);
        {
            QSettings s(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat);
            s.setValue("total", 1);
            const QStringList whole = {"1", "0", "2", "100", "200", "400", "600", "400", "600", "0", "1", "7"};
            s.setValue("ECLP2P_0", QStringList(whole.mid(0, fields)));
        }
        layer->readECLP2PData();
        QCOMPARE(shapes()->shapes().size(), loaded);
        if (loaded) {
            QCOMPARE(shapes()->shapes()[0]->labelNumber, 7);
            QCOMPARE(shapes()->shapes()[0]->results.value(0), 500.0);
        }
    }

    // A file written with six significant digits still loads.
    void sixDigitStoreStillLoads() {
        QSettings(AppPaths::appFile("INI/MeasureSet.ini"), QSettings::IniFormat)
            .setValue("MeasureSet/LineSave", 0);
        {
            QSettings s(AppPaths::appFile("INI/ECLP2P.ini"), QSettings::IniFormat);
            s.setValue("total", 1);
            s.setValue("ECLP2P_0", QStringList({"0", "0", "1", "53.7125", "156.863", "1908.37", "918.768",
                                                "1908.37", "918.768", "0", "1", "1"}));
        }
        layer->readECLP2PData();
        QCOMPARE(shapes()->shapes().size(), 1);
        QCOMPARE(shapes()->shapes()[0]->points[0], QPointF(53.7125, 156.863));
        QCOMPARE(shapes()->shapes()[0]->points[1], QPointF(1908.37, 918.768));
    }

    // The overlay lies inside a view area whose style sheet paints all its
    // descendants black, as in the program: its boxes (the delete
    // confirmations, the Error box) still come in the normal dialog colours,
    // their question and buttons readable.
    void messageBoxesShowTheNormalDialogColours_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("delete one") << "one";
        QTest::newRow("delete all") << "all";
        QTest::newRow("error") << "error";
    }
    void messageBoxesShowTheNormalDialogColours() {
        QFETCH(QString, how);
        auto* area = new QWidget(host.get());
        area->setStyleSheet("background-color:rgb(0, 0, 0);");
        layer->setParent(area);
        drawLine();
        const QColor window = QApplication::palette().color(QPalette::Window);
        const QColor text = QApplication::palette().color(QPalette::WindowText);
        QColor background, labelBackground;
        int textPixels = 0;
        bool seen = false;
        answerNextModal("QMessageBox", [&](QWidget* box) {
            seen = true;
            const QImage shot = box->grab().toImage();
            background = shot.pixelColor(2, 2);
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty() || !label->isVisible())
                    continue;
                const QImage l = label->grab().toImage();
                labelBackground = l.pixelColor(0, 0);
                for (int y = 0; y < l.height(); ++y)
                    for (int x = 0; x < l.width(); ++x)
                        textPixels += qAbs(l.pixelColor(x, y).lightness() - text.lightness()) < 60;
            }
            static_cast<QDialog*>(box)->reject();
        });
        if (how == "one") {
            doubleClickAt(layer, {250, 200}, Qt::RightButton);
        } else if (how == "all") {
            hub->useMeasureTool(18);
        } else {
            hub->startAddCircleScale();
            for (QPoint p : {QPoint(100, 400), QPoint(200, 400), QPoint(300, 400)})
                click(layer, p);
        }
        QVERIFY(seen);
        QCOMPARE(background, window);
        QCOMPARE(labelBackground, window);
        QVERIFY(textPixels > 20);
        QCOMPARE(shapes()->shapes().size(), 1); // cancelled: the line is still there
    }

private:
    static double GetDistanceForTest(const QPointF& a, const QPointF& b) {
        return std::sqrt((a.x() - b.x()) * (a.x() - b.x()) + (a.y() - b.y()) * (a.y() - b.y()));
    }
};

QTEST_MAIN(ItemLayerTest)
#include "tst_item_layer.moc"
