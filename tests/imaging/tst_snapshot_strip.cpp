#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "imaging/SnapHistory.h"
#include "imaging/SnapHistoryGrid.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QtTest>

// The recent-snapshot strip against the hub's recent-image list.
class TestSnapshotStrip : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void keepsFiftyNewestOnTop();
    void removingTheSelectedSelectsTheNewest();
    void reloadAndDeleteAllWhileLoading();
};

namespace {
struct Rig {
    TestEnv env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    Rig() {
        QDir().mkpath("./.scaleImage");
        hub->setCurCamera(&cam); // opens ./ImageHistory.ini
        hub->initImageHistory();
    }
    ~Rig() { hub->setCurCamera(nullptr); }
    // A picture in the list with its thumbnail, as a save leaves them.
    QString add(int n, QSize thumb = QSize(40, 30)) {
        const QString path = env.file(QString("p%1.png").arg(n));
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::gray);
        img.save(path);
        const int index = hub->getImageHistoryTotalCnt();
        QImage t(thumb, QImage::Format_RGB32);
        t.fill(QColor(n % 256, 90, 200));
        t.save(QString("./.scaleImage/%1.jpg").arg(index), "JPG", 60);
        hub->addImageHistory(path);
        return path;
    }
};
} // namespace

void TestSnapshotStrip::keepsFiftyNewestOnTop() {
    Rig rig;
    SnapHistory strip;
    strip.resize(300, 800);
    strip.show();
    strip.showAndReload();
    for (int i = 0; i < 51; ++i)
        rig.add(i);
    QCOMPARE(strip.cells().size(), 50);
    QCOMPARE(strip.cells().first()->picture().fileName(), QString("p1.png")); // p0 went
    const SnapHistoryGrid* newest = strip.cells().last();
    QCOMPARE(newest->y(), 0);
    QCOMPARE(strip.cells()[48]->y(), newest->height() + 10);
    // Announcing a listed picture again refreshes its cell and adds none.
    rig.hub->addImageHistory(rig.env.file("p30.png"));
    QCOMPARE(strip.cells().size(), 50);
    QTRY_VERIFY(!newest->imageLabel()->pixmap(Qt::ReturnByValue).isNull()); // after 300 ms
}

void TestSnapshotStrip::removingTheSelectedSelectsTheNewest() {
    Rig rig;
    for (int i = 0; i < 4; ++i)
        rig.add(i);
    rig.hub->setEditImage(rig.env.file("p1.png"));
    SnapHistory strip;
    strip.showAndReload();
    QVERIFY(strip.cells()[1]->selected()); // the picture being edited
    SnapHistoryGrid::setQuestion([](const QString& label, const QString&, const QString&) {
        return !label.isEmpty();
    });
    QMetaObject::invokeMethod(strip.cells()[1], "btnCloseClick");
    SnapHistoryGrid::setQuestion({});
    QCOMPARE(strip.cells().size(), 3);
    QVERIFY(!strip.cells().last()->selected());
    QTRY_VERIFY(strip.cells().last()->selected());
    QVERIFY(!strip.cells().first()->selected());
    QCOMPARE(rig.hub->getImageHistoryPath(1), QString()); // gone from the list; the file stays
    QVERIFY(QFile::exists(rig.env.file("p1.png")));
}

void TestSnapshotStrip::reloadAndDeleteAllWhileLoading() {
    // Thumbnails large enough that the worker is still busy while the cells
    // are dropped under it, again and again.
    Rig rig;
    for (int i = 0; i < 40; ++i)
        rig.add(i, QSize(1600, 1200));
    SnapHistory strip;
    for (int round = 0; round < 5; ++round) {
        strip.showAndReload();
        QVERIFY(strip.worker().isRunning());
        QCoreApplication::processEvents();
        if (round % 2)
            strip.showAndReload();
        else
            strip.removeAllImageHistorySLOT();
    }
    strip.showAndReload();
    QCOMPARE(strip.cells().size(), 40);
    QTRY_VERIFY_WITH_TIMEOUT(!strip.cells().first()->imageLabel()->pixmap(Qt::ReturnByValue).isNull(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!strip.worker().isRunning(), 20000);
    QTRY_VERIFY(!strip.cells().last()->imageLabel()->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(strip.cells().last()->imageLabel()->pixmap(Qt::ReturnByValue).height(),
             strip.cells().last()->imageLabel()->height());
    rig.hub->removeAllImageHistory();
    QVERIFY(strip.cells().isEmpty());
}

QTEST_MAIN(TestSnapshotStrip)
#include "tst_snapshot_strip.moc"
