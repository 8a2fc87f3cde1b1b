// Angle, point-to-line, line-to-line, rectangle and line-pair distance:
// geometry against hand-computed values, labels, refusals, typed values, the
// data rows, and painting that stays inside the update rectangles.

#include "ShapeTestKit.h"

#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLAngle.h"

#include <QtTest>

#include <cmath>
#include <memory>

using Points = QVector<QPointF>;
Q_DECLARE_METATYPE(Points)

class LineDistanceShapesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShapeTestKit> t;

    // A finished shape of the kind from its clicked points.
    static std::unique_ptr<CCLBaseObject> make(int kind, const Points& pts) {
        std::unique_ptr<CCLBaseObject> s(ShapeRegistry::create(kind));
        for (const QPointF& p : pts)
            s->AddPoint(p);
        s->IsFinished();
        s->CalcResult();
        return s;
    }
    static double distance(const QPointF& a, const QPointF& b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

private slots:
    void init() { t = std::make_unique<ShapeTestKit>(); }
    void cleanup() { t.reset(); }

    void geometry_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Points>("clicks");
        QTest::addColumn<QList<double>>("expected");
        const double r2 = 100.0 / std::sqrt(2.0);
        QTest::newRow("angle 45") << int(KindAngle) << Points{{0, 0}, {10, 0}, {0, 0}, {10, 10}}
                                  << QList<double>{45.0};
        QTest::newRow("angle, one line reversed")
            << int(KindAngle) << Points{{10, 0}, {0, 0}, {0, 0}, {10, 10}} << QList<double>{135.0};
        // Slopes 0 and 0.01 meeting at (0, 500), a thousand lengths behind
        // the first one-pixel segment: atan(0.01).
        QTest::newRow("angle, intersection far behind")
            << int(KindAngle) << Points{{1000, 500}, {1001, 500}, {1000, 510}, {1001, 510.01}}
            << QList<double>{std::atan(0.01) * 180.0 / M_PI};
        QTest::newRow("p2l foot inside") << int(KindP2L) << Points{{0, 0}, {100, 0}, {50, 30}} << QList<double>{30};
        QTest::newRow("p2l foot beyond p1") << int(KindP2L) << Points{{0, 0}, {100, 0}, {150, 30}}
                                            << QList<double>{30};
        QTest::newRow("p2l diagonal") << int(KindP2L) << Points{{0, 0}, {100, 100}, {0, 100}} << QList<double>{r2};
        QTest::newRow("l2l from the midpoint")
            << int(KindL2L) << Points{{0, 0}, {100, 0}, {40, 50}, {60, 30}} << QList<double>{40};
        QTest::newRow("rect") << int(KindRect) << Points{{40, 60}, {10, 20}} << QList<double>{140, 1200, 30, 40};
        QTest::newRow("band centre lines")
            << int(KindCL2CL) << Points{{0, 0}, {100, 0}, {0, 20}, {0, 60}, {50, 80}} << QList<double>{60};
        QTest::newRow("band, measured beyond A")
            << int(KindCL2CL) << Points{{0, 0}, {100, 0}, {0, 20}, {0, 60}, {200, 80}} << QList<double>{60};
        QTest::newRow("band, first line right to left")
            << int(KindCL2CL) << Points{{100, 0}, {0, 0}, {0, 20}, {0, 60}, {50, 80}} << QList<double>{60};
    }
    void geometry() {
        QFETCH(int, kind);
        QFETCH(Points, clicks);
        QFETCH(QList<double>, expected);
        auto s = make(kind, clicks);
        QCOMPARE(s->points.size(), clicks.size() + 1);
        QCOMPARE(s->points.last(), clicks.last());
        QCOMPARE(s->results.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(std::fabs(s->results[i] - expected[i]) < 1e-4 * std::max(1.0, expected[i]),
                     qPrintable(QString("%1: %2 vs %3").arg(i).arg(s->results[i]).arg(expected[i])));
    }

    void derivedPoints() {
        auto p2l = make(KindP2L, {{0, 0}, {100, 0}, {150, 30}});
        QCOMPARE(p2l->derivedPoints, Points({{150, 0}}));
        auto l2l = make(KindL2L, {{0, 0}, {100, 0}, {40, 50}, {60, 30}});
        QCOMPARE(l2l->derivedPoints, Points({{50, 40}, {50, 0}}));
        auto angle = make(KindAngle, {{0, 10}, {10, 10}, {20, 0}, {20, 10}});
        QCOMPARE(angle->derivedPoints, Points({{20, 10}, {0, 10}, {20, 0}}));
        auto band = make(KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 60}, {50, 80}});
        QCOMPARE(band->derivedPoints, Points({{-50, 10}, {100, 10}, {-50, 70}, {100, 70}, {50, 10}, {50, 70}}));
        auto beyond = make(KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 60}, {200, 80}});
        QCOMPARE(beyond->derivedPoints[1], QPointF(200, 10));
        QCOMPARE(beyond->derivedPoints[3], QPointF(250, 70));
    }

    void labels_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        const char* angle[5] = {"Angle3:A=45.00°\nB=135.00°", "3:A=45.00°\nB=135.00°", "A=45.00°\nB=135.00°",
                                "45.00°\n135.00°", "A3=45.00°\nB3=135.00°"};
        const char* rect[5] = {"Rect3:C=140.00mm", "3:C=140.00mm", "C=140.00mm", "140.00mm", "C3=140.00mm"};
        for (int s = 0; s < 5; ++s) {
            QTest::addRow("angle style %d", s) << int(KindAngle) << s << 1 << QString::fromUtf8(angle[s]);
            QTest::addRow("rect style %d", s) << int(KindRect) << s << 1 << QString(rect[s]);
        }
        QTest::newRow("angle zh") << int(KindAngle) << 0 << 0 << QString::fromUtf8("角3:A=45.00°\nB=135.00°");
        QTest::newRow("rect zh") << int(KindRect) << 0 << 0 << QString::fromUtf8("矩形3:C=140.00mm");
        QTest::newRow("rect tw") << int(KindRect) << 0 << 2 << QString::fromUtf8("矩形3:C=140.00mm");
        QTest::newRow("p2l en") << int(KindP2L) << 0 << 1 << QString("P2L3:L=30.00mm");
        QTest::newRow("p2l tw") << int(KindP2L) << 0 << 2 << QString::fromUtf8("點線距3:L=30.00mm");
        QTest::newRow("l2l zh") << int(KindL2L) << 4 << 0 << QString("L3=40.00mm");
        QTest::newRow("l2l en") << int(KindL2L) << 0 << 1 << QString("L2L3:L=40.00mm");
        QTest::newRow("band ignores style") << int(KindCL2CL) << 2 << 0 << QString("L3:L=60.00mm");
    }
    void labels() {
        QFETCH(int, kind);
        QFETCH(int, style);
        QFETCH(int, language);
        QFETCH(QString, text);
        const QMap<int, Points> clicks = {{KindAngle, {{0, 0}, {10, 0}, {0, 0}, {10, 10}}},
                                          {KindRect, {{10, 20}, {40, 60}}},
                                          {KindP2L, {{0, 0}, {100, 0}, {50, 30}}},
                                          {KindL2L, {{0, 0}, {100, 0}, {40, 50}, {60, 30}}},
                                          {KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 60}, {50, 80}}}};
        auto s = make(kind, clicks[kind]);
        s->SetLanguage(language);
        s->labelNumber = 3;
        labelStyle = style;
        const QString shown = kind == KindAngle ? static_cast<CLAngle*>(s.get())->GetAngleText(s->results[0])
                                                : s->GetShowText(s->results[0] * s->GetUnitRate());
        QCOMPARE(shown, text);
    }

    void refusals() {
        auto angle = make(KindAngle, {{0, 0}, {10, 0}, {0, 5}});
        QVERIFY(!angle->IsAddPointValid({10, 5.005})); // slopes within 0.001: parallel
        QVERIFY(angle->IsAddPointValid({10, 6}));
        auto done = make(KindAngle, {{0, 0}, {10, 0}, {0, 0}, {10, 10}});
        QVERIFY(done->IsMovePointValid({500, 500}, 4));
        QVERIFY(!done->IsMovePointValid({0, 0}, 5));
        QVERIFY(!done->IsMovePointValid({10, 10}, 1)); // first line onto the second
        auto p2l = make(KindP2L, {{0, 0}, {100, 0}});
        QVERIFY(!p2l->IsAddPointValid({1921, 50}));
        QVERIFY(p2l->IsAddPointValid({1920, 50}));
        auto l2l = make(KindL2L, {{0, 0}, {100, 0}, {1900, 50}});
        QVERIFY(!l2l->IsAddPointValid({1950, 50})); // midpoint foot at x 1925
        QVERIFY(l2l->IsAddPointValid({1930, 50}));
        // Through the container: the refused press adds nothing.
        CCLObjectContainer* c = t->sys->shapeContainer();
        c->SetCurType(KindAngle);
        for (const QPointF& p : Points{{0, 0}, {10, 0}, {0, 5}})
            c->OnMousePress(p);
        c->OnMousePress({10, 5});
        QCOMPARE(c->createState(), int(CCLObjectContainer::StateRejected));
        QCOMPARE(c->creating()->points.size(), 3);
        QVERIFY(c->shapes().isEmpty());
    }

    void typedValues() {
        auto p2l = make(KindP2L, {{0, 0}, {100, 0}, {50, 30}});
        QVERIFY(p2l->SetValue(0, 60));
        QCOMPARE(p2l->points, Points({{0, 0}, {100, 0}, {50, 60}, {50, 30}}));
        QVERIFY(!p2l->SetValue(1, 60));
        QVERIFY(!p2l->SetValue(0, 0.00005f));
        // On the line: the typed distance is reached, for any direction.
        for (const Points& line : {Points{{0, 0}, {100, 0}, {50, 0}}, Points{{0, 0}, {0, 100}, {0, 40}},
                                   Points{{0, 0}, {100, 100}, {30, 30}}}) {
            auto s = make(KindP2L, line);
            QVERIFY(s->SetValue(0, 12));
            QCOMPARE(s->results[0], 12.0);
            QCOMPARE(distance(s->points[2], s->derivedPoints[0]), 12.0);
        }
        auto l2l = make(KindL2L, {{0, 0}, {100, 0}, {40, 50}, {60, 30}});
        QVERIFY(l2l->SetValue(0, 20));
        QCOMPARE(l2l->points, Points({{0, 0}, {100, 0}, {40, 30}, {60, 10}, {60, 30}}));
        auto l2lOn = make(KindL2L, {{0, 0}, {100, 0}, {40, 10}, {60, -10}});
        QVERIFY(l2lOn->SetValue(0, 7));
        QCOMPARE(l2lOn->results[0], 7.0);
        auto band = make(KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 60}, {50, 80}});
        QVERIFY(band->SetValue(0, 30));
        QCOMPARE(band->points[3], QPointF(0, 30));
        QCOMPARE(band->points[4], QPointF(50, 50));
        auto bandOn = make(KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 0}, {50, 20}});
        QCOMPARE(bandOn->results[0], 0.0);
        QVERIFY(bandOn->SetValue(0, 5));
        QCOMPARE(bandOn->results[0], 5.0);
        auto rect = make(KindRect, {{10, 10}, {10, 10}});
        QVERIFY(rect->SetValue(2, 5));
        QCOMPARE(rect->points[1], QPointF(15, 10));
        auto leftward = make(KindRect, {{100, 100}, {80, 150}});
        QVERIFY(leftward->SetValue(2, 40));
        QVERIFY(leftward->SetValue(3, 10));
        QCOMPARE(leftward->points[1], QPointF(60, 110));
        QCOMPARE(leftward->points[2], QPointF(80, 150)); // the anchor stays
        QVERIFY(!leftward->SetValue(0, 10));
        QVERIFY(!leftward->SetValue(1, 10));
        auto angle = make(KindAngle, {{0, 0}, {10, 0}, {0, 0}, {10, 10}});
        QVERIFY(!angle->SetValue(0, 30));
    }

    void rowsThroughTheContainer() {
        CCLObjectContainer* c = t->sys->shapeContainer();
        c->SetDisrate(0.5f);
        const QList<QPair<int, Points>> made = {{KindAngle, {{0, 0}, {10, 0}, {0, 0}, {10, 10}}},
                                                {KindRect, {{10, 20}, {40, 60}}},
                                                {KindP2L, {{0, 0}, {100, 0}, {50, 30}}},
                                                {KindL2L, {{0, 0}, {100, 0}, {40, 50}, {60, 30}}},
                                                {KindCL2CL, {{0, 0}, {100, 0}, {0, 20}, {0, 60}, {50, 80}}}};
        for (const auto& m : made) {
            c->SetCurType(m.first);
            for (const QPointF& p : m.second)
                c->OnMousePress(p);
        }
        QCOMPARE(c->shapes().size(), 5);
        QCOMPARE(c->shapes()[0]->labelNumber, 1);
        QCOMPARE(c->shapes()[2]->labelNumber, 1); // lines count apart from angles
        QCOMPARE(c->shapes()[3]->labelNumber, 2);
        const QList<QList<double>> rows = {{0, 0, 0, 45, 0, 0, 0, 0, 0},
                                          {0, 70, 300, 0, 0, 15, 20, 0, 0},
                                          {15, 0, 0, 0, 0, 0, 0, 0, 0},
                                          {20, 0, 0, 0, 0, 0, 0, 0, 0},
                                          {30, 0, 0, 0, 0, 0, 0, 0, 0}};
        for (int i = 0; i < 5; ++i) {
            QList<double> built;
            c->shapes()[i]->BuildRows(built);
            QCOMPARE(built.size(), 9);
            for (int col = 0; col < 9; ++col)
                QVERIFY2(std::fabs(built[col] - rows[i][col]) < 1e-4, qPrintable(QString("%1/%2").arg(i).arg(col)));
        }
        CCLBaseObject* rect = c->shapes()[1];
        QCOMPARE(rect->GetEditPart(ColWidth, 0), 2);
        QCOMPARE(rect->GetEditPart(ColHeight, 0), 3);
        QCOMPARE(rect->GetEditPart(ColGirth, 0), -1);
        QCOMPARE(c->shapes()[0]->GetEditPart(ColAngle, 0), -1);
        QCOMPARE(c->shapes()[4]->GetObjType(), 9); // shared with the circle-to-circle type id
    }

    void paintStaysInsideUpdateRects_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Points>("clicks");
        QTest::addColumn<QPointF>("cursor");
        // Image y up: view y = 1080 - y.
        QTest::newRow("angle") << int(KindAngle) << Points{{300, 300}, {600, 320}, {300, 700}, {650, 600}}
                               << QPointF();
        QTest::newRow("angle, far intersection")
            << int(KindAngle) << Points{{100, 500}, {900, 500}, {100, 530}, {900, 540}} << QPointF();
        QTest::newRow("p2l, foot beyond p1") << int(KindP2L) << Points{{200, 200}, {400, 220}, {900, 700}}
                                             << QPointF();
        QTest::newRow("l2l, foot beyond p0")
            << int(KindL2L) << Points{{800, 200}, {1000, 200}, {300, 600}, {500, 500}} << QPointF();
        QTest::newRow("large rectangle") << int(KindRect) << Points{{50, 40}, {1800, 1000}} << QPointF();
        QTest::newRow("band") << int(KindCL2CL) << Points{{800, 300}, {500, 300}, {600, 400}, {500, 600}, {900, 700}}
                              << QPointF();
        QTest::newRow("angle creating") << int(KindAngle) << Points{{300, 300}, {600, 320}, {300, 700}}
                                        << QPointF(650, 600);
        QTest::newRow("p2l creating") << int(KindP2L) << Points{{200, 200}, {400, 220}} << QPointF(900, 700);
        QTest::newRow("l2l creating") << int(KindL2L) << Points{{800, 200}, {1000, 200}, {300, 600}}
                                      << QPointF(500, 500);
        QTest::newRow("rect creating") << int(KindRect) << Points{{50, 40}} << QPointF(1800, 1000);
        QTest::newRow("band creating")
            << int(KindCL2CL) << Points{{800, 300}, {500, 300}, {600, 400}, {500, 600}} << QPointF(900, 700);
    }
    void paintStaysInsideUpdateRects() {
        QFETCH(int, kind);
        QFETCH(Points, clicks);
        QFETCH(QPointF, cursor);
        const bool creating = !cursor.isNull();
        std::unique_ptr<CCLBaseObject> s(ShapeRegistry::create(kind));
        s->labelNumber = 1;
        s->penWidth = 3;
        for (const QPointF& p : clicks)
            s->AddPoint(p);
        if (creating) {
            s->MoveCurPoint(cursor);
        } else {
            QVERIFY(s->IsFinished());
            s->points.last() += QPointF(40, -30); // the label dragged aside
            s->CalcResult();
        }
        const QString failure = CoverageFailure(*s, creating);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

QTEST_MAIN(LineDistanceShapesTest)
#include "tst_line_distance_shapes.moc"
