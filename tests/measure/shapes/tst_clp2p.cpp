// The point-to-point line: its label in the five styles and three languages,
// the label switches of ./INI/MeasureData.ini, typed lengths, painting, and
// the shape conventions it rests on.

#include "ShapeTestKit.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLP2P.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QtTest>

#include <memory>

class CLP2PTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<OzaMeasureSys> sys;

    // The line (0,0)-(30,40) at 0.25 mm per pixel: 12.5 mm.
    static void makeLine(CLP2P& line) {
        line.disrate = 0.25f;
        line.AddPoint({0, 0});
        line.AddPoint({30, 40});
        QVERIFY(line.IsFinished());
        line.CalcResult();
    }
    static QString label(CLP2P& line) { return line.GetShowText(line.results[0] * line.GetUnitRate()); }
    static void setSwitches(bool p, bool c) {
        QDir().mkpath("INI");
        QSettings s("./INI/MeasureData.ini", QSettings::IniFormat);
        s.setValue("P2P/P", p);
        s.setValue("P2P/C", c);
        s.sync();
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        imageWidth = viewWidth = 1920;
        imageHeight = viewHeight = 1080;
        labelStyle = 0;
        RegisterMeasureShapes();
        sys = std::make_unique<OzaMeasureSys>();
        sys->setActive(true);
    }
    void cleanup() {
        sys.reset();
        ShapeRegistry::clear();
        env.reset();
    }

    void lengthLabelInStyleTwo() {
        CLP2P line;
        makeLine(line);
        QCOMPARE(line.results, QList<double>({50.0}));
        QVERIFY(line.derivedPoints.isEmpty());
        labelStyle = 2;
        QCOMPARE(label(line), QString("L=12.50mm\n"));
        setSwitches(true, true);
        QCOMPARE(label(line), QString("L=12.50mm\nHalf=6.25mm"));
        QVERIFY(CLP2P::IsShowHalf());
        labelStyle = 3;
        QCOMPARE(label(line), QString("12.50mm\n6.25mm"));
        setSwitches(false, true);
        labelStyle = 4;
        line.labelNumber = 3;
        QCOMPARE(label(line), QString("Half3=6.25mm\n"));
        setSwitches(false, false);
        QCOMPARE(label(line), QString());
    }

    void fiveStylesAndThreeLanguages() {
        CLP2P line;
        makeLine(line);
        line.labelNumber = 3;
        line.SetLanguage(1);
        const QStringList expected = {"Line3:L=12.50mm\n", "3:L=12.50mm\n", "L=12.50mm\n", "12.50mm\n",
                                      "L3=12.50mm\n"};
        for (int style = 0; style < 5; ++style) {
            labelStyle = style;
            QCOMPARE(label(line), expected[style]);
        }
        labelStyle = 0;
        line.SetLanguage(0);
        QCOMPARE(label(line), QString("直线3:L=12.50mm\n"));
        line.SetLanguage(2);
        QCOMPARE(line.name, QString("直線"));
        line.mode = 1;
        line.SetLanguage(1);
        QCOMPARE(label(line), QString("MD3:L=12.50mm\n"));
        line.mode = 7; // hand-edited store: named like a width line
        line.SetLanguage(0);
        QCOMPARE(line.name, QString("熔宽"));
        line.SetLanguage(2);
        QCOMPARE(line.name, QString("熔寬"));
    }

    void styleOutsideRangeIsClamped() {
        CLP2P line;
        makeLine(line);
        line.labelNumber = 2;
        labelStyle = 9;
        QCOMPARE(label(line), QString("L2=12.50mm\n"));
        labelStyle = -3;
        line.SetLanguage(1);
        QCOMPARE(label(line), QString("Line2:L=12.50mm\n"));
        QCOMPARE(ShapeText::ItemText(17, 2, 1, "0.84", "mm"), QString("L2B=0.84mm"));
        QCOMPARE(ShapeText::StatText(-1, "L", 2, "1", "2", "3", "mm"),
                 QString("L2:\nMin=1mm\nMax=2mm\nAvg=3mm"));
    }

    void labelIsEmptyWithoutSystemUnlessForced() {
        CLP2P line;
        makeLine(line);
        sys.reset();
        QCOMPARE(label(line), QString());
        labelStyle = 3;
        QCOMPARE(line.GetShowText(12.5f, true), QString("12.50mm\n"));
    }

    void unitsAndDecimals() {
        CLP2P line;
        makeLine(line);
        labelStyle = 3;
        line.unit = "pix";
        QCOMPARE(label(line), QString("50.00pix\n"));
        line.unit = "um";
        line.unitFactor = 1000.0f;
        line.numbits = 0;
        QCOMPARE(label(line), QString("12500um\n"));
    }

    void typedLengthMovesTheSecondPoint() {
        CLP2P line;
        makeLine(line);
        const QPointF anchor = line.points[2];
        QVERIFY(line.SetValue(0, 100.0f));
        QCOMPARE(line.points[0], QPointF(0, 0));
        QCOMPARE(line.points[1], QPointF(60, 80));
        QCOMPARE(line.points[2], anchor);
        QCOMPARE(line.results[0], 100.0f);
        QVERIFY(!line.SetValue(1, 10.0f));
        QVERIFY(!line.SetValue(0, 0.00005f));
        CLP2P dot;
        dot.AddPoint({5, 5});
        dot.AddPoint({5, 5});
        dot.IsFinished();
        dot.CalcResult();
        QVERIFY(dot.SetValue(0, 7.0f));
        QCOMPARE(dot.points[1], QPointF(12, 5));
        QCOMPARE(dot.results[0], 7.0f);
        CLP2P open;
        open.AddPoint({1, 1});
        QVERIFY(!open.SetValue(0, 3.0f));
    }

    void dataRowAndEditTables() {
        CLP2P line;
        QCOMPARE(line.GetValuesPerRow(), 1);
        QCOMPARE(line.GetResultColumn(0), int(ColLength));
        QCOMPARE(line.GetResultColumn(1), -1);
        QCOMPARE(line.GetEditPart(ColLength, 5), 0);
        QCOMPARE(line.GetEditPart(ColArea, 0), -1);
        QCOMPARE(line.GetObjType(), 1);
        QCOMPARE(line.kind, int(KindP2P));
        QCOMPARE(line.name, QString("L"));
        makeLine(line);
        QList<QPointF> keys;
        line.CollectKeyPoints(keys);
        QCOMPARE(keys, QList<QPointF>({QPointF(0, 1080), QPointF(30, 1040)}));
    }

    void registeredAndCreatedByTheContainer() {
        QVERIFY(ShapeRegistry::isRegistered(KindP2P));
        // A kind without a class creates nothing.
        ShapeRegistry::unregisterKind(KindCircle);
        sys = std::make_unique<OzaMeasureSys>();
        sys->setActive(true);
        CCLObjectContainer* c = sys->shapeContainer();
        c->SetCurType(KindP2P);
        c->OnMousePress({100, 100});
        c->OnMousePress({400, 500});
        QCOMPARE(c->shapes().size(), 1);
        QCOMPARE(c->shapes()[0]->labelNumber, 1);
        QCOMPARE(c->shapes()[0]->results[0], 500.0);
        c->SetCurType(KindCircle);
        c->OnMousePress({1, 1});
        QCOMPARE(c->createState(), int(CCLObjectContainer::StateRejected));
    }

    void paintsLineHandlesAndLabel() {
        CLP2P line;
        line.color2 = Qt::blue;
        line.AddPoint({100, 980}); // view (100, 100)
        line.AddPoint({600, 980}); // view (600, 100)
        line.IsFinished();
        line.CalcResult();
        line.points[2] = QPointF(300, 880); // label at view (300, 200)
        QImage img(800, 400, QImage::Format_ARGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            p.setPen(QPen(Qt::red, 1));
            QFont font(measureFontFamily);
            font.setPixelSize(22);
            p.setFont(font);
            line.DrawObj(&p, true);
        }
        QCOMPARE(img.pixelColor(350, 100), QColor(Qt::red));
        QCOMPARE(img.pixelColor(100, 93), QColor(Qt::red)); // end bar
        int blue = 0;
        for (int y = 200; y < 240; ++y)
            for (int x = 300; x < 500; ++x)
                if (img.pixelColor(x, y).blue() > 150 && img.pixelColor(x, y).red() < 100)
                    ++blue;
        QVERIFY(blue > 20);

        setSwitches(false, false); // no label, no midpoint handle, but the line
        QImage bare(800, 400, QImage::Format_ARGB32);
        bare.fill(Qt::white);
        {
            QPainter p(&bare);
            p.setPen(QPen(Qt::red, 1));
            line.DrawObj(&p, true);
        }
        QCOMPARE(bare.pixelColor(350, 100), QColor(Qt::red));
        for (int y = 200; y < 240; ++y)
            for (int x = 300; x < 500; ++x)
                QCOMPARE(bare.pixelColor(x, y), QColor(Qt::white));
    }

    // Everything the line paints lies inside the rectangles it repaints:
    // finished, while the second point follows the mouse, and placed before
    // the label is; with the half-length handle and without, thin and wide.
    void paintStaysInsideUpdateRects_data() {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<bool>("creating");
        QTest::addColumn<bool>("half");
        QTest::addColumn<int>("pen");
        for (bool half : {false, true})
            for (int pen : {3, 20}) {
                QTest::addRow("finished, half %d, pen %d", half, pen) << 2 << false << half << pen;
                QTest::addRow("rubber band, half %d, pen %d", half, pen) << 1 << true << half << pen;
                QTest::addRow("second point placed, half %d, pen %d", half, pen) << 2 << true << half << pen;
            }
    }
    void paintStaysInsideUpdateRects() {
        QFETCH(int, clicks);
        QFETCH(bool, creating);
        QFETCH(bool, half);
        QFETCH(int, pen);
        setSwitches(true, half);
        CLP2P line;
        line.penWidth = pen;
        line.labelNumber = 12;
        line.AddPoint({200, 150});
        if (clicks == 2)
            line.AddPoint({1400, 800}); // a long slanted line: repainted in pieces
        if (creating) {
            line.MoveCurPoint({1500, 900});
        } else {
            QVERIFY(line.IsFinished());
            line.points[2] += QPointF(40, -30); // the label dragged aside
            line.CalcResult();
        }
        const QString failure = CoverageFailure(line, creating);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void rubberBandShowsOnlyTheFirstHandleNearP0() {
        CLP2P line;
        line.AddPoint({100, 980});
        line.MoveCurPoint({104, 977}); // within 5 view px in x and y
        QImage near(300, 300, QImage::Format_ARGB32);
        near.fill(Qt::white);
        {
            QPainter p(&near);
            p.setPen(QPen(Qt::red, 1));
            line.DrawCreating(&p);
        }
        int painted = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x)
                painted += near.pixelColor(x, y) != QColor(Qt::white);
        QVERIFY(painted > 0 && painted < 20);
        QList<QRect> rects;
        line.MoveCurPoint({200, 980});
        line.CollectCreatingRects(rects);
        QVERIFY(rects.size() >= 6);
    }

    void typedValueHelperAndStatistics() {
        QCOMPARE(ShapeEdit::ScaleAbout({10, 10}, {13, 14}, 10.0f, 5.0f), QPointF(16, 18));
        QCOMPARE(ShapeEdit::ScaleAbout({10, 10}, {10, 10}, 4.0f, 0.0f), QPointF(14, 10));
        QVERIFY(!ShapeEdit::Accepts(true, true, true, 0.00009f));
        double mn, mx, avg;
        QVERIFY(ShapeStats::MinMaxAvg({3, 1, 2}, mn, mx, avg));
        QCOMPARE(mn, 1.0f);
        QCOMPARE(mx, 3.0f);
        QCOMPARE(avg, 2.0f);
        QVERIFY(!ShapeStats::MinMaxAvg({}, mn, mx, avg));
        QCOMPARE(ShapeText::Pick(5, "a", "b", "c"), QString("c"));
        QCOMPARE(ShapeText::ItemText(0, 2, 10, "1", "mm"), QString());
    }
};

QTEST_MAIN(CLP2PTest)
#include "tst_clp2p.moc"
