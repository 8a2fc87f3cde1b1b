// Geometry, hit tests, painting primitives and repaint regions, against
// hand-computed values.

#include "TestShapes.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
int paintedPixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white))
                ++n;
    return n;
}

QImage drawn(const std::function<void(QPainter*)>& draw) {
    QImage img(120, 120, QImage::Format_ARGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(QPen(Qt::black, 1));
    draw(&p);
    return img;
}
} // namespace

class GeometryHelpersTest : public QObject {
    Q_OBJECT
private slots:
    void vectors() {
        QCOMPARE(NormalizeVector({1, 0}), QPointF(1, 0));
        const QPointF n = NormalizeVector({3, 4});
        QVERIFY(qFuzzyCompare(n.x(), 0.6) && qFuzzyCompare(n.y(), 0.8));
        QCOMPARE(NormalizeVector({0, 0}), QPointF(0, 0));
        QCOMPARE(RotateLeft90({2, 3}), QPointF(-3, 2));
        QCOMPARE(RotateRight90({2, 3}), QPointF(3, -2));
        QCOMPARE(ProjectVector({3, 4}, {2, 0}), QPointF(3, 0));
        QVERIFY(qFuzzyCompare(GetVectorAngle({1, 0}, {0, 1}), M_PI / 2));
        QCOMPARE(GetVectorAngle({1, 0}, {2, 0}), 0.0);
        QCOMPARE(GetDistance({0, 0}, {30, 40}), 50.0f);
        QCOMPARE(GetDistanceI({0, 0}, {3, 5}), 5); // 5.83 truncated
    }

    void intersectionsAndFeet() {
        QPointF x;
        QVERIFY(!GetLineIntersection({0, 0}, {0, 10}, {5, 0}, {5, 10}, x));
        QVERIFY(GetLineIntersection({-1, -1}, {1, 1}, {-1, 1}, {1, -1}, x));
        QVERIFY(qAbs(x.x()) < 1e-6 && qAbs(x.y()) < 1e-6);
        QVERIFY(!GetLineIntersection({0, 0}, {10, 10}, {0, 1}, {10, 11}, x)); // parallel
        QVERIFY(GetLineIntersection({0, 0}, {10, 10}, {4, -3}, {4, 30}, x));  // second vertical
        QCOMPARE(x, QPointF(4, 4));
        QCOMPARE(GetFootPoint({3, 7}, {0, 0}, {10, 0}), QPointF(3, 0));
        QCOMPARE(GetFootPoint({3, 7}, {1, 0}, {1, 10}), QPointF(1, 7));
        const QPointF f = GetFootPoint({0, 2}, {0, 0}, {2, 2});
        QVERIFY(qFuzzyCompare(f.x(), 1.0) && qFuzzyCompare(f.y(), 1.0));
        QCOMPARE(GetCrossPoint({0, 0}, {2, 2}, {0, 2}, {2, 0}), QPointF(1, 1));
    }

    void circlesAndAngles() {
        const QPointF c = GetCircleCenter({60, 10}, {10, 60}, {-40, 10});
        QVERIFY(qAbs(c.x() - 10) < 1e-9 && qAbs(c.y() - 10) < 1e-9);
        bool ok = true;
        GetCircleCenter({0, 0}, {1, 1}, {2, 2}, &ok);
        QVERIFY(!ok);
        QPointF nearP, farP;
        GetNearFarPoints({20, 0}, {0, 0}, 5, nearP, farP);
        QCOMPARE(nearP, QPointF(5, 0));
        QCOMPARE(farP, QPointF(-5, 0));
        GetNearFarPoints({0, 0}, {0, 0}, 5, nearP, farP);
        QCOMPARE(nearP, QPointF(-1, -1));
        QVERIFY(qAbs(GetTriangleAngle({10, 0}, {0, 0}, {0, 10}) - 90.0f) < 1e-4f);
        QCOMPARE(GetTriangleAngle({0, 0}, {0, 0}, {0, 10}), 0.0f);
        QCOMPARE(GetLineAngleI({0, 0}, {0, 10}), 90.0f);
        QCOMPARE(GetLineAngleI({0, 0}, {0, -10}), 270.0f);
        QCOMPARE(GetLineAngleI({0, 0}, {-10, 0}), 180.0f);
        QVERIFY(qAbs(GetLineAngleI({0, 0}, {10, -10}) - 315.0f) < 1e-4f);
        QCOMPARE(GetSegmentAngleI({0, 0}, {-5, 0}), 180.0f);
        QVERIFY(qAbs(GetSegmentAngleI({0, 0}, {10, 10}) + 45.0f) < 1e-4f);
        QVERIFY(!IsSameSide({0, 0}, {3, 4}, {9, 9})); // 5 px apart
        QVERIFY(IsSameSide({0, 0}, {10, 0}, {20, 5}));
        QVERIFY(!IsSameSide({0, 0}, {10, 0}, {5, 5}));
    }

