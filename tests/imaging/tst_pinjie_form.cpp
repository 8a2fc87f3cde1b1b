// The stitching panel: its step queue driven by a simulated stage camera,
// the frames it shows of a growing mosaic, export with both crops, the
// hand-shake with a responder that answers as the general settings do, and
// the flat-field reference.
#include "tests/support/CvAllocationLog.h"
#include "StitchPanGenerator.h"
#include "StitchStageCamera.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "imaging/PinJieForm.h"
#include "imaging/StitchMosaicItem.h"
#include "imaging/StitchRun.h"
#include "imaging/StitchStart.h"
#include "imaging/ThreadPinJie.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QApplication>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QJsonObject>

namespace {

const StitchPanGenerator& generator() {
    static const StitchPanGenerator gen([] {
        StitchPanOptions o;
        o.cameraFrame = cv::Size(960, 540);
        o.specimen = cv::Size(3200, 1600);
        o.uniformPatch = cv::Rect(0, 0, 0, 0);
        return o;
    }());
    return gen;
}

} // namespace

class TestPinJieForm : public QObject {
    Q_OBJECT

    TestEnv* env = nullptr;
    StitchStageCamera* camera = nullptr;
    PinJieForm* form = nullptr;
    QWidget* host = nullptr; // stands in for the main widget's view area

    // Accepts the next save dialog with `path`.
    void acceptSaveDialog(const QString& path) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [timer, path] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                d->selectFile(path);
                QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
                timer->deleteLater();
            }
        });
        timer->start(20);
    }
    QStringList messages() const {
        QStringList out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w))
                if (box->isVisible())
                    out << box->text();
        return out;
    }

