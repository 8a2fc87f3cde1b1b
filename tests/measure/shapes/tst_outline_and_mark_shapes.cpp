// Polygon, lasso, polyline, the numbered markers and the text mark:
// closing rules, shoelace areas against hand-computed values, the lasso
// drawn on the overlay, numbering across kinds, dropped text marks, and
// painting inside the update rectangles.

#include "ShapeTestKit.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/CLPolygon.h"
#include "measure/shapes/CLSIGN_1.h"
#include "measure/shapes/CLText.h"
#include "measure/shapes/ShapeRegistration.h"
#include "tests/support/MouseInput.h"

#include <QtTest>

#include <cmath>
#include <memory>

using Points = QVector<QPointF>;
Q_DECLARE_METATYPE(Points)

class OutlineAndMarkShapesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShapeTestKit> t;

    CCLBaseObject* build(int kind, const Points& clicks) { return BuildShape(*t->sys, kind, clicks); }
    static void mouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons) {
        sendMouse(w, type, pos, Qt::LeftButton, buttons);
    }

private slots:
    void init() { t = std::make_unique<ShapeTestKit>(); }
    void cleanup() { t.reset(); }

    void everyKindHasItsClass() {
        for (int kind = 1; kind <= KindCount; ++kind) {
            std::unique_ptr<CCLBaseObject> s(ShapeRegistry::create(kind));
            QVERIFY2(s, qPrintable(QString::number(kind)));
            QCOMPARE(s->kind, kind);
        }
    }

    void unitSquareAndConcavePolygon() {
        // 100 view px per image px, so that the unit square's corners are apart.
        imageWidth = 19.2f;
        imageHeight = 10.8f;
        CCLBaseObject* square = build(KindPolygon, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 1}});
        QVERIFY(square);
        QCOMPARE(static_cast<CLPolygon*>(square)->count, 4);
        QCOMPARE(square->results, QList<double>({4, 1}));
        CCLBaseObject* clockwise = build(KindPolygon, {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {1, 0}});
        QCOMPARE(clockwise->results[1], 1.0);
        imageWidth = 1920;
        imageHeight = 1080;
        // A rectangle 400 x 300 with the triangle (400,300) (200,100) (0,300) cut out.
        CCLBaseObject* notch = build(KindPolygon, {{0, 0}, {400, 0}, {400, 300}, {200, 100}, {0, 300}, {0, 300}});
        QVERIFY(std::fabs(notch->results[1] - 80000.0) < 0.5);
        QVERIFY(std::fabs(notch->results[0] - (1000.0 + 4.0 * 100.0 * std::sqrt(2.0))) < 0.01);
        labelStyle = 2;
        QCOMPARE(notch->GetShowText(notch->results[1]), QString::fromUtf8("AR=80000.00mm²"));
        QCOMPARE(notch->GetRowCount(), 1);
        QCOMPARE(notch->GetEditPart(ColArea, 0), -1);
    }

    void closingDistance() {
        CCLBaseObject* closed = build(KindPolygon, {{100, 100}, {300, 100}, {300, 300}, {305, 305}});
        QVERIFY(closed);
        QCOMPARE(static_cast<CLPolygon*>(closed)->count, 3);
        QVERIFY(!build(KindPolygon, {{100, 100}, {300, 100}, {300, 300}, {306, 300}}));
        QCOMPARE(t->sys->shapeContainer()->creating()->points.size(), 4); // still open, taking points
        t->sys->shapeContainer()->FinishCreating(); // the right button drops an open outline
        QCOMPARE(t->sys->shapeContainer()->creating()->points.size(), 0);
        QCOMPARE(t->sys->shapeContainer()->shapes().size(), 1);
    }

    void polylineLength() {
        CCLBaseObject* chain = build(KindPolyLine, {{0, 0}, {300, 400}, {300, 400}});
        QVERIFY(chain);
        QCOMPARE(static_cast<CLPolygon*>(chain)->count, 2);
        QCOMPARE(chain->results, QList<double>({500}));
        QCOMPARE(chain->GetResultColumn(0), int(ColGirth));
        labelStyle = 4;
        chain->labelNumber = 2;
        QCOMPARE(chain->GetShowText(500), QString("D2=500.00mm"));
        QVERIFY(!build(KindPolyLine, {{10, 10}, {10, 10}})); // two points do not end a chain
        t->sys->shapeContainer()->OnMousePress({10, 10});
        QCOMPARE(t->sys->shapeContainer()->shapes().last()->results, QList<double>({0}));
    }

    void polygonAndPolylineEndedByADoubleClickOnTheOverlay() {
        t->sys.reset();
        QWidget host;
        host.resize(800, 400);
        RegisterMeasureShapes();
        auto* layer = new ItemLayer(&host);
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 800, 400), QSize(800, 400));
        CCLObjectContainer* c = layer->measureSystem()->shapeContainer();
        MessagePassing::instance()->useMeasureTool(10);
        for (const QPoint& p : {QPoint(100, 100), QPoint(300, 100), QPoint(300, 300)})
            clickAt(layer, p);
        doubleClickAt(layer, {100, 300}, Qt::LeftButton);
        QCOMPARE(c->shapes().size(), 1);
        QCOMPARE(static_cast<CLPolygon*>(c->shapes()[0])->count, 4);
        QCOMPARE(c->shapes()[0]->results[1], 40000.0);
        MessagePassing::instance()->useMeasureTool(8);
        clickAt(layer, {100, 350});
        doubleClickAt(layer, {400, 350}, Qt::LeftButton);
        QCOMPARE(c->shapes().size(), 2);
        QCOMPARE(c->shapes()[1]->results[0], 300.0);
        MessagePassing::instance()->useMeasureTool(-1);
    }

    void lassoDrawnOnTheOverlay() {
        t->sys.reset();
        QWidget host;
        host.resize(800, 400);
        RegisterMeasureShapes();
        auto* layer = new ItemLayer(&host);
        layer->init();
        layer->syncToVideoRect(QRect(0, 0, 800, 400), QSize(800, 400));
        MessagePassing::instance()->useMeasureTool(25);
        CCLObjectContainer* c = layer->measureSystem()->shapeContainer();
        // Too short a drag is dropped, not kept unfinished.
        mouse(layer, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
        mouse(layer, QEvent::MouseMove, {110, 100}, Qt::LeftButton);
        mouse(layer, QEvent::MouseButtonRelease, {110, 100}, Qt::NoButton);
        QVERIFY(c->shapes().isEmpty());
        QCOMPARE(c->creating()->points.size(), 0);
        // A circle of radius 150 view (= image) px through 200 positions.
        const int n = 200;
        for (int i = 0; i < n; ++i) {
            const double a = 2.0 * M_PI * i / n;
            const QPoint p(int(std::lround(400 + 150 * std::cos(a))), int(std::lround(200 + 150 * std::sin(a))));
            mouse(layer, i == 0 ? QEvent::MouseButtonPress : QEvent::MouseMove, p, Qt::LeftButton);
        }
        mouse(layer, QEvent::MouseButtonRelease, {550, 200}, Qt::NoButton);
        QCOMPARE(c->shapes().size(), 1);
        auto* lasso = static_cast<CLPolygon*>(c->shapes()[0]);
        QCOMPARE(lasso->count, n - 1);
        QVERIFY2(std::fabs(lasso->results[1] / (M_PI * 150 * 150) - 1.0) < 0.01, qPrintable(QString::number(lasso->results[1])));
        MessagePassing::instance()->useMeasureTool(-1);
    }

    void signsNumberedAcrossKinds() {
        QList<int> numbers;
        for (int kind : {KindSign1, KindSign3, KindSign2, KindSign1})
            numbers << static_cast<CLSIGN_1*>(build(kind, {{500, 500}}))->signNumber;
        QCOMPARE(numbers, QList<int>({1, 2, 3, 4}));
        CCLBaseObject* sign = t->sys->shapeContainer()->shapes()[0];
        QCOMPARE(sign->GetRowCount(), 0);
        QCOMPARE(sign->HitTest(ImageToView({500, 500}) + QPoint(3, 4)), 3);
        QCOMPARE(sign->HitTest(ImageToView({500, 500}) + QPoint(6, 0)), 0);
    }

    void textMarkTakesItsTextOrIsDropped() {
        QString answer;
        int asked = 0;
        textInputCallback = [&] {
            ++asked;
            return answer;
        };
        QVERIFY(!build(KindText, {{100, 100}, {300, 200}}));
        QCOMPARE(asked, 1);
        QCOMPARE(t->sys->shapeContainer()->creating()->points.size(), 0);
        answer = "crack\nwidth";
        auto* mark = static_cast<CLText*>(build(KindText, {{100, 100}, {300, 200}}));
        QVERIFY(mark);
        QCOMPARE(mark->text, answer);
        QCOMPARE(mark->GetRowCount(), 0);
        QList<double> rows;
        mark->BuildRows(rows);
        QVERIFY(rows.isEmpty());
        mark->TextBox();
        QCOMPARE(mark->cachedLineLength, 5);
        // Deleted through the base class, as the container does.
        CCLBaseObject* copy = ShapeRegistry::clone(KindText, mark);
        QCOMPARE(static_cast<CLText*>(copy)->text, answer);
        delete copy;
    }

    void paintStaysInsideUpdateRects_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Points>("clicks");
        QTest::addColumn<bool>("creating");
        const Points outline = {{300, 300}, {900, 320}, {1000, 800}, {400, 700}};
        QTest::newRow("polygon") << int(KindPolygon) << outline + Points{outline.last()} << false;
        QTest::newRow("polygon creating") << int(KindPolygon) << outline << true;
        QTest::newRow("polyline") << int(KindPolyLine) << outline + Points{outline.last()} << false;
        QTest::newRow("polyline creating") << int(KindPolyLine) << outline << true;
        for (int k : {KindSign1, KindSign2, KindSign3})
            QTest::addRow("sign %d", k) << k << Points{{700, 500}} << false;
        QTest::newRow("text") << int(KindText) << Points{{300, 300}, {1800, 1000}} << false;
        QTest::newRow("text creating") << int(KindText) << Points{{300, 300}} << true;
    }
    void paintStaysInsideUpdateRects() {
        QFETCH(int, kind);
        QFETCH(Points, clicks);
        QFETCH(bool, creating);
        textInputCallback = [] { return QString("a note\nof two lines"); };
        CCLBaseObject* s = build(kind, clicks);
        if (creating) {
            s = t->sys->shapeContainer()->creating();
            s->MoveCurPoint({1500, 900});
        }
        QVERIFY(s);
        s->labelNumber = 12;
        s->penWidth = 3;
        if (kind >= KindSign1 && kind <= KindSign3)
            static_cast<CLSIGN_1*>(s)->signNumber = 128;
        const QString failure = CoverageFailure(*s, creating);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

QTEST_MAIN(OutlineAndMarkShapesTest)
#include "tst_outline_and_mark_shapes.moc"