    void hitTests() {
        QVERIFY(IsNearPoint({0, 0}, {5, -5}));
        QVERIFY(!IsNearPoint({0, 0}, {6, 0}));
        QVERIFY(HitTestLine({50, 9}, {0, 0}, {100, 0}));
        QVERIFY(!HitTestLine({50, 10}, {0, 0}, {100, 0}));
        QVERIFY(!HitTestLine({115, 0}, {0, 0}, {100, 0})); // outside the grown box
        QVERIFY(IsInCircle({3, 4}, {0, 0}, 5));
        QVERIFY(!IsInCircle({3, 4.1}, {0, 0}, 5));
    }

    void coordinatesBothWays() {
        OzaMeasureSys sys;
        QCOMPARE(ImageToView({200, 100}), QPoint(0, 0)); // no active system yet
        sys.setActive(true);
        imageWidth = 2000;
        imageHeight = 1000;
        viewWidth = 1000;
        viewHeight = 500;
        QCOMPARE(ImageToView({200, 100}), QPoint(100, 450));
        QCOMPARE(ViewToImage({100, 450}), QPointF(200, 100));
        QCOMPARE(FlipImageY({200, 100}), QPointF(200, 900));
        QCOMPARE(ViewToImageLength(10), 20.0f);
        QCOMPARE(ViewToImageLength(0), 0.0f);
        imageWidth = viewWidth = 1920;
        imageHeight = viewHeight = 1080;
        QCOMPARE(ViewToImage({0, 0}), QPointF(0, 1080));
        QCOMPARE(ImageToView({0, 1080}), QPoint(0, 0));
    }

    void shortArrowHasNoHeads() {
        const QImage plain = drawn([](QPainter* p) { DrawLine(p, {10, 50}, {19, 50}); });
        const QImage arrow = drawn([](QPainter* p) { DrawArrowLine(p, {10, 50}, {19, 50}); });
        QCOMPARE(arrow, plain);
        const QImage longPlain = drawn([](QPainter* p) { DrawLine(p, {10, 50}, {100, 50}); });
        const QImage longArrow = drawn([](QPainter* p) { DrawArrowLine(p, {10, 50}, {100, 50}); });
        QVERIFY(paintedPixels(longArrow) > paintedPixels(longPlain));
        // Heads are filled in the pen colour: a pixel above the shaft near the tip.
        QCOMPARE(longArrow.pixelColor(12, 49), QColor(Qt::black));
    }

    void dimensionLineHasEndBars() {
        const QImage img = drawn([](QPainter* p) { DrawDimensionLine(p, {20, 60}, {100, 60}, true); });
        QCOMPARE(img.pixelColor(20, 52), QColor(Qt::black)); // 8 px above the start
        QCOMPARE(img.pixelColor(100, 68), QColor(Qt::black));
        QCOMPARE(img.pixelColor(60, 52), QColor(Qt::white));
        QCOMPARE(img.pixelColor(20, 40), QColor(Qt::white)); // beyond the 9-px bar
    }

    void repaintRegions() {
        imageWidth = viewWidth = 1920;
        imageHeight = viewHeight = 1080;
        QCOMPARE(ClampRectToView({1900, 1070}, {100, 30}), QRect(1820, 1050, 100, 30));
        QCOMPARE(ClampRectToView({-5, -7}, {100, 30}), QRect(0, 0, 100, 30));
        QList<QRect> rects;
        AddLineRects(rects, {100, 100}, {103, 104});
        QCOMPARE(rects, QList<QRect>({QRect(-50, -50, 300, 300)}));
        rects.clear();
        AddLineRects(rects, {100, 100}, {200, 150});
        QCOMPARE(rects, QList<QRect>({QRect(QPoint(90, 90), QPoint(210, 160))}));
        rects.clear();
        AddLineRects(rects, {0, 0}, {900, 600}); // a chain of three boxes
        QCOMPARE(rects.size(), 3);
        QCOMPARE(rects[1], QRect(QPoint(290, 190), QPoint(610, 410)));
        rects.clear();
        AddPointRect(rects, {50, 50}, 30);
        AddPointRect(rects, {50, 50}, 0);
        QCOMPARE(rects[0], QRect(20, 20, 60, 60));
        QCOMPARE(rects[1], QRect(-100, -100, 300, 300));
        rects.clear();
        AddCircleRects(rects, {500, 500}, 20);
        QCOMPARE(rects, QList<QRect>({QRect(460, 460, 80, 80)}));
        rects.clear();
        AddCircleRects(rects, {500, 500}, 100);
        QCOMPARE(rects.size(), 4);
        QVERIFY(!rects[0].intersects(QRect(500 - 60, 500 - 60, 120, 120))); // the inner square is left out
        rects.clear();
        AddHVLineRect(rects, true, 3);
        QCOMPARE(rects, QList<QRect>({QRect(0, 0, 1920, 10)}));
        RecordingView view;
        measureView = &view;
        UpdateLineBand({100, 100}, {200, 200});
        QVERIFY(view.rects.size() >= 4);
        QVERIFY(!QRegion(view.rects.first()).intersects(QRect(111, 111, 78, 78)));
        measureView = nullptr;
    }
};

QTEST_MAIN(GeometryHelpersTest)
#include "tst_geometry_helpers.moc"
