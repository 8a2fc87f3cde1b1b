// The plotting overlay: the scale bar's round lengths and unit steps, its
// value, drag and stored position; freehand strokes.

#include "TestShapes.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "tests/support/TestEnv.h"

#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class PlottingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EngineFixture> fx;

private slots:
    void init() { fx = std::make_unique<EngineFixture>(false); }
    void cleanup() { fx.reset(); }

    void barLengthTable_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<QString>("text");
        QTest::newRow("1 mm/px") << "mm" << 1.0 << 200 << "200 mm";
        QTest::newRow("0.01 mm/px") << "mm" << 0.01 << 200 << "2 mm";
        QTest::newRow("0.01 mm/px in um") << "um" << 10.0 << 200 << "2000 um";
        QTest::newRow("0.001 mm/px in cm") << "cm" << 0.0001 << 200 << "200 um";
        QTest::newRow("pix") << "pix" << 1.0 << 200 << "200 pix";
        QTest::newRow("five") << "mm" << 1.0 / 60.0 << 300 << "5 mm";
        QTest::newRow("metres") << "m" << 0.000005 << 200 << "1 mm";
        QTest::newRow("a tenth of an inch") << "inch" << 0.0003937 << 254 << "100 mil";
        QTest::newRow("large") << "mm" << 37.0 << 270 << "10000 mm";
    }
    void barLengthTable() {
        QFETCH(QString, unit);
        QFETCH(double, rate);
        QFETCH(int, pixels);
        QFETCH(QString, text);
        CPlottingContainer c;
        c.SetScale("s", unit, rate);
        QCOMPARE(c.BarLength(), pixels);
        QCOMPARE(c.BarText(), text);
        QVERIFY(c.BarLength() >= 150 && c.BarLength() <= 375);
    }

    void barValueAnnouncedAndSetByHand() {
        QSignalSpy length(MessagePassing::instance(), SIGNAL(sig_setScaleLength(int)));
        CPlottingContainer c;
        c.SetScale("s", "mm", 0.01);
        QCOMPARE(length.last()[0].toInt(), 2);
        c.SetBarValue(5);
        QCOMPARE(c.BarLength(), 500);
        QCOMPARE(c.BarText(), QString("5 mm"));
        c.SetBarValue(0); // ignored
        QCOMPARE(c.BarValue(), 5);
        // A bar that stepped down to "um" keeps its pixels in that unit.
        c.SetRate("cm", 0.0001);
        QCOMPARE(c.BarText(), QString("200 um"));
        c.SetBarValue(100);
        QCOMPARE(c.BarLength(), 100);
        QCOMPARE(c.BarText(), QString("100 um"));
    }

    void barVisibilityHidesTheAxesForGood() {
        OzaMeasureSys& sys = *fx->sys;
        QVERIFY(sys.plotting()->axesVisible());
        sys.SetScaleBarVisible(true);
        QVERIFY(!sys.plotting()->axesVisible());
        QVERIFY(sys.plotting()->barVisible());
        sys.SetScaleBarVisible(false);
        QVERIFY(!sys.plotting()->barVisible());
    }

    void dragAndStoredPosition() {
        CPlottingContainer c;
        viewWidth = 960;
        viewHeight = 540;
        QCOMPARE(c.BarPosition(), QPointF(200, 60));
        // The bar centre (200, 60) image px lies at view (100, 30).
        QVERIFY(c.HitTestBar({100, 35}));
        QVERIFY(!c.HitTestBar({100, 45}));
        c.BeginBarDrag();
        c.DragBar({10, 5});
        QCOMPARE(c.BarPosition(), QPointF(220, 70));
        c.SaveBarPosition();
        CPlottingContainer d;
        d.LoadBarPosition();
        QCOMPARE(d.BarPosition(), QPointF(220, 70));
        c.SetBarVisible(false);
        QVERIFY(!c.HitTestBar({110, 35}));
    }

    void barTextStaysInsideThePicture_data() {
        QTest::addColumn<int>("view");
        QTest::newRow("1:1") << 1920;
        QTest::newRow("35 %") << 1344;
        QTest::newRow("10 %") << 384;
    }
    void barTextStaysInsideThePicture() {
        // The default position (200, 60) of a 3840-wide picture shown small:
        // the value text above the bar must not be cut at the top edge.
        QFETCH(int, view);
        imageWidth = 3840;
        viewWidth = float(view);
        CPlottingContainer c;
        c.SetFontSize(22);
        c.SetScale("default", "mm", 1.0);
        c.SetFontScale(viewWidth / imageWidth);
        c.SetBarVisible(true);
        c.setAxesVisible(false);
        QImage img(view, view * 9 / 16, QImage::Format_ARGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            c.DrawPlotting(p);
        }
        int top = -1;
        for (int y = 0; y < img.height() && top < 0; ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) != QColor(Qt::white)) {
                    top = y;
                    break;
                }
        imageWidth = 1920;
        viewWidth = 1920;
        QVERIFY2(top > 0, qPrintable(QString("first painted row %1").arg(top)));
    }

    void strokes() {
        plottingPenColour = Qt::blue;
        plottingPenWidth = 3;
        CPlottingContainer c;
        c.StartStroke({50, 50});
        c.FinishStroke({50, 50});
        QCOMPARE(c.StrokeCount(), 1);
        QCOMPARE(fx->view.rects.last(), QRect(20, 20, 60, 60)); // one point: a 60-pixel box
        fx->view.rects.clear();
        c.StartStroke({100, 100});
        c.ExtendStroke({150, 100});
        c.FinishStroke({200, 100});
        QCOMPARE(c.StrokeCount(), 2);
        QCOMPARE(c.Stroke(1)->colour, QColor(Qt::blue));
        QCOMPARE(c.Stroke(1)->penWidth, 3);
        QCOMPARE(c.HitTestStrokes({153, 104}), 1);
        QCOMPARE(c.HitTestStrokes({175, 100}), -1);
        QImage img(300, 200, QImage::Format_ARGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            c.SetBarVisible(false);
            c.setAxesVisible(false);
            c.DrawPlotting(p);
        }
        QCOMPARE(img.pixelColor(175, 100), QColor(Qt::blue));
        QCOMPARE(img.pixelColor(50, 50), QColor(Qt::white)); // the one-click stroke draws nothing
        c.DeleteStroke(7);
        QCOMPARE(c.StrokeCount(), 2);
        c.DeleteStroke(0);
        QCOMPARE(c.StrokeCount(), 1);
        c.DeleteStroke(-1);
        QCOMPARE(c.StrokeCount(), 0);
    }
};

QTEST_MAIN(PlottingTest)
#include "tst_plotting.moc"
