// Circle, arc, ring distance and multi-circle roundness: geometry against
// hand-computed and independent values, labels, data rows, typed values,
// the refusals of points on one line, mouse creation and paint coverage.

#include "ShapeTestKit.h"
#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/MouseInput.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/engine/UpdateRegions.h"
#include "measure/shapes/CCLCircle.h"
#include "measure/shapes/CCLCircle_M.h"
#include "measure/shapes/CLArc.h"
#include "measure/shapes/CLR2R.h"
#include "measure/shapes/ThreePointCircle.h"
#include "tests/support/ShapePaintCoverage.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
const double kS = std::sqrt(50.0); // radius of the circle through (0,0), (10,0), (0,10)
const double kC = 10.0 / std::sqrt(2.0);

std::unique_ptr<CCLBaseObject> makeShape(int kind) {
    return std::unique_ptr<CCLBaseObject>(ShapeRegistry::create(kind));
}

QPolygonF poly(std::initializer_list<QPointF> points) {
    return QPolygonF(QVector<QPointF>(points));
}

bool near(double a, double b, double rel = 1e-9) {
    return std::fabs(a - b) <= rel * std::max(1.0, std::fabs(b));
}
bool closeAll(const QList<double>& got, const QList<double>& want) {
    if (got.size() != want.size())
        return false;
    for (int i = 0; i < got.size(); ++i)
        if (!near(got[i], want[i]))
            return false;
    return true;
}
} // namespace

class CircleShapesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShapeTestKit> kit;

    // A finished shape of `kind` through `points`, at `disrate` mm per px.
    std::unique_ptr<CCLBaseObject> finished(int kind, const QPolygonF& points, double disrate = 1.0) {
        auto shape = makeShape(kind);
        shape->disrate = disrate;
        shape->labelNumber = 4;
        FinishShape(*shape, points);
        return shape;
    }