private slots:
    void init() {
        env = new TestEnv;
        MessagePassing* hub = MessagePassing::instance();
        camera = new StitchStageCamera(generator().frameSize());
        StitchPanPlan plan;
        plan.origin = QPoint(200, 300);
        plan.cols = 3;
        plan.rows = 2;
        plan.step = QPoint(320, 180);
        plan.hold = 3;
        plan.jump = false;
        camera->pan = generator().pan(plan);
        hub->setCurCamera(camera);
        hub->setLanguage(1);
        StitchStart::featherMasks(camera->frameSize(false), camera->previewSize(), &hub->pinJieMask,
                                  &hub->pinJieMaskHalf);
        // The general settings' answer to the resolution request.
        connect(hub, &MessagePassing::changeFenBianLv1080pSIGNAL, this,
                [hub](int requester) { hub->changeFenBianLv1080pFinish(requester); });
        host = new QWidget;
        host->resize(800, 600);
        makeForm();
    }
    // A new panel (reading its mode from ./PinJieForm.ini) whose view the host takes.
    void makeForm() {
        delete form;
        form = new PinJieForm;
        connect(form, &PinJieForm::moveGraphicsView, this, [this](QGraphicsView* view) {
            view->setParent(host);
            view->resize(host->size());
            view->show();
            form->gotoStart();
        });
    }
    void cleanup() {
        disconnect(MessagePassing::instance(), &MessagePassing::changeFenBianLv1080pSIGNAL, this, nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->close();
        delete form;
        form = nullptr;
        delete host;
        MessagePassing::instance()->setCurCamera(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete camera;
        delete env;
    }

    void playStitchesThePanAndStopEndsTheSnapshots() {
        QPushButton* play = form->findChild<QPushButton*>("btnPlay");
        QSignalSpy requested(MessagePassing::instance(), SIGNAL(changeFenBianLv1080pSIGNAL(int)));
        play->click();
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toInt(), 2);
        QTRY_VERIFY(form->hasWorker());
        QCOMPARE(form->stepQueue(), QList<int>({1, 6}));
        // Every stop of the pan is placed, within a pixel.
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 6, 60000);
        const QMap<int, QRect>& placed = form->mosaic().placements();
        QCOMPARE(form->stepQueue(), QList<int>({1}));
        const QPoint p0 = placed.value(0).topLeft();
        for (auto it = placed.constBegin(); it != placed.constEnd(); ++it) {
            const QPoint d = it.value().topLeft() - p0;
            bool nearStop = false;
            for (const QPoint& s : StitchPanGenerator::stops([] {
                     StitchPanPlan p;
                     p.origin = QPoint(200, 300), p.cols = 3, p.rows = 2, p.step = QPoint(320, 180), p.jump = false;
                     return p;
                 }()))
                nearStop |= (d - (s - QPoint(200, 300))).manhattanLength() <= 1;
            QVERIFY2(nearStop, qPrintable(QString("placement %1 at %2,%3").arg(it.key()).arg(d.x()).arg(d.y())));
        }

        // Stop: the next frame runs the stop step, after which no snapshot is asked for.
        form->btnStopClick();
        QCOMPARE(form->stepQueue().first(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(form->stepQueue().isEmpty(), 10000);
        const int snaps = camera->snaps;
        QTest::qWait(400);
        QCOMPARE(camera->snaps, snaps);
        QVERIFY(play->isEnabled());
    }

    // The start's tens of megabytes (the mosaic, the feather masks of the
    // camera's geometry) are allocated by the worker, not by the interface
    // thread; the scene shows the prepared mosaic, and the run goes on with
    // frames placed by the worker too.
    void theWorkerPreparesTheMosaicAndPlacesTheFrames_data() {
        QTest::addColumn<bool>("precision");
        QTest::newRow("precision") << true;
        QTest::newRow("fast") << false;
    }
    void theWorkerPreparesTheMosaicAndPlacesTheFrames() {
        QFETCH(bool, precision);
        QSettings("./PinJieForm.ini", QSettings::IniFormat).setValue("isRbtn1", precision);
        makeForm();
        MessagePassing* hub = MessagePassing::instance();
        const CvAllocationLog log;
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form->mosaic().mosaic().empty(), 30000);

        const cv::Mat mosaic = form->mosaic().mosaic();
        QCOMPARE(mosaic.cols, precision ? 5000 : 2500);
        QVERIFY(log.madeBy(mosaic.data));
        QVERIFY(log.madeBy(mosaic.data) != QThread::currentThread());
        QCOMPARE(hub->pinJieMask.size(), cv::Size(960, 540));
        for (const cv::Mat* mask : {&hub->pinJieMask, &hub->pinJieMaskHalf}) {
            QVERIFY(log.madeBy(mask->data));
            QVERIFY(log.madeBy(mask->data) != QThread::currentThread());
        }

        // The scene's picture of the mosaic: the first frame in the centre, black around it.
        StitchMosaicItem* shown = nullptr;
        for (QGraphicsItem* item : form->graphicsView()->scene()->items())
            if (auto* p = dynamic_cast<StitchMosaicItem*>(item))
                if (p->pixmap().width() == mosaic.cols)
                    shown = p;
        QVERIFY(shown);
        const QImage picture = shown->pixmap().toImage();
        const QRect first = form->mosaic().placements().value(0);
        QCOMPARE(first.size(), precision ? QSize(960, 540) : QSize(480, 270));
        QCOMPARE(first.center(), QPoint(mosaic.cols / 2 - 1, mosaic.rows / 2 - 1));
        for (const QPoint& p : {first.topLeft(), first.center(), first.bottomRight(), QPoint(first.x() + 7, first.y() + 200)}) {
            const cv::Vec3b m = mosaic.at<cv::Vec3b>(p.y(), p.x());
            QCOMPARE(picture.pixelColor(p), QColor(m[0], m[1], m[2]));
            QVERIFY(m != cv::Vec3b(0, 0, 0));
        }
        for (const QPoint& p : {QPoint(0, 0), first.topLeft() - QPoint(1, 1), first.bottomRight() + QPoint(1, 1)})
            QCOMPARE(picture.pixelColor(p), QColor(Qt::black));

        // The run goes on from it: the next stop is placed, and placed by the
        // worker (the mosaic keeps a copy of the placed frame, made there).
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 2, 60000);
        const cv::Mat placedFrame = form->mosaic().previousFrame();
        QVERIFY(log.madeBy(placedFrame.data));
        QVERIFY(log.madeBy(placedFrame.data) != QThread::currentThread());
    }

    // A placed frame repaints the view around itself, not the whole mosaic:
    // neither its picture nor the view's unchanged scale repaints it all.
    void placedFramesRepaintOnlyAroundThemselves() {
        host->show();
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 2, 60000);
        QGraphicsView* view = form->graphicsView();
        QTRY_VERIFY(view->isVisible());
        struct Repaints : QObject {
            QVector<QRect> rects;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint)
                    rects << static_cast<QPaintEvent*>(event)->region().boundingRect();
                return false;
            }
        } repaints;
        view->viewport()->installEventFilter(&repaints);
        const int placed = form->mosaic().placements().size();
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= placed + 2, 60000);
        const QRect frameInView = view->mapFromScene(QRectF(QPointF(0, 0), QSizeF(camera->frameSize(false))))
                                      .boundingRect();
        const QRect mosaicInView = view->mapFromScene(view->sceneRect()).boundingRect() & view->viewport()->rect();
        QVERIFY(!repaints.rects.isEmpty());
        for (const QRect& r : repaints.rects)
            QVERIFY2(r.width() <= 2 * frameInView.width() + 8 && r.height() <= 2 * frameInView.height() + 8,
                     qPrintable(QString("repainted %1x%2 of the view; a frame is %3x%4 there, the mosaic %5x%6")
                                    .arg(r.width()).arg(r.height()).arg(frameInView.width())
                                    .arg(frameInView.height()).arg(mosaicInView.width()).arg(mosaicInView.height())));
        view->viewport()->removeEventFilter(&repaints);
    }

    // A frame placed with a growth shows whole, also where it lies over the
    // picture shown before the growth (the worker's picture of a grown
    // mosaic adds only the growth's own columns and rows). In Fast (a 2500
    // mosaic, frames halved to 480 x 270), ten stops 160 pixels apart along
    // a row grow the mosaic at the eighth stop into a new canvas and at the
    // tenth inside it.
    void aFramePlacedWithAGrowthShowsWhole() {
        static const StitchPanGenerator row([] {
            StitchPanOptions o;
            o.cameraFrame = cv::Size(960, 540);
            StitchPanGenerator::planFor(o.cameraFrame, 10, 1, &o.specimen);
            o.uniformPatch = cv::Rect();
            return o;
        }());
        StitchPanPlan plan = StitchPanGenerator::planFor(cv::Size(960, 540), 10, 1, nullptr);
        plan.hold = 3;
        plan.transit = false;
        camera->pan = row.pan(plan);
        QSettings("./PinJieForm.ini", QSettings::IniFormat).setValue("isRbtn1", false);
        makeForm();
        // Each frame placed with a growth, against the mosaic's own pixels,
        // once the panel has shown it.
        int grown = 0;
        QStringList wrong;
        connect(form->findChild<StitchRun*>(), &StitchRun::stepApplied, this, [&](const StitchStep& step) {
            if (!step.grew || !step.placed)
                return;
            ++grown;
            const cv::Mat mosaic = form->mosaic().mosaic();
            const QRect r = form->mosaic().placements().last();
            QImage shown;
            for (QGraphicsItem* item : form->graphicsView()->scene()->items())
                if (auto* p = dynamic_cast<StitchMosaicItem*>(item))
                    shown = p->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
            if (shown.size() != QSize(mosaic.cols, mosaic.rows)) {
                wrong << QString("a %1x%2 picture of a %3x%4 mosaic")
                             .arg(shown.width())
                             .arg(shown.height())
                             .arg(mosaic.cols)
                             .arg(mosaic.rows);
                return;
            }
            const cv::Mat picture(shown.height(), shown.width(), CV_8UC3, shown.bits(),
                                  size_t(shown.bytesPerLine()));
            const cv::Rect at(r.x(), r.y(), r.width(), r.height());
            cv::Mat diff, channels[3];
            cv::absdiff(picture(at), mosaic(at), diff);
            cv::split(diff, channels);
            const int off = cv::countNonZero(channels[0] | channels[1] | channels[2]);
            if (off)
                wrong << QString("growth %1: %2 of the frame's %3 pixels not shown")
                             .arg(grown)
                             .arg(off)
                             .arg(at.area());
        });
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(grown >= 2 || !wrong.isEmpty(), 120000);
        disconnect(form->findChild<StitchRun*>(), &StitchRun::stepApplied, this, nullptr);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
    }

    // The system refuses the view its picture of the mosaic (a hundred
    // megabytes at 5000 x 5000): the mosaic shows reduced, scaled to its
    // place, and the run stops with its box rather than stitching on behind
    // a black view. In a child process under an address-space limit that
    // leaves a thread's stack and 155 MB: room for the mosaic (75 MB) and
    // the reduced picture, not for the whole picture (100 MB) as well.
    void aMosaicPictureTheSystemRefusesShowsReducedAndStopsTheRun() {
        if (const char* why = addressLimitUntestable())
            QSKIP(why);
        if (!qEnvironmentVariableIsSet("PINJIE_PICTURE_REFUSED")) {
            const QString failed = runRowInChild("PINJIE_PICTURE_REFUSED", "shown reduced");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        cv::setNumThreads(0); // no OpenCV threads taking stacks of their own
        QVERIFY(limitAddressSpace(threadStackBytes() + (155ull << 20)));
        form->findChild<QPushButton*>("btnPlay")->click();
        const QString text = StitchMosaic::noMemoryText(1);
        QTRY_VERIFY_WITH_TIMEOUT(messages().contains(text), 60000);
        QCOMPARE(form->stepQueue().value(0, 0), 0); // stopped, or its stop step queued
        const cv::Mat mosaic = form->mosaic().mosaic();
        QCOMPARE(mosaic.cols, 5000);
        StitchMosaicItem* shown = nullptr;
        for (QGraphicsItem* item : form->graphicsView()->scene()->items())
            if (auto* p = dynamic_cast<StitchMosaicItem*>(item))
                shown = p;
        QVERIFY(shown && !shown->pixmap().isNull());
        // Read as it is: Qt converts a picture this large on threads the
        // limit leaves no room for.
        const QImage picture = shown->pixmap().toImage();
        QVERIFY2(picture.width() <= 2048, qPrintable(QString::number(picture.width())));
        QCOMPARE(picture.width() * shown->scale(), 5000.0);
        // Each reduced pixel holds the mean of the mosaic pixels it covers:
        // black around the frames, the specimen where they lie.
        const double f = double(picture.width()) / mosaic.cols;
        const QRect first = form->mosaic().placements().value(0);
        int specimen = 0;
        for (const QPoint& p : {QPoint(2, 2), first.center(), first.topLeft() + QPoint(60, 60),
                                first.bottomRight() - QPoint(60, 60)}) {
            const QPoint q(int(p.x() * f), int(p.y() * f));
            const cv::Rect covered(int(q.x() / f), int(q.y() / f), int(std::ceil(1 / f)), int(std::ceil(1 / f)));
            const cv::Scalar mean = cv::mean(mosaic(covered));
            const QColor c = picture.pixelColor(q);
            specimen += mean[0] + mean[1] + mean[2] > 30 ? 1 : 0;
            QVERIFY2(qAbs(c.red() - mean[0]) <= 12 && qAbs(c.green() - mean[1]) <= 12 && qAbs(c.blue() - mean[2]) <= 12,
                     qPrintable(QString("at %1,%2: %3 %4 %5 for %6 %7 %8")
                                    .arg(p.x()).arg(p.y()).arg(c.red()).arg(c.green()).arg(c.blue())
                                    .arg(mean[0]).arg(mean[1]).arg(mean[2])));
        }
        QCOMPARE(specimen, 3);
        std::fprintf(stderr, "shown reduced\n");
    }

    void exportWhileRunningWaitsForTheNextFrame() {
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 2, 60000);
        const QString path = env->file("out/max.jpg");
        QDir().mkpath(env->file("out"));
        form->btnExportClick();
        QCOMPARE(form->stepQueue().last(), 4); // not at once
        QVERIFY(!QFile::exists(path));
        acceptSaveDialog(path);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 20000);
        const QImage saved(path);
        QVERIFY(!saved.isNull());
        QTRY_VERIFY(QFile::exists("./.scaleImage/0.jpg"));
        QCOMPARE(QImage("./.scaleImage/0.jpg").height(), 296);
        QCOMPARE(MessagePassing::instance()->getHistoryList().last(), path);
    }

    // A name typed without a suffix is written with the dialog's ".jpg".
    void bareNameGetsTheJpgSuffix() {
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 2, 60000);
        QDir().mkpath(env->file("out"));
        form->btnExportClick();
        acceptSaveDialog(env->file("out/max"));
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(env->file("out/max.jpg")), qPrintable(QDir(env->file("out")).entryList().join(",") + messages().join(",")), 20000);
        QVERIFY(!QFile::exists(env->file("out/max")));
        QVERIFY(!QImage(env->file("out/max.jpg")).isNull());
    }

    void closeClearsTheMosaicThenStopsTheWorker() {
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->mosaic().placements().size() >= 2, 60000);
        QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutPinJieSIGNAL()));
        QTRY_VERIFY(form->findChild<QPushButton*>("btnClose")->isEnabled());
        form->btnCloseClick();
        // Nothing is left to wait for a frame: the queue is dropped and the
        // old mosaic leaves the view at once.
        QVERIFY(form->stepQueue().isEmpty());
        QVERIFY(form->graphicsView()->scene()->items().isEmpty());
        QVERIFY(out.count() == 1 || out.wait(20000));
        QCOMPARE(form->stopState(), 1);
        QVERIFY(!form->hasWorker());
    }

    void playNeedsALiveCameraWithTheFeature() {
        QPushButton* play = form->findChild<QPushButton*>("btnPlay");
        camera->playing = false;
        play->click();
        QTRY_COMPARE(messages(), QStringList({"Please the camera go to living and try again!"}));
        QVERIFY(play->isEnabled());
        camera->playing = true;
        camera->composite = false;
        play->click();
        QTRY_VERIFY(messages().contains("This camera does not support this feature."));
        QVERIFY(!play->isEnabled());
    }

    void crops_data() {
        QTest::addColumn<bool>("inner");
        QTest::newRow("outer") << false;
        QTest::newRow("inner") << true;
    }
    void crops() {
        // One 960 x 540 frame with a black top row, in a 2500 mosaic.
        QFETCH(bool, inner);
        cv::Mat mosaic(2500, 2500, CV_8UC3, cv::Scalar::all(0));
        const cv::Mat frame = generator().frameAt({100, 100}, 0);
        frame.copyTo(mosaic(cv::Rect(770, 980, 960, 540)));
        mosaic.row(980).setTo(cv::Scalar::all(0));
        const QImage out = PinJieForm::exportPicture(mosaic, {{0, QRect(770, 980, 960, 540)}}, inner);
        QCOMPARE(out.size(), QSize(960, 539));
        QCOMPARE(out.pixelColor(5, 0), QColor(frame.at<cv::Vec3b>(1, 5)[0], frame.at<cv::Vec3b>(1, 5)[1],
                                             frame.at<cv::Vec3b>(1, 5)[2]));
        // Inner crop of a large mosaic shrinks no side below 1080.
        cv::Mat big(3000, 3000, CV_8UC3, cv::Scalar::all(9));
        const QImage shrunk = PinJieForm::exportPicture(big, {{0, QRect(500, 500, 1200, 1200)}}, inner);
        QCOMPARE(shrunk.size(), inner ? QSize(1080, 1081) : QSize(3000, 3000));
        QVERIFY(PinJieForm::exportPicture(cv::Mat(100, 100, CV_8UC3, cv::Scalar::all(0)), {}, inner).isNull());
    }

    // The inner crop found from the placements is the one a mask of the
    // placed frames gives (every pixel of the mosaic marked where a frame
    // lies, lines dropped from the edges while any pixel of theirs is
    // unmarked), computed here the long way.
    void innerCropIsWhereTheFramesLie_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QRect>>("frames");
        QTest::newRow("one frame") << QSize(3000, 3000) << QList<QRect>{QRect(500, 500, 1200, 1200)};
        QList<QRect> staggered, holed;
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 4; ++i)
                staggered << QRect(200 + 900 * i + (j % 2) * 130, 100 + 500 * j, 960, 540);
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i)
                if (i != 2 || j != 2)
                    holed << QRect(300 + 700 * i, 250 + 400 * j, 960, 540);
        QTest::newRow("staggered rows") << QSize(4200, 3300) << staggered;
        QTest::newRow("a hole in the middle") << QSize(4400, 2600) << holed;
        QTest::newRow("an L") << QSize(3000, 3200)
                              << QList<QRect>{QRect(0, 0, 2400, 1300), QRect(0, 1300, 1300, 1700)};
        QTest::newRow("past the edges") << QSize(2600, 2400)
                                        << QList<QRect>{QRect(-200, 100, 1700, 1400), QRect(1300, -50, 1500, 2600)};
    }
    void innerCropIsWhereTheFramesLie() {
        QFETCH(QSize, size);
        QFETCH(QList<QRect>, frames);
        cv::Mat mosaic(size.height(), size.width(), CV_8UC3, cv::Scalar::all(0));
        const cv::Rect all(0, 0, mosaic.cols, mosaic.rows);
        QMap<int, QRect> placements;
        cv::Mat marked(mosaic.size(), CV_8UC1, cv::Scalar(0));
        for (const QRect& f : frames) {
            const cv::Rect r = cv::Rect(f.x(), f.y(), f.width(), f.height()) & all;
            mosaic(r).setTo(cv::Scalar(40, 90, 160));
            marked(r).setTo(255);
            placements.insert(placements.size(), f);
        }
        // The bounding box of what is not black, then the shrinking.
        cv::Mat grey;
        cv::cvtColor(mosaic, grey, cv::COLOR_RGB2GRAY);
        const cv::Rect box = cv::boundingRect(grey);
        int x = box.x, y = box.y, w = box.width, h = box.height;
        auto unmarked = [&](const cv::Rect& line) { return cv::countNonZero(marked(line)) < line.area(); };
        for (bool moved = true; moved && w > 1080 && h > 1080;) {
            moved = false;
            if (unmarked({x, y, w, 1}) && (++y, --h, moved = true) && (w < 1081 || h < 1081))
                break;
            if (unmarked({x, y, 1, h}) && (++x, --w, moved = true) && (w < 1081 || h < 1081))
                break;
            if (unmarked({x + w - 1, y, 1, h}) && (--w, moved = true) && (w < 1081 || h < 1081))
                break;
            if (unmarked({x, y + h - 1, w, 1}) && (--h, moved = true) && (w < 1081 || h < 1081))
                break;
        }
        QCOMPARE(PinJieForm::exportRect(mosaic, placements, true), QRect(x, y, w, h));
        const QImage out = PinJieForm::exportPicture(mosaic, placements, true);
        QCOMPARE(out.size(), QSize(w, h));
        QCOMPARE(out.pixelColor(0, 0), QColor(40, 90, 160));
    }

    // A kept mosaic of 15,500 x 7,700 (some 360 MB) exported with little
    // memory left beside it: both crops are written, or the refusal is
    // told; never "no picture", never the end of the program. In a child
    // under an address-space limit; the parent reads the file back.
    void aLargeMosaicExportsWithTheMemoryItHolds_data() {
        QTest::addColumn<int>("roomMb");
        QTest::addColumn<bool>("inner");
        QTest::newRow("150 MB, outer") << 150 << false;
        QTest::newRow("150 MB, inner") << 150 << true;
        QTest::newRow("60 MB, outer") << 60 << false;
        QTest::newRow("60 MB, inner") << 60 << true;
    }
    void aLargeMosaicExportsWithTheMemoryItHolds() {
        QFETCH(int, roomMb);
        QFETCH(bool, inner);
        // A grid of frames overlapping on every side, and one more below
        // its last column: the outer crop takes that frame in; the inner one
        // leaves out its 300-line overhang and, shrinking a line a side at a
        // time, as many columns on the left, uncovered in those lines.
        const int cols = 15, rows = 13;
        const QRect grid(300, 200, 900 * (cols - 1) + 960, 500 * (rows - 1) + 540);
        const QRect extra(300 + 900 * (cols - 1), grid.bottom() + 1 - 240, 960, 540);
        const QRect outerBox = grid.united(extra), innerBox = grid.adjusted(300, 0, 0, 0);
        const QRect expected = inner ? innerBox : outerBox;
        if (!qEnvironmentVariableIsSet("PINJIE_LARGE_EXPORT")) {
            const QString path = env->file("large.jpg");
            qputenv("PINJIE_LARGE_EXPORT_TO", path.toLocal8Bit());
            const QString failed = runRowInChild("PINJIE_LARGE_EXPORT", "exported");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            const QJsonObject back = readBack("picture", path);
            QVERIFY2(!back.contains("error"), qPrintable(back.value("error").toString()));
            QCOMPARE(QSize(back.value("width").toInt(), back.value("height").toInt()), expected.size());
            return;
        }
        const QString path = qEnvironmentVariable("PINJIE_LARGE_EXPORT_TO");
        cv::setNumThreads(0);
        cv::Mat mosaic(7700, 15500, CV_8UC3, cv::Scalar::all(0));
        QMap<int, QRect> placements;
        const cv::Mat frame = generator().frameAt({100, 100}, 0);
        QList<QRect> frames;
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i)
                frames << QRect(300 + 900 * i, 200 + 500 * j, 960, 540);
        for (const QRect& r : frames << extra) {
            frame.copyTo(mosaic(cv::Rect(r.x(), r.y(), r.width(), r.height())));
            placements.insert(placements.size(), r);
        }
        QVERIFY(limitAddressSpace(threadStackBytes() + (quint64(roomMb) << 20)));
        const QImage picture = PinJieForm::exportPicture(mosaic, placements, inner);
        QVERIFY2(!picture.isNull(), "no picture");
        QCOMPARE(picture.size(), expected.size());
        const QString why = PinJieForm::writeExport(picture, path);
        if (!why.isEmpty()) {
            // A refusal is told for what it is.
            QCOMPARE(why, QString("Not enough memory: the picture was not saved."));
            QVERIFY(!QFile::exists(path));
        }
        std::fprintf(stderr, "exported\n");
    }

    // The system refuses the first mosaic at Start: nothing was placed, so
    // there is nothing to export; the box says the run could not start.
    void aRefusalAtStartLeavesExportGrey() {
        if (!qEnvironmentVariableIsSet("PINJIE_START_REFUSED")) {
            const QString failed = runRowInChild("PINJIE_START_REFUSED", "grey");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        cv::setNumThreads(0);
        // Room for the worker's stack and a frame, not for a 5000 x 5000 mosaic.
        QVERIFY(limitAddressSpace(threadStackBytes() + (30ull << 20)));
        form->findChild<QPushButton*>("btnPlay")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!messages().isEmpty(), 60000);
        QVERIFY(form->mosaic().placements().isEmpty());
        QVERIFY(!form->findChild<QPushButton*>("btnExport")->isEnabled());
        QCOMPARE(messages(), QStringList({"Not enough memory: stitching could not start."}));
        // The stop has run: nothing waits for a frame.
        QTRY_VERIFY(form->stepQueue().isEmpty());
        QVERIFY(!form->findChild<QPushButton*>("btnExport")->isEnabled());
        std::fprintf(stderr, "grey\n");
    }

    void emptyMosaicExportsNothing() {
        form->btnExportClick(); // queue empty: at once, and nothing to export
        QTRY_VERIFY(messages().contains("There is no picture to export."));
        QVERIFY(!QDir(env->path()).entryList({"*.jpg"}).size());
    }

    void flatFieldWritesTheReferenceTheHubReads() {
        // A flat grey field with 30 % vignetting towards the corners.
        QImage flat(320, 200, QImage::Format_RGB888);
        for (int y = 0; y < flat.height(); ++y)
            for (int x = 0; x < flat.width(); ++x) {
                const double r2 = (std::pow(x - 160.0, 2) + std::pow(y - 100.0, 2)) / (160.0 * 160 + 100.0 * 100);
                const int v = 200 - int(60 * r2);
                flat.setPixelColor(x, y, QColor(v, v, v));
            }
        camera->flat = flat;
        MessagePassing* hub = MessagePassing::instance();
        hub->hasYinYing = false;
        form->btnXiaoZhengClick();
        QTRY_VERIFY(messages().contains("Flat-field finish!"));
        const cv::Mat bmp = cv::imread(env->file("pinjie/YinYingData.bmp").toStdString(), cv::IMREAD_GRAYSCALE);
        QCOMPARE(bmp.cols, 320);
        QCOMPARE(bmp.at<uchar>(100, 160), uchar(0));
        // Corner: 200 x 0.7 = 140 grey, centre 200: (200 / 140 - 1) x 100 = 42.86 -> 43.
        QCOMPARE(int(bmp.at<uchar>(0, 0)), 43);
        QVERIFY(hub->hasYinYing);
        QCOMPARE(hub->yinYingMat.at<float>(0, 0), 0.43f);
        QVERIFY(form->findChild<QPushButton*>("btnPlay")->isEnabled());

        // A frame smaller than the centre window is ignored.
        camera->flat = QImage(8, 8, QImage::Format_RGB888);
        QFile::remove(env->file("pinjie/YinYingData.bmp"));
        form->btnXiaoZhengClick();
        QTRY_VERIFY(form->findChild<QPushButton*>("btnPlay")->isEnabled());
        QVERIFY(!QFile::exists(env->file("pinjie/YinYingData.bmp")));
    }
};

QTEST_MAIN(TestPinJieForm)
#include "tst_pinjie_form.moc"
