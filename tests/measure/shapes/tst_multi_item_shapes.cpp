// Parallel lines (free, horizontal, vertical), concentric circles and the
// multi-point-to-line distance: finishing by the tenth item and by the right
// button, statistics, item labels, rows, typed values, mouse creation on the
// overlay and painting inside the update rectangles.

#include "ShapeTestKit.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLConCircle.h"
#include "measure/shapes/CLParallelLine.h"
#include "measure/shapes/ShapeRegistration.h"

#include <QtTest>

#include <cmath>
#include <memory>

using Points = QVector<QPointF>;
Q_DECLARE_METATYPE(Points)

class MultiItemShapesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShapeTestKit> t;

    // Clicks through the container; `finish` ends the shape like the right button.
    CCLBaseObject* build(int kind, const Points& clicks, bool finish) {
        CCLBaseObject* s = BuildShape(*t->sys, kind, clicks);
        if (finish && !s)
            t->sys->shapeContainer()->FinishCreating();
        return t->sys->shapeContainer()->shapes().isEmpty() ? nullptr : t->sys->shapeContainer()->shapes().last();
    }
    static Points items(const QPointF& from, const QPointF& step, int n) {
        Points out;
        for (int i = 0; i < n; ++i)
            out << from + step * i;
        return out;
    }
    static Points base(int kind) {
        return kind == KindConCircle ? Points{{500, 500}} : Points{{100, 100}, {300, 100}};
    }