private slots:
    void init() { kit = std::make_unique<ShapeTestKit>(); }
    void cleanup() { kit.reset(); }

    void geometry_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPolygonF>("points");
        QTest::addColumn<QList<double>>("results");
        QTest::addColumn<QPolygonF>("derived");
        QTest::newRow("circle") << int(KindCircle) << poly({{0, 0}, {10, 0}, {0, 10}})
                                << QList<double>{kS, 2 * M_PI * kS, 50 * M_PI} << poly({{5, 5}});
        QTest::newRow("half arc") << int(KindArc) << poly({{10, 0}, {0, 10}, {-10, 0}})
                                  << QList<double>{M_PI, 180.0, 180.0, 10.0, 20.0} << poly({{0, 0}});
        QTest::newRow("quarter arc") << int(KindArc) << poly({{10, 0}, {kC, kC}, {0, 10}})
                                     << QList<double>{M_PI / 2, 90.0, 270.0, 10.0, 20.0} << poly({{0, 0}});
        QTest::newRow("three-quarter arc")
            << int(KindArc) << poly({{10, 0}, {-kC, -kC}, {0, 10}})
            << QList<double>{1.5 * M_PI, 270.0, 90.0, 10.0, 20.0} << poly({{0, 0}});
        QTest::newRow("ring gap") << int(KindR2R) << poly({{110, 100}, {100, 110}, {90, 100}, {100, 75}})
                                  << QList<double>{15.0} << poly({{100, 100}, {110, 100}, {125, 100}});
        QTest::newRow("three circles")
            << int(KindCircleM)
            << poly({{10, 0}, {0, 10}, {-10, 0}, {20, 0}, {0, 20}, {-20, 0}, {40, 0}, {0, 40}, {-40, 0}})
            << QList<double>{10.0,       20 * M_PI, 100 * M_PI, 20.0,       40 * M_PI,
                             400 * M_PI, 40.0,      80 * M_PI,  1600 * M_PI}
            << poly({{0, 0}, {0, 0}, {0, 0}});
    }
    void geometry() {
        QFETCH(int, kind);
        QFETCH(QPolygonF, points);
        QFETCH(QList<double>, results);
        QFETCH(QPolygonF, derived);
        auto shape = finished(kind, points);
        QVERIFY(closeAll(shape->results, results));
        QCOMPARE(shape->derivedPoints.size(), derived.size());
        for (int i = 0; i < derived.size(); ++i)
            QVERIFY(near(shape->derivedPoints[i].x(), derived[i].x()) &&
                    near(shape->derivedPoints[i].y(), derived[i].y()));
        QCOMPARE(shape->points.last(), points.last()); // the label anchor
        if (kind == KindCircleM)
            QVERIFY(near(static_cast<CCLCircle_M*>(shape.get())->Roundness(), 0.25));
    }

    // Radius by a x b x c / (4 x area), the area by Heron's formula: a
    // construction independent of the centre the shapes compute.
    void randomCirclesAgreeWithHeron() {
        QRandomGenerator rng(20261207);
        int checked = 0;
        while (checked < 50) {
            QPointF p[3];
            for (QPointF& q : p)
                q = QPointF(rng.bounded(1920.0), rng.bounded(1080.0));
            const double a = std::hypot(p[1].x() - p[2].x(), p[1].y() - p[2].y());
            const double b = std::hypot(p[0].x() - p[2].x(), p[0].y() - p[2].y());
            const double c = std::hypot(p[0].x() - p[1].x(), p[0].y() - p[1].y());
            const double s = (a + b + c) / 2;
            const double heron = std::sqrt(s * (s - a) * (s - b) * (s - c));
            if (heron < 1000.0)
                continue; // nearly flat: the reference itself loses digits
            const double r = a * b * c / (4 * heron);
            auto circle = finished(KindCircle, poly({p[0], p[1], p[2]}));
            QVERIFY(near(circle->results[0], r, 1e-7));
            QVERIFY(near(circle->results[2], M_PI * r * r, 1e-7));
            ++checked;
        }
    }

    // Three points on one line have no circle: the third click and moves
    // onto the line are refused, for every circle-based kind.
    void collinearPointsAreRefused_data() {
        QTest::addColumn<int>("kind");
        for (int kind : {KindCircle, KindArc, KindR2R, KindCircleM})
            QTest::newRow(qPrintable(QString::number(kind))) << kind;
    }
    void collinearPointsAreRefused() {
        QFETCH(int, kind);
        CCLObjectContainer* c = kit->sys->shapeContainer();
        c->SetCurType(kind);
        c->OnMousePress({100, 100});
        QVERIFY(!c->creating()->IsAddPointValid({100, 100})); // on the first point
        c->OnMousePress({200, 200});
        c->OnMousePress({300, 300 + 1e-6});
        QCOMPARE(c->createState(), int(CCLObjectContainer::StateRejected));
        QCOMPARE(c->creating()->points.size(), 2);
        c->OnMousePress({300, 100});
        c->OnMousePress({400, 100});
        c->FinishCreating();
        QCOMPARE(c->shapes().size(), 1);
        CCLBaseObject* shape = c->shapes()[0];
        const QVector<QPointF> before = shape->points;
        QVERIFY(!shape->MovePoint({150, 150}, 2)); // onto the line of p0 and p1
        QCOMPARE(shape->points, before);
        QVERIFY(shape->MovePoint({150, 50}, 2));
    }

    // A middle click 0.0005 px off the chord of two clicks 1,000 px apart
    // is on their line (the rule is scaled to the longest side, so the flat
    // triangle's area is what counts); 0.002 px off makes a circle.
    void nearlyStraightClicksOnALongChord_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("off");
        QTest::addColumn<bool>("refused");
        for (int kind : {KindCircle, KindArc}) {
            QTest::addRow("%d, 0.0005 px", kind) << kind << 0.0005 << true;
            QTest::addRow("%d, 0.002 px", kind) << kind << 0.002 << false;
        }
    }
    void nearlyStraightClicksOnALongChord() {
        QFETCH(int, kind);
        QFETCH(double, off);
        QFETCH(bool, refused);
        QVERIFY(ThreePointCircle::Collinear({400, 500}, {900, 500 + off}, {1400, 500}) == refused);
        CCLObjectContainer* c = kit->sys->shapeContainer();
        c->SetCurType(kind);
        c->OnMousePress({400, 500});
        c->OnMousePress({900, 500 + off});
        c->OnMousePress({1400, 500});
        QCOMPARE(c->createState() == int(CCLObjectContainer::StateRejected), refused);
        QCOMPARE(c->creating()->points.size(), refused ? 2 : 0);
        QCOMPARE(c->shapes().size(), refused ? 0 : 1);
        if (!refused) // (500^2 + 0.002^2) / (2 x 0.002) px
            QVERIFY(near(c->shapes()[0]->derivedPoints.value(0).y(), 500.002 - 62500000.001, 1e-6));
    }

    // An arc of 140 degrees (from 20 to 160 degrees about (1000, 500),
    // radius 200): a press on its ring is a hit, a press on the empty 220
    // degrees of the same circle is not.
    void arcOfOneHundredFortyDegreesIsHitOnItsBodyOnly_data() {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<bool>("hit");
        for (double d : {30.0, 60.0, 90.0, 120.0, 150.0})
            QTest::addRow("%g degrees", d) << d << true;
        for (double d : {0.0, 200.0, 240.0, 270.0, 300.0, 340.0})
            QTest::addRow("%g degrees, empty", d) << d << false;
    }
    void arcOfOneHundredFortyDegreesIsHitOnItsBodyOnly() {
        QFETCH(double, degrees);
        QFETCH(bool, hit);
        const QPointF centre(1000, 500);
        auto at = [&](double d) {
            return centre + 200.0 * QPointF(std::cos(d * M_PI / 180), std::sin(d * M_PI / 180));
        };
        auto arc = finished(KindArc, poly({at(20), at(90), at(160)}));
        QVERIFY(near(arc->derivedPoints.value(0).x(), 1000.0, 1e-9) && near(arc->derivedPoints.value(0).y(), 500.0, 1e-9));
        QCOMPARE(arc->HitTest(ImageToView(at(degrees))), hit ? 3 : 0);
    }

    void circleLabels_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("r");
        QTest::addColumn<bool>("d");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 en") << 0 << 1 << true << true << 2 << "mm"
                              << "Circle4:R=1.25mm\nD=2.50mm";
        QTest::newRow("1 en") << 1 << 1 << true << true << 2 << "mm"
                              << "4:R=1.25mm\nD=2.50mm";
        QTest::newRow("2 en") << 2 << 1 << true << true << 2 << "mm"
                              << "R=1.25mm\nD=2.50mm";
        QTest::newRow("3 en") << 3 << 1 << true << true << 2 << "mm"
                              << "1.25mm\n2.50mm";
        QTest::newRow("4 en") << 4 << 1 << true << true << 2 << "mm"
                              << "R4=1.25mm\nD4=2.50mm";
        QTest::newRow("0 zh R") << 0 << 0 << true << false << 2 << "mm"
                                << "圆4:R=1.25mm\n";
        QTest::newRow("0 tw D") << 0 << 2 << false << true << 2 << "mm"
                                << "圓4:D=2.50mm";
        QTest::newRow("4 D") << 4 << 1 << false << true << 2 << "mm"
                             << "D4=2.50mm";
        QTest::newRow("none") << 0 << 1 << false << false << 2 << "mm"
                              << "";
        QTest::newRow("pix 0") << 2 << 1 << true << true << 0 << "pix"
                               << "R=5pix\nD=10pix";
        QTest::newRow("um 4") << 3 << 1 << true << true << 4 << "um"
                              << "1250.0000um\n2500.0000um";
    }
    void circleLabels() {
        QFETCH(int, style);
        QFETCH(int, language);
        QFETCH(bool, r);
        QFETCH(bool, d);
        QFETCH(int, decimals);
        QFETCH(QString, unit);
        QFETCH(QString, text);
        auto circle = finished(KindCircle, poly({{0, 0}, {10, 0}, {5, 5}}), 0.25); // R 5 px
        circle->SetLanguage(language);
        circle->numbits = decimals;
        circle->unit = unit;
        circle->unitFactor = unit == "um" ? 1000.0 : 1.0;
        SetLabelSwitch("Circle/R", r);
        SetLabelSwitch("Circle/D", d);
        labelStyle = style;
        QCOMPARE(circle->GetShowText(circle->results[0] * circle->GetUnitRate()), text);
    }

    void arcRingAndRoundnessLabels() {
        auto arc = finished(KindArc, poly({{10, 0}, {0, 10}, {-10, 0}}), 0.25);
        arc->SetLanguage(1);
        auto* a = static_cast<CLArc*>(arc.get());
        QCOMPARE(a->BuildShowText(),
                 QString("ArcA4=3.14\nArcN4=180.00°\nArcE4=180.00°\nArcR4=2.50mm\nArcD4=5.00mm"));
        labelStyle = 2;
        arc->SetLanguage(0);
        QCOMPARE(a->BuildShowText(), QString("A=3.14\nN=180.00°\nE=180.00°\nR=2.50mm\nD=5.00mm"));
        SetLabelSwitch("CLArc/A", false);
        SetLabelSwitch("CLArc/E", false);
        SetLabelSwitch("CLArc/R", false);
        labelStyle = 4;
        QCOMPARE(a->BuildShowText(), QString("N4=180.00°\nD4=5.00mm"));
        SetLabelSwitch("CLArc/D", false);
        labelStyle = 3;
        QCOMPARE(a->BuildShowText(), QString("180.00°\n"));

        auto ring = finished(KindR2R, poly({{110, 100}, {100, 110}, {90, 100}, {100, 75}}));
        for (int lang : {0, 1, 2}) {
            ring->SetLanguage(lang);
            labelStyle = 0;
            const QString name = QStringList({"圆边距", "R2R", "圓邊距"})[lang];
            QCOMPARE(ring->GetShowText(15.0), name + "4:L=15.00mm");
        }
        labelStyle = 4;
        QCOMPARE(ring->GetShowText(15.0), QString("L4=15.00mm"));

        auto multi = finished(KindCircleM, poly({{10, 0}, {0, 10}, {-10, 0}, {20, 0}, {0, 20}, {-20, 0}}));
        labelStyle = 2;
        QCOMPARE(multi->GetShowText(20.0), QString("R=20.00mm\nD=40.00mm\nRD=0.50\n"));
        SetLabelSwitch("Circle/D", false);
        QCOMPARE(multi->GetShowText(20.0), QString("R=20.00mm\n"));
        // Circles without size: no ratio, and never NaN or inf.
        SetLabelSwitch("Circle/D", true);
        multi->results = {0, 0, 0, 0, 0, 0};
        QCOMPARE(static_cast<CCLCircle_M*>(multi.get())->Roundness(), 0.0);
        QCOMPARE(multi->GetShowText(0.0), QString("R=0.00mm\nD=0.00mm\nRD=0.00\n"));
    }

    // Rows at 0.25 mm per px: lengths times 0.25, areas times 0.0625; the
    // arc's radius is stored in mm already and not scaled again.
    void dataRows() {
        const auto rowsOf = [&](int kind, const QPolygonF& points) {
            QList<double> rows;
            finished(kind, points, 0.25)->BuildRows(rows);
            return rows;
        };
        const QPolygonF two = poly({{10, 0}, {0, 10}, {-10, 0}, {20, 0}, {0, 20}, {-20, 0}});
        QVERIFY(closeAll(rowsOf(KindCircle, poly({{0, 0}, {10, 0}, {5, 5}})),
                         {0, 2.5 * M_PI, 25 * M_PI * 0.0625, 0, 0, 0, 0, 1.25, 2.5}));
        QVERIFY(closeAll(rowsOf(KindArc, poly({{10, 0}, {0, 10}, {-10, 0}})),
                         {0, 0, 0, 180, M_PI, 0, 0, 2.5, 5.0}));
        QVERIFY(closeAll(rowsOf(KindR2R, poly({{110, 100}, {100, 110}, {90, 100}, {100, 75}})),
                         {3.75, 0, 0, 0, 0, 0, 0, 0, 0}));
        QVERIFY(closeAll(rowsOf(KindCircleM, two).mid(9),
                         {0, 10 * M_PI, 400 * M_PI * 0.0625, 0, 0, 0, 0, 5.0, 0})); // no diameter
        QCOMPARE(makeShape(KindCircleM)->GetEditPart(ColRadius, 0), -1);
    }

    void typedValues() {
        // Circle radius 5 -> 12.5: the centre and the label anchor stay.
        auto circle = finished(KindCircle, poly({{0, 0}, {10, 0}, {5, 5}}));
        const QPointF anchor = circle->points[3];
        QVERIFY(circle->SetValue(0, 12.5));
        QVERIFY(near(circle->results[0], 12.5, 1e-6));
        QVERIFY(near(circle->derivedPoints[0].x(), 5) && near(circle->derivedPoints[0].y(), 0));
        QCOMPARE(circle->points[3], anchor);
        QVERIFY(!circle->SetValue(0, 0.00005));
        QVERIFY(!circle->SetValue(1, 3.0));
        // Arc radius 10 -> 20: angles kept.
        auto arc = finished(KindArc, poly({{10, 0}, {kC, kC}, {0, 10}}));
        QVERIFY(arc->SetValue(1, 20.0));
        QVERIFY(near(arc->results[3], 20.0, 1e-6) && near(arc->results[1], 90.0, 1e-6));
        QVERIFY(!arc->SetValue(0, 20.0));
        // Ring: p3 on the circle, inside and at the centre.
        auto ring = finished(KindR2R, poly({{10, 0}, {0, 10}, {-10, 0}, {0, -10}}));
        QVERIFY(ring->SetValue(0, 2.0));
        QVERIFY(near(ring->points[3].y(), -12.0) && near(ring->results[0], 2.0));
        ring = finished(KindR2R, poly({{10, 0}, {0, 10}, {-10, 0}, {0, 8}}));
        QVERIFY(ring->SetValue(0, 4.0));
        QVERIFY(near(ring->points[3].y(), 6.0) && near(ring->results[0], 4.0));
        QVERIFY(ring->SetValue(0, 12.0));
        QVERIFY(near(ring->points[3].x(), 22.0) && near(ring->points[3].y(), 0.0));
        ring = finished(KindR2R, poly({{10, 0}, {0, 10}, {-10, 0}, {0, 0}}));
        QVERIFY(ring->SetValue(0, 3.0));
        QCOMPARE(ring->points[3], QPointF(13, 0));
        // Multi-circle: the first circle only.
        auto multi = finished(KindCircleM, poly({{10, 0}, {0, 10}, {-10, 0}, {20, 0}, {0, 20}, {-20, 0}}));
        QVERIFY(multi->SetValue(0, 15.0));
        QVERIFY(near(multi->results[0], 15.0, 1e-6) && near(multi->results[3], 20.0));
        // Three points within 0.001 px have no circle: nothing to type into.
        auto dot = finished(KindCircle, poly({{0, 0}, {0.0005, 0}, {0, 0.0005}}));
        QVERIFY(dot->results.isEmpty());
        QVERIFY(!dot->SetValue(0, 5.0));
        auto dotArc = finished(KindArc, poly({{0, 0}, {0.0005, 0}, {0, 0.0005}}));
        QVERIFY(!dotArc->SetValue(1, 5.0));
    }

    // The arc is painted through p1, not round the other side.
    void arcPaintsThroughItsMiddlePoint_data() {
        QTest::addColumn<QPointF>("middle");
        QTest::addColumn<QPointF>("other");
        const double d = 200 / std::sqrt(2.0);
        QTest::newRow("short side") << QPointF(600 + d, 500 + d) << QPointF(600 - d, 500 - d);
        QTest::newRow("long side") << QPointF(600 - d, 500 - d) << QPointF(600 + d, 500 + d);
    }
    void arcPaintsThroughItsMiddlePoint() {
        QFETCH(QPointF, middle);
        QFETCH(QPointF, other);
        auto arc = finished(KindArc, poly({{800, 500}, middle, {600, 700}}));
        arc->points[3] = QPointF(1500, 100); // the label out of the way
        const QImage image = PaintShape(*arc, false);
        const auto paintedNear = [&](const QPointF& p) {
            const QPoint v = ImageToView(p);
            int n = 0;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx)
                    n += qAlpha(image.pixel(v.x() + dx, v.y() + dy)) > 0;
            return n > 0;
        };
        QVERIFY(paintedNear(middle));
        QVERIFY(!paintedNear(other));
    }

    void mouseCreatesCircleAndMultiCircle() {
        MessagePassing* hub = MessagePassing::instance();
        QWidget host;
        RegisterMeasureShapes();
        auto* layer = new ItemLayer(&host);
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 1920, 1080), QSize(1920, 1080));
        CCLObjectContainer* c = layer->measureSystem()->shapeContainer();
        hub->useMeasureTool(11);
        for (QPoint p : {QPoint(100, 500), QPoint(200, 500), QPoint(150, 450)})
            clickAt(layer, p);
        QCOMPARE(c->shapes().size(), 1);
        QCOMPARE(c->shapes()[0]->kind, int(KindCircle));
        QVERIFY(near(c->shapes()[0]->results[0], 50.0));
        for (int n : {1, 3}) {
            hub->useMeasureTool(28);
            for (int i = 0; i < n; ++i) {
                const int r = 20 * (i + 1);
                for (QPoint p : {QPoint(600 - r, 500), QPoint(600, 500 - r), QPoint(600 + r, 500)})
                    clickAt(layer, p);
            }
            clickAt(layer, {900, 900}, Qt::RightButton);
            CCLBaseObject* multi = c->shapes().last();
            QCOMPARE(multi->kind, int(KindCircleM));
            QCOMPARE(multi->GetRowCount(), n);
        }
        QCOMPARE(c->shapes().size(), 3);
    }

    // Every painted pixel lies in the shape's update rectangles, finished
    // and while being created (the arc's five-line label included).
    void paintStaysInsideTheUpdateRectangles_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPolygonF>("points");
        QTest::addColumn<QPointF>("cursor");
        const QPolygonF three({{400, 300}, {600, 500}, {800, 300}});
        QTest::newRow("circle") << int(KindCircle) << three << QPointF(500, 200);
        QTest::newRow("arc") << int(KindArc) << three << QPointF(500, 200);
        QTest::newRow("ring") << int(KindR2R) << poly({{400, 300}, {600, 500}, {800, 300}, {600, 40}})
                              << QPointF(700, 100);
        QTest::newRow("multi")
            << int(KindCircleM)
            << poly({{400, 300}, {600, 500}, {800, 300}, {500, 300}, {600, 400}, {700, 300}})
            << QPointF(650, 600);
    }
    void paintStaysInsideTheUpdateRectangles() {
        QFETCH(int, kind);
        QFETCH(QPolygonF, points);
        QFETCH(QPointF, cursor);
        QCOMPARE(UncoveredWhileCreating(kind, points, cursor), 0);
        auto shape = finished(kind, points);
        shape->penWidth = 3;
        const PaintCoverage done = CheckPaintCoverage(*shape, false);
        QVERIFY(done.painted > 500);
        QVERIFY2(done.outside.isEmpty(), qPrintable(QString::number(done.outside.size())));
        if (kind == KindArc) {
            // Labels are clipped to their box: the arc's box holds all five lines.
            auto* arc = static_cast<CLArc*>(shape.get());
            const QSize five = arc->GetMultiLineTextSize(arc->BuildShowText());
            QList<QRect> rects;
            arc->CollectObjRects(rects);
            QVERIFY(rects.contains(ClampRectToView(ImageToView(arc->points[3]), five)));
            QVERIFY(five.height() >= 5 * arc->GetTextSize("A").height() - 15);
        }
    }
};

QTEST_MAIN(CircleShapesTest)
#include "tst_circle_shapes.moc"
