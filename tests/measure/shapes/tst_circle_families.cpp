// Point-, line- and circle-to-circle shapes with their nearest and farthest
// variants: hand-computed distances, refusals, typed values, labels,
// states without a result and paint coverage.

#include "ShapeTestKit.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "tests/support/ShapePaintCoverage.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {
// Circle of radius r about (x, y), three rim points.
QVector<QPointF> rim(double x, double y, double r) {
    return {{x + r, y}, {x, y + r}, {x - r, y}};
}
QPolygonF shapePoints(std::initializer_list<QVector<QPointF>> parts) {
    QPolygonF all;
    for (const auto& part : parts)
        all += QPolygonF(part);
    return all;
}
} // namespace

class CircleFamiliesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShapeTestKit> kit;

    std::unique_ptr<CCLBaseObject> finished(int kind, const QPolygonF& points) {
        std::unique_ptr<CCLBaseObject> shape(ShapeRegistry::create(kind));
        shape->labelNumber = 4;
        FinishShape(*shape, points);
        return shape;
    }

    // The three shapes of the kinds of one family, around (500, 500).
    static QPolygonF familyPoints(int kind) {
        switch (kind) {
        case KindP2C:
        case KindP2CNear:
        case KindP2CFar:
            return shapePoints({rim(500, 500, 10), {{560, 500}}});
        case KindL2C:
        case KindL2CNear:
        case KindL2CFar:
            return shapePoints({rim(500, 500, 15), {{450, 530}, {550, 530}}});
        default:
            return shapePoints({rim(500, 500, 10), rim(610, 500, 20)});
        }
    }