private slots:
    void init() { t = std::make_unique<ShapeTestKit>(); }
    void cleanup() { t.reset(); }

    void tenthItemFinishes_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("pointCount");
        for (int k : {KindParallel, KindParallelH, KindParallelV, KindMulP2L})
            QTest::addRow("kind %d", k) << k << 23;
        QTest::addRow("concentric") << int(KindConCircle) << 22;
    }
    void tenthItemFinishes() {
        QFETCH(int, kind);
        QFETCH(int, pointCount);
        const Points nine = base(kind) + items({520, 530}, {15, 20}, 9);
        QVERIFY(!build(kind, nine, false));
        t->sys->shapeContainer()->OnMousePress({700, 720});
        QCOMPARE(t->sys->shapeContainer()->shapes().size(), 1);
        CCLBaseObject* s = t->sys->shapeContainer()->shapes()[0];
        QCOMPARE(s->points.size(), pointCount);
        QCOMPARE(s->results.size(), 13);
        QCOMPARE(s->points.last(), s->points[kind == KindConCircle ? 0 : 1]);
        QCOMPARE(s->GetRowCount(), 13);
    }

    void rightButtonFinish_data() {
        QTest::addColumn<int>("kind");
        for (int k : {KindParallel, KindParallelH, KindParallelV, KindMulP2L, KindConCircle})
            QTest::addRow("kind %d", k) << k;
    }
    void rightButtonFinish() {
        QFETCH(int, kind);
        QVERIFY(!build(kind, base(kind), true)); // no item: dropped
        QCOMPARE(t->sys->shapeContainer()->creating()->points.size(), 0);
        CCLBaseObject* s = build(kind, base(kind) + Points{{400, 400}}, true);
        QVERIFY(s);
        QCOMPARE(s->results.size(), 4);
        QCOMPARE(s->results[1], s->results[0]);
        QCOMPARE(s->results[2], s->results[0]);
        QCOMPARE(s->results[3], s->results[0]);
    }

    void statisticsAboveTheImageWidth() {
        // Distances of 3000 and 2500 px in a 1920 px wide picture.
        CCLBaseObject* h = build(KindParallelH, {{0, 0}, {100, 0}, {10, 3000}, {20, 2500}}, true);
        QCOMPARE(h->results, QList<double>({3000, 2500, 2500, 3000, 2750}));
        CCLBaseObject* v = build(KindParallelV, {{0, 0}, {0, 100}, {2100, 10}, {2200, 20}, {2300, 30}}, true);
        QCOMPARE(v->results, QList<double>({2100, 2200, 2300, 2100, 2300, 2200}));
        CCLBaseObject* c = build(KindConCircle, {{0, 0}, {0, 2100}, {0, 2000}}, true);
        QCOMPARE(c->results, QList<double>({2100, 2000, 2000, 2100, 2050}));
    }

    void itemTexts_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("parallel");
        QTest::addColumn<QString>("concentric");
        const char* p[5] = {"L3B=1.25mm", "L3B=1.25mm", "B=1.25mm", "1.25mm", "L3B=1.25mm"};
        for (int s = 0; s < 5; ++s)
            QTest::addRow("style %d", s) << s << QString(p[s]) << QString("R3B=1.25mm");
    }
    void itemTexts() {
        QFETCH(int, style);
        QFETCH(QString, parallel);
        QFETCH(QString, concentric);
        labelStyle = style;
        CLParallelLine line;
        CLConCircle rings;
        line.labelNumber = rings.labelNumber = 3;
        QCOMPARE(line.GetItemText(1.25, 1), parallel);
        QCOMPARE(rings.GetItemText(1.25, 1), concentric);
        QCOMPARE(line.GetItemText(1.25, 10), QString());
        QCOMPARE(rings.GetItemText(1.25, 10), QString());
        const QString letters = "ABCDEFGHIJ";
        for (int i = 0; i < 10; ++i)
            QCOMPARE(rings.GetItemText(0, i), QString("R3%1=0.00mm").arg(letters[i]));
        line.SetLanguage(1);
        const QStringList block = {"Paralle3:\nMin=1.00mm\nMax=3.00mm\nAvg=2.00mm",
                                   "3:\nMin=1.00mm\nMax=3.00mm\nAvg=2.00mm", "Min=1.00mm\nMax=3.00mm\nAvg=2.00mm",
                                   "1.00mm\n3.00mm\n2.00mm", "L3\nMin=1.00mm\nMax=3.00mm\nAvg=2.00mm"};
        QCOMPARE(line.GetStatText(1, 3, 2), block[style]);
    }

    void rowsAndTypedValues() {
        t->sys->shapeContainer()->SetDisrate(0.5f);
        CCLBaseObject* s = build(KindParallel, {{0, 0}, {100, 0}, {50, 30}, {60, 40}}, true);
        QList<double> rows;
        s->BuildRows(rows);
        QCOMPARE(rows.size(), 5 * 9);
        const QList<double> lengths = {15, 20, 15, 20, 17.5};
        for (int r = 0; r < 5; ++r)
            QCOMPARE(double(rows[r * 9]), lengths[r]);
        QCOMPARE(s->GetEditPart(ColLength, 1), 1);
        QCOMPARE(s->GetEditPart(ColArea, 1), -1);
        QVERIFY(!s->SetValue(2, 10)); // the Min row
        QVERIFY(!s->SetValue(-1, 10));
        QVERIFY(!s->SetValue(0, 0.00005f));
        QVERIFY(s->SetValue(0, 60));
        QCOMPARE(s->points[2], QPointF(50, 60));
        QCOMPARE(s->points[3], QPointF(50, 30)); // the twin stays
        CCLBaseObject* rings = build(KindConCircle, {{100, 100}, {130, 140}, {100, 110}}, true);
        QCOMPARE(rings->GetEditPart(ColRadius, 1), 1);
        QVERIFY(rings->SetValue(1, 20));
        QCOMPARE(rings->points[3], QPointF(100, 120));
    }

    void typedValueOnTheBase_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Points>("clicks");
        QTest::addColumn<QPointF>("moved");
        QTest::newRow("free") << int(KindParallel) << Points{{0, 100}, {100, 100}, {50, 100}} << QPointF(50, 107);
        QTest::newRow("multi") << int(KindMulP2L) << Points{{0, 100}, {100, 100}, {50, 100}} << QPointF(50, 107);
        QTest::newRow("horizontal") << int(KindParallelH) << Points{{0, 100}, {100, 100}, {50, 100}}
                                    << QPointF(50, 107);
        QTest::newRow("vertical") << int(KindParallelV) << Points{{100, 0}, {100, 100}, {100, 50}}
                                  << QPointF(107, 50);
        QTest::newRow("concentric") << int(KindConCircle) << Points{{100, 100}, {100, 100}} << QPointF(107, 100);
    }
    void typedValueOnTheBase() {
        QFETCH(int, kind);
        QFETCH(Points, clicks);
        QFETCH(QPointF, moved);
        CCLBaseObject* s = build(kind, clicks, true);
        QCOMPARE(s->results[0], 0.0);
        QVERIFY(s->SetValue(0, 7));
        QCOMPARE(s->points[clicks.size() - 1], moved);
        QCOMPARE(s->results[0], 7.0);
    }

    void refusalsAndStraightBases() {
        CCLBaseObject* proto = t->sys->shapeContainer()->prototype(KindParallel);
        t->sys->shapeContainer()->SetCurType(KindParallel);
        t->sys->shapeContainer()->OnMousePress({100, 500});
        t->sys->shapeContainer()->OnMousePress({500, 500}); // h = 200 px along x
        QVERIFY(!proto->IsAddPointValid({1800, 700})); // its parallel would end at x 2000
        QVERIFY(proto->IsAddPointValid({1700, 700}));
        t->sys->shapeContainer()->SetCurType(KindParallelH);
        t->sys->shapeContainer()->OnMousePress({100, 500});
        t->sys->shapeContainer()->OnMousePress({400, 650});
        QCOMPARE(t->sys->shapeContainer()->creating()->points[1], QPointF(400, 500));
        t->sys->shapeContainer()->SetCurType(KindMulP2L);
        t->sys->shapeContainer()->OnMousePress({0, 0});
        t->sys->shapeContainer()->OnMousePress({100, 100});
        QVERIFY(t->sys->shapeContainer()->creating()->IsAddPointValid({1100, -1000})); // foot (50, 50)
        QVERIFY(!t->sys->shapeContainer()->creating()->IsAddPointValid({2000, 2000}));
    }

    void statisticsBlockAnswersWhereItIsDrawn() {
        CCLBaseObject* one = build(KindMulP2L, {{100, 100}, {600, 100}, {300, 400}}, true);
        const QRect block = QRect(ImageToView(one->points.last()), QSize(40, 20));
        int index = -1;
        QCOMPARE(one->HitTestLabel(block.center(), index), 0);
        CCLBaseObject* two = build(KindMulP2L, {{100, 100}, {600, 100}, {300, 400}, {400, 300}}, true);
        QCOMPARE(two->HitTestLabel(ImageToView(two->points.last()) + QPoint(5, 5), index), 2);
        QCOMPARE(index, two->points.size() - 1);
    }

    void paintStaysInsideUpdateRects_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("creating");
        for (int k : {KindParallel, KindParallelH, KindParallelV, KindMulP2L, KindConCircle}) {
            QTest::addRow("kind %d", k) << k << false;
            QTest::addRow("kind %d creating", k) << k << true;
        }
    }
    void paintStaysInsideUpdateRects() {
        QFETCH(int, kind);
        QFETCH(bool, creating);
        const Points clicks = (kind == KindConCircle ? Points{{900, 500}} : Points{{300, 300}, {900, 400}}) +
                              Points{{700, 600}, {1200, 800}};
        CCLBaseObject* s = build(kind, clicks, !creating);
        if (creating) {
            s = t->sys->shapeContainer()->creating();
            s->MoveCurPoint({1300, 200});
        } else {
            s->penWidth = 3;
        }
        s->labelNumber = 2;
        const QString failure = CoverageFailure(*s, creating);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void threeParallelItemsFinishedByTheRightButton() {
        t->sys.reset();
        QWidget host;
        host.resize(800, 400);
        RegisterMeasureShapes();
        auto* layer = new ItemLayer(&host);
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 1000, 500), QSize(2000, 1000));
        MessagePassing::instance()->useMeasureTool(5);
        CCLObjectContainer* c = layer->measureSystem()->shapeContainer();
        for (const QPoint& p : {QPoint(100, 300), QPoint(400, 300), QPoint(150, 250), QPoint(200, 200),
                                QPoint(250, 120)})
            QTest::mouseClick(layer, Qt::LeftButton, Qt::NoModifier, p);
        QCOMPARE(c->creating()->points.size(), 8);
        QTest::mouseClick(layer, Qt::RightButton, Qt::NoModifier, QPoint(600, 100));
        QCOMPARE(c->shapes().size(), 1);
        CCLBaseObject* s = c->shapes()[0];
        QCOMPARE(s->points.size(), 9);
        // View y 250, 200, 120 lie 100, 200, 360 image px above the base (view y 300).
        QCOMPARE(s->results, QList<double>({100, 200, 360, 100, 360, 220}));
        MessagePassing::instance()->useMeasureTool(-1);
    }
};

QTEST_MAIN(MultiItemShapesTest)
#include "tst_multi_item_shapes.moc"
