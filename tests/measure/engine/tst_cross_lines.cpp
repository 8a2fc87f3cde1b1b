// Cross lines and the centre reticle: free positions, the cap, datum
// spacing, deletion fix-ups, hit tests, dragging, drawing and the INI files.

#include "TestShapes.h"

#include "app/hub/SharedConstants.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "tests/support/TestEnv.h"

#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QtTest>

#include <memory>

// Antialiased strokes: at least half covered in the colour.
static bool tinted(const QColor& c, const QColor& want) {
    return qAbs(c.red() - want.red()) < 130 && qAbs(c.green() - want.green()) < 130 &&
           qAbs(c.blue() - want.blue()) < 130;
}

class CrossLinesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> fx;
    OzaMeasureSys* sys = nullptr;

    CCrossLineContainer& lines() { return *sys->crossLines(); }

private slots:
    void init() {
        fx = std::make_unique<EngineFixture>(false);
        sys = fx->sys.get();
    }
    void cleanup() { fx.reset(); }

    void freePositionsAndTheCap() {
        lines().SetLineCount(3, true);
        QCOMPARE(lines().FindLine(0, true)->position, 547.0f);
        QCOMPARE(lines().FindLine(1, true)->position, 562.0f);
        QCOMPARE(lines().FindLine(2, true)->position, 577.0f);
        lines().SetLineCount(2, false);
        QCOMPARE(lines().FindLine(0, false)->position, 965.0f);
        QCOMPARE(lines().FindLine(1, false)->position, 975.0f);
        lines().SetLineCount(101, true);
        QCOMPARE(lines().LineCount(true), 100);
        lines().SetLineCount(1, true);
        QCOMPARE(lines().LineCount(true), 1);
        QCOMPARE(lines().FindLine(0, true)->position, 547.0f);
    }

    void datumSpacing() {
        lines().SetLineCount(4, true);
        lines().SetLine(true, 0, 100.0f, 0, Qt::red, true, false);
        lines().SetLine(true, 1, 300.7f, 0, Qt::red, true, false);
        QVERIFY(lines().SetDatum(1, true));
        QVERIFY(lines().ApplyDatumSpacing(50, true));
        QCOMPARE(lines().FindLine(0, true)->position, 100.0f);
        QCOMPARE(lines().FindLine(2, true)->position, 350.0f);
        QCOMPARE(lines().FindLine(3, true)->position, 400.0f);
        QVERIFY(!lines().ApplyDatumSpacing(0, true));
        QVERIFY(!lines().SetDatum(4, true));
        // Through the system: a distance in the current unit.
        sys->setScalePara_slot("mm", 0.5f, 2);
        QVERIFY(sys->SetCrossLineDatum(1, 10.0, true)); // 10 mm = 20 px
        QCOMPARE(lines().FindLine(3, true)->position, 340.0f);
        QVERIFY(!sys->SetCrossLineDatum(1, -1.0, true));
        QVERIFY(!sys->SetCrossLineDatum(1, 0.1, true)); // below one pixel
    }

    void deletionKeepsSelectionAndDatumRight() {
        lines().SetLineCount(2, true);
        lines().SetLineCount(3, false);
        CrossLineInfo* target = lines().FindLine(2, false);
        lines().SelectLine(target, nullptr);
        QCOMPARE(lines().selectedIndex(), 4);
        QVERIFY(lines().SetDatum(2, false));
        QVERIFY(lines().DeleteLine(0, false)); // a vertical line before the selected one
        QCOMPARE(lines().selectedIndex(), 3);
        QCOMPARE(lines().SelectedLine()->position, 985.0f);
        QCOMPARE(lines().datum(false), 1);
        QVERIFY(lines().DeleteLine(0, true)); // a horizontal line shifts the combined index
        QCOMPARE(lines().SelectedLine()->position, 985.0f);
        QVERIFY(lines().DeleteLine(1, false)); // the selected one
        QCOMPARE(lines().selectedIndex(), -1);
        QCOMPARE(lines().datum(false), -1);
        QVERIFY(!lines().DeleteLine(5, false));
        QVERIFY(!lines().DeleteLine(-1, true));
    }

    void hitTestsAndDragging() {
        lines().SetLineCount(1, true);
        lines().SetLineCount(1, false);
        lines().SetLine(true, 0, 500.0f, 0, Qt::red, true, false);
        QVERIFY(lines().HitTestLines({100, 504.9}));
        QCOMPARE(lines().SelectedLine(), lines().FindLine(0, true));
        QVERIFY(!lines().HitTestLines({100, 505.1}));
        QCOMPARE(lines().selectedIndex(), -1);
        QVERIFY(lines().HitTestLines({963, 10}));
        QCOMPARE(lines().selectedIndex(), 1);
        lines().SetLine(true, 0, 500.0f, 45.0f, Qt::red, true, false);
        QVERIFY(lines().HitTestLines({1060, 400})); // on the tilted line through (960, 500)
        // A tilted line cannot be dragged; an untilted one takes the view delta, y inverted.
        CrossLineInfo* hor = lines().FindLine(0, true);
        QVERIFY(!sys->DragCrossLine(hor, 500.0f, QPoint(0, -30)));
        lines().SetLine(true, 0, 500.0f, 0.0f, Qt::red, true, false);
        QVERIFY(sys->DragCrossLine(hor, 500.0f, QPoint(0, -30)));
        QCOMPARE(hor->position, 530.0f);
        CrossLineInfo* ver = lines().FindLine(0, false);
        QVERIFY(sys->DragCrossLine(ver, 965.0f, QPoint(20, 0)));
        QCOMPARE(ver->position, 985.0f);
        QVERIFY(!lines().HitTestLines({100, 100}) || lines().SelectedLine());
        // Through the system: refused for a negative index and |angle| >= 90.
        QVERIFY(!sys->SetCrossLineInfo(-1, true, 1, 0, Qt::red, true, false));
        QVERIFY(!sys->SetCrossLineInfo(0, true, 1, 90.0f, Qt::red, true, false));
        QVERIFY(sys->SetCrossLineInfo(0, true, 123.0f, 10.0f, Qt::blue, true, true));
        QCOMPARE(hor->colour, QColor(Qt::blue));
    }

    void iniRoundTripKeepsCamerasApart() {
        lines().setCameraIndex(1);
        lines().SetLineCount(2, true);
        lines().SetLine(true, 1, 700.0f, 12.5f, QColor(1, 2, 3), false, true); // colour not in the list
        lines().SetDatum(1, true);
        lines().SetTickScale(250, 5);
        lines().SetLineCount(1, false);
        lines().SetLine(false, 0, 99.5f, 0.0f, Qt::green, true, false);
        CCrossLineContainer ten;
        ten.setCameraIndex(10);
        ten.SetLineCount(3, false);
        lines().ReadWriteCrossLines(false); // saving camera 1 again keeps camera 10's lines

        CCrossLineContainer one;
        one.setCameraIndex(1);
        one.ReadWriteCrossLines(true);
        QCOMPARE(one.LineCount(true), 2);
        QCOMPARE(one.LineCount(false), 1);
        const CrossLineInfo* h = one.FindLine(1, true);
        QCOMPARE(h->position, 700.0f);
        QCOMPARE(h->angle, 12.5f);
        QVERIFY(!h->visible);
        QVERIFY(h->scale);
        QCOMPARE(h->colour, QColor(Qt::red));
        QCOMPARE(one.FindLine(0, false)->colour, QColor(Qt::green));
        QCOMPARE(one.datum(true), 1);
        QCOMPARE(one.tickSpacing(), 250);
        QSettings s(CCrossLineContainer::crossLineFile(), QSettings::IniFormat);
        QVERIFY(!s.contains("Camera_1/HOR_1_COLOR"));
        CCrossLineContainer reread;
        reread.setCameraIndex(10);
        reread.ReadWriteCrossLines(true);
        QCOMPARE(reread.LineCount(false), 3);
    }

    void damagedCountsLoadAsNothing() {
        {
            QSettings s(CCrossLineContainer::crossLineFile(), QSettings::IniFormat);
            s.setValue("Camera_0/HORSIZE", 150);
            s.setValue("Camera_0/VERSIZE", -4);
            s.setValue("Camera_0/ScaleRate", 0);
            s.setValue("Camera_0/HORSTAND", 7);
            QSettings t(CCrossLineContainer::reticleFile(), QSettings::IniFormat);
            t.setValue("TENSIZE", 2000000000);
        }
        lines().ReadWriteCrossLines(true);
        QCOMPARE(lines().LineCount(true), 0);
        QCOMPARE(lines().LineCount(false), 0);
        QCOMPARE(lines().tickSpacing(), 200);
        QCOMPARE(lines().datum(true), -1);
        QCOMPARE(lines().ReticleCount(), 1);
    }

    void reticleShowHideAndStore() {
        measureView = nullptr;
        QVERIFY(!lines().ShowReticle()); // refused without a view
        measureView = &fx->view;
        sys->ShowTenCross();
        QCOMPARE(lines().ReticleCount(), 1);
        QCOMPARE(lines().FirstReticle()->position, QPointF(960, 540));
        QSettings s(CCrossLineContainer::reticleFile(), QSettings::IniFormat);
        QCOMPARE(s.value("TENSIZE").toInt(), 1);
        QCOMPARE(s.value("TEN_0_POS").toPointF(), QPointF(960, 540));
        QVERIFY(s.contains("TEN_0_ANGLE"));
        QCOMPARE(s.value("TEN_0_VISABLE").toInt(), 1);
        QVERIFY(s.contains("TEN_0_SCALE"));
        QCOMPARE(s.value("TEN_0_COLOR").toInt(), 0);
        sys->SetTenCrossColour(Qt::blue, true);
        sys->DragTenCross(lines().FirstReticle(), QPointF(960, 540), QPoint(40, 20));
        QCOMPARE(lines().FirstReticle()->position, QPointF(1000, 520));
        sys->SaveTenCross();
        sys->HideTenCross();
        QVERIFY(!lines().FirstReticle()->visible);
        QVERIFY(!lines().HitTestReticle({1000, 520})); // hidden: not hit
        sys->ShowTenCross();
        QCOMPARE(lines().FirstReticle()->colour, QColor(Qt::blue));
        QVERIFY(lines().HitTestReticle({1000, 300}));

        CCrossLineContainer again;
        again.LoadReticles();
        QCOMPARE(again.ReticleCount(), 1);
        QCOMPARE(again.FirstReticle()->position, QPointF(1000, 520));
        QCOMPARE(again.FirstReticle()->colour, QColor(Qt::blue));
        QVERIFY(again.FirstReticle()->scale);
        sys->SetTenCrossCentre(400, 300);
        CCrossLineContainer third;
        third.LoadReticles();
        QCOMPARE(third.FirstReticle()->position, QPointF(400, 300));
    }

    void drawingLinesAndReticle() {
        imageWidth = viewWidth = 400;
        imageHeight = viewHeight = 200;
        lines().SetLineCount(1, true);
        lines().SetLine(true, 0, 150.0f, 0, Qt::blue, true, true); // view y 50
        lines().SetTickScale(100, 7);
        sys->ShowTenCross();
        sys->SetTenCrossColour(Qt::green, false);
        lines().SetReticlePosition(300, 100, 0);
        QImage img(400, 200, QImage::Format_ARGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            sys->Draw(p);
        }
        QVERIFY(tinted(img.pixelColor(3, 50), Qt::blue));
        QVERIFY(tinted(img.pixelColor(396, 50), Qt::blue));
        QVERIFY(tinted(img.pixelColor(100, 10), Qt::blue)); // a long tick every 100 px from the left end
        QVERIFY(tinted(img.pixelColor(100, 90), Qt::blue));
        QVERIFY(tinted(img.pixelColor(120, 35), Qt::blue)); // a short tick at 20 px steps
        QCOMPARE(img.pixelColor(120, 25), QColor(Qt::white));
        // The reticle's arms span the picture through (300, view 100).
        QVERIFY(tinted(img.pixelColor(2, 100), Qt::green));
        QVERIFY(tinted(img.pixelColor(300, 197), Qt::green));
        QVERIFY(tinted(img.pixelColor(300, 3), Qt::green));
        imageWidth = viewWidth = 1920;
        imageHeight = viewHeight = 1080;
    }
};

QTEST_MAIN(CrossLinesTest)
#include "tst_cross_lines.moc"