private slots:
    void init() { kit = std::make_unique<ShapeTestKit>(); }
    void cleanup() { kit.reset(); }

    void distances_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("distance");
        QTest::newRow("point centre") << int(KindP2C) << 60.0;
        QTest::newRow("point near") << int(KindP2CNear) << 50.0;
        QTest::newRow("point far") << int(KindP2CFar) << 70.0;
        QTest::newRow("line centre") << int(KindL2C) << 30.0;
        QTest::newRow("line near") << int(KindL2CNear) << 15.0;
        QTest::newRow("line far") << int(KindL2CFar) << 45.0;
        QTest::newRow("circles centre") << int(KindC2C) << 110.0;
        QTest::newRow("circles near") << int(KindC2CNear) << 80.0;
        QTest::newRow("circles far") << int(KindC2CFar) << 140.0;
    }
    void distances() {
        QFETCH(int, kind);
        QFETCH(double, distance);
        auto shape = finished(kind, familyPoints(kind));
        QCOMPARE(shape->results.size(), 1);
        QVERIFY(std::fabs(shape->results[0] - distance) < 1e-9);
        QCOMPARE(shape->points.last(), familyPoints(kind).last()); // the label anchor
        QCOMPARE(shape->GetRowCount(), 1);
    }

    // Typed distances read back equal; the far kinds refuse what no far
    // distance can be (below r, or r1 + r2).
    void typedValues_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("refused");
        QTest::newRow("point centre") << int(KindP2C) << 0.00005;
        QTest::newRow("point near") << int(KindP2CNear) << 0.00005;
        QTest::newRow("point far") << int(KindP2CFar) << 9.5;
        QTest::newRow("line centre") << int(KindL2C) << 0.00005;
        QTest::newRow("line near") << int(KindL2CNear) << 0.00005;
        QTest::newRow("line far") << int(KindL2CFar) << 14.0;
        QTest::newRow("circles centre") << int(KindC2C) << 0.00005;
        QTest::newRow("circles near") << int(KindC2CNear) << 0.00005;
        QTest::newRow("circles far") << int(KindC2CFar) << 30.0;
    }
    void typedValues() {
        QFETCH(int, kind);
        QFETCH(double, refused);
        auto shape = finished(kind, familyPoints(kind));
        const QPointF anchor = shape->points.last();
        const QVector<QPointF> circle = shape->points.mid(0, 3);
        for (double value : {42.125, 77.5}) {
            QVERIFY(shape->SetValue(0, value));
            QVERIFY(std::fabs(shape->results[0] - value) < 1e-6 * value);
        }
        QCOMPARE(shape->points.last(), anchor);
        QCOMPARE(shape->points.mid(0, 3), circle); // the (first) circle stays
        const QVector<QPointF> before = shape->points;
        QVERIFY(!shape->SetValue(0, refused));
        QVERIFY(!shape->SetValue(1, 50.0));
        QCOMPARE(shape->points, before);
    }

    // A line through the centre has distance 0; a typed distance moves it
    // across itself.
    // The measured segment is painted: centre to foot, rim point to foot.
    void measuredSegmentIsPainted_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("centre") << int(KindL2C);
        QTest::newRow("near") << int(KindL2CNear);
    }
    void measuredSegmentIsPainted() {
        QFETCH(int, kind);
        auto shape = finished(kind, shapePoints({rim(500, 500, 100), {{300, 800}, {700, 800}}}));
        const QImage image = PaintShape(*shape, false);
        // View y = 1080 - image y: the foot at view 280, the rim at 480.
        QVERIFY(qAlpha(image.pixel(500, 380)) > 0);
        QCOMPARE(qAlpha(image.pixel(500, 380 + 150)) > 0, kind == KindL2C);
    }

    void lineThroughTheCentreTakesATypedDistance() {
        auto shape = finished(KindL2C, shapePoints({rim(500, 500, 15), {{450, 500}, {550, 500}}}));
        QCOMPARE(shape->results[0], 0.0);
        QVERIFY(shape->SetValue(0, 30.0));
        QVERIFY(std::fabs(shape->results[0] - 30.0) < 1e-9);
    }

    // Creation: the point on the centre, a foot outside the image and a line
    // through the centre are refused; moves into those states too.
    void refusals() {
        CCLObjectContainer* c = kit->sys->shapeContainer();
        const auto place = [&](int kind, const QVector<QPointF>& points) {
            c->SetCurType(kind);
            for (const QPointF& p : points)
                c->OnMousePress(p);
        };
        place(KindP2C, rim(500, 500, 10) << QPointF(500, 500)); // measures 0
        QCOMPARE(c->shapes().size(), 1);
        QCOMPARE(c->shapes().last()->results[0], 0.0);
        for (int kind : {KindP2CNear, KindP2CFar}) {
            place(kind, rim(500, 500, 10) << QPointF(500, 500));
            QCOMPARE(c->createState(), int(CCLObjectContainer::StateRejected));
            QCOMPARE(c->creating()->points.size(), 3);
            c->OnMousePress({560, 500});
            CCLBaseObject* shape = c->shapes().last();
            QCOMPARE(shape->kind, kind);
            QVERIFY(!shape->MovePoint({500, 500}, 3));
        }
        // Foot of the centre on the line beyond the image: (500, 500) onto
        // the line through (2000, 0) and (2000, 1): x = 2000 > 1920.
        place(KindL2C, rim(500, 500, 15) << QPointF(2000, 0));
        QVERIFY(!c->creating()->IsAddPointValid({2000, 1}));
        QVERIFY(c->creating()->IsAddPointValid({1900, 1}));
        c->CancelCreating();
        for (int kind : {KindL2CNear, KindL2CFar}) {
            place(kind, rim(500, 500, 15) << QPointF(450, 450));
            QVERIFY(!c->creating()->IsAddPointValid({550, 550})); // through the centre
            c->OnMousePress({550, 450});
            CCLBaseObject* shape = c->shapes().last();
            QCOMPARE(shape->kind, kind);
            QVERIFY(!shape->MovePoint({550, 550}, 4));
            QVERIFY(shape->MovePoint({550, 460}, 4));
        }
        // Circle points on one line, for the circle pairs too.
        place(KindC2C, rim(500, 500, 10) << QPointF(700, 500) << QPointF(710, 500));
        QVERIFY(!c->creating()->IsAddPointValid({720, 500}));
    }

    // Near and far keep the style-0 label; coinciding centres show no value.
    void labels() {
        labelStyle = 2;
        auto centre = finished(KindC2C, familyPoints(KindC2C));
        centre->SetLanguage(1);
        QCOMPARE(centre->GetShowText(110.0), QString("L=110.00mm"));
        const QStringList names[3] = {
            {"点心距", "P2C", "點心距"}, {"线心距", "L2C", "線心距"}, {"圆心距", "C2C", "圓心距"}};
        const int kinds[3] = {KindP2CFar, KindL2CNear, KindC2CNear};
        for (int i = 0; i < 3; ++i) {
            auto shape = finished(kinds[i], familyPoints(kinds[i]));
            for (int lang : {0, 1, 2}) {
                shape->SetLanguage(lang);
                QCOMPARE(shape->GetShowText(15.0), names[i][lang] + "4:L=15.00mm");
            }
        }
        auto same = finished(KindC2CFar, shapePoints({rim(500, 500, 10), rim(500, 500, 20)}));
        same->SetLanguage(1);
        QCOMPARE(same->results.size(), 1);
        QVERIFY(std::isnan(same->results[0]));
        QCOMPARE(same->GetShowText(same->results[0]), QString("C2C4:L="));
        kit->sys->shapeContainer()->AddObject(same.get());
        int first = 0, last = 0;
        QList<QString> rowNames, values;
        kit->sys->GetAllMeasureData(nullptr, first, last, rowNames, values);
        QCOMPARE(values.value(ColLength), QString());
    }

    void paintStaysInsideTheUpdateRectangles_data() {
        QTest::addColumn<int>("kind");
        for (int kind : {KindP2C, KindP2CNear, KindP2CFar, KindL2C, KindL2CNear, KindL2CFar, KindC2C,
                         KindC2CNear, KindC2CFar})
            QTest::newRow(qPrintable(QString::number(kind))) << kind;
    }
    void paintStaysInsideTheUpdateRectangles() {
        QFETCH(int, kind);
        // Large circles, so that the outlines leave the point boxes.
        QPolygonF points;
        if (kind == KindP2C || kind == KindP2CNear || kind == KindP2CFar)
            points = shapePoints({rim(600, 500, 150), {{1100, 300}}});
        else if (kind == KindL2C || kind == KindL2CNear || kind == KindL2CFar)
            points = shapePoints({rim(600, 500, 150), {{900, 100}, {1300, 200}}});
        else
            points = shapePoints({rim(500, 500, 150), rim(1100, 600, 60)});
        QCOMPARE(UncoveredWhileCreating(kind, points, QPointF(1500, 900)), 0);
        auto shape = finished(kind, points);
        shape->penWidth = 3;
        const PaintCoverage done = CheckPaintCoverage(*shape, false);
        QVERIFY(done.painted > 1000);
        QVERIFY2(done.outside.isEmpty(), qPrintable(QString::number(done.outside.size())));
    }
};

QTEST_MAIN(CircleFamiliesTest)
#include "tst_circle_families.moc"
