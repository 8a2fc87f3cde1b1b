// The stitching run without its panel, on the real worker: frames from a
// simulated stage camera are placed at the stage's own offsets, a run closed
// while the worker matches ends only once the job is done and starts again,
// a notice is told once per mosaic, a Stop outlasts the result of the job it
// came during, and a run closed at any point of its queue ends, whether or
// not frames still come, without showing what the job running then found.
#include "StitchPanGenerator.h"
#include "StitchStageCamera.h"

#include "app/hub/MessagePassing.h"
#include "imaging/StitchRun.h"
#include "imaging/ThreadPinJie.h"
#include "tests/support/TestEnv.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <opencv2/imgproc.hpp>

namespace {

const cv::Size cameraFrame(960, 540);

// A serpentine of `cols` x `rows` stops a third of a frame apart, each
// held for three frames, with no frame in transit.
StitchPanPlan plan(int cols, int rows) {
    StitchPanPlan p = StitchPanGenerator::planFor(cameraFrame, cols, rows, nullptr);
    p.hold = 3;
    p.transit = false;
    return p;
}

// The textured specimen, large enough for the largest plan.
const StitchPanGenerator& generator() {
    static const StitchPanGenerator gen = [] {
        StitchPanOptions o;
        o.cameraFrame = cameraFrame;
        StitchPanGenerator::planFor(cameraFrame, 4, 3, &o.specimen);
        o.uniformPatch = cv::Rect();
        return StitchPanGenerator(o);
    }();
    return gen;
}

// Wires a run to the hub's frames and asks for the next frame where the
// panel does (after a new mosaic, at the reset's step); counts what it reports.
struct Driver {
    StitchRun run;
    int steps = 0;
    QList<StitchStep::Notice> notices;

    Driver() {
        QObject::connect(MessagePassing::instance(), &MessagePassing::pinJieImageSIGNAL, &run,
                         [this](QImage image) { run.takeFrame(image); });
        QObject::connect(&run, &StitchRun::mosaicStarted, &run, [this] { run.requestFrame(67); });
        QObject::connect(&run, &StitchRun::resetStep, &run, [this] { run.requestFrame(67); });
        QObject::connect(&run, &StitchRun::stepApplied, &run, [this](const StitchStep& step) {
            ++steps;
            if (step.notice != StitchStep::NoNotice)
                notices << step.notice;
        });
    }
    void begin() {
        QVERIFY(run.start());
        run.requestFrame(67);
    }
};

// Is every placement, taken from the first, a difference of two stops of
// the pan (from one common stop, in the mode's pixels), within a pixel?
QString offPlacement(const QMap<int, QRect>& placements, const std::vector<QPoint>& stops, int scale) {
    const QPoint p0 = placements.value(0).topLeft();
    for (const QPoint& from : stops) {
        bool all = true;
        for (const QRect& r : placements) {
            bool near = false;
            for (const QPoint& s : stops)
                near |= (r.topLeft() - p0 - (s - from) / scale).manhattanLength() <= 1;
            all &= near;
        }
        if (all)
            return QString();
    }
    QStringList at;
    for (const QRect& r : placements)
        at << QString("%1,%2").arg(r.x() - p0.x()).arg(r.y() - p0.y());
    return "placements off the stops: " + at.join(" ");
}

} // namespace

class TestStitchRun : public QObject {
    Q_OBJECT

    enum Point {
        BeforeFirstFrame,
        Preparing,
        Matching,
        Searching,
        ResetQueued,
        StoppedWhileMatching,
        StoppedWhileSearching,
        NoFrameComes
    };

    // Does an ended run ask the camera for no frame? A request and a marker
    // behind it: the marker comes alone.
    bool asksNoFrame(StitchRun& run) {
        const int snaps = camera->snaps;
        bool after = false;
        run.requestFrame(0);
        QTimer::singleShot(0, &run, [&] { after = true; });
        if (!QTest::qWaitFor([&] { return after; }, 5000))
            return false;
        return camera->snaps == snaps;
    }

    TestEnv* env = nullptr;
    StitchStageCamera* camera = nullptr;

private slots:
    void init() {
        env = new TestEnv;
        camera = new StitchStageCamera(cameraFrame);
        MessagePassing::instance()->setCurCamera(camera);
        MessagePassing::instance()->setLanguage(1);
    }
    void cleanup() {
        MessagePassing::instance()->setCurCamera(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete camera;
        delete env;
    }

    void placesEveryStopAtTheStageOffset_data() {
        QTest::addColumn<bool>("precision");
        QTest::newRow("precision") << true;
        QTest::newRow("fast") << false;
    }
    void placesEveryStopAtTheStageOffset() {
        QFETCH(bool, precision);
        const int scale = precision ? 1 : 2;
        camera->pan = generator().pan(plan(3, 2));
        MessagePassing* hub = MessagePassing::instance();
        hub->pinJieMask = cv::Mat();
        Driver d;
        d.run.setPrecision(precision);
        d.begin();
        QTRY_VERIFY_WITH_TIMEOUT(d.run.mosaic().placements().size() >= 6, 60000);

        const QMap<int, QRect> placed = d.run.mosaic().placements();
        QCOMPARE(placed.value(0).size(), QSize(960 / scale, 540 / scale));
        const QString off = offPlacement(placed, StitchPanGenerator::stops(plan(3, 2)), scale);
        QVERIFY2(off.isEmpty(), qPrintable(off));
        // The run's first mosaic made the feather masks of the camera's geometry.
        QCOMPARE(hub->pinJieMask.size(), cv::Size(960, 540));

        // The adopted mosaic holds the specimen where the last frame went:
        // the pixels the stage shows at its stop (placed within a pixel).
        const QRect last = placed.last();
        cv::Mat expected = camera->pan.back().image;
        if (!precision)
            cv::resize(expected, expected, cv::Size(480, 270), 0, 0, cv::INTER_AREA);
        const cv::Rect middle(last.width() / 4, last.height() / 4, last.width() / 2, last.height() / 2);
        double best = 1e9;
        for (int shift = 0; shift < 9; ++shift) {
            const cv::Point at(last.x() + shift % 3 - 1, last.y() + shift / 3 - 1);
            cv::Mat diff;
            cv::absdiff(d.run.mosaic().mosaic()(middle + at), expected(middle), diff);
            const cv::Scalar mean = cv::mean(diff);
            best = std::min(best, (mean[0] + mean[1] + mean[2]) / 3);
        }
        QVERIFY2(best < (precision ? 1.0 : 4.0), qPrintable(QString("mean difference %1").arg(best)));
    }

    // Closed while the worker matches a frame, the run ends the worker once
    // its job is done, tells the hub once, asks for no more frames; started
    // again, it builds a new mosaic and places the stops that follow.
    void closeDuringAJobThenRestart() {
        camera->pan = generator().pan(plan(4, 3));
        Driver d;
        QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutPinJieSIGNAL()));
        QPointer<ThreadPinJie> worker;
        bool closedMidJob = false, workerDoneAtOut = false;
        connect(MessagePassing::instance(), &MessagePassing::goOutPinJieSIGNAL, &d.run,
                [&] { workerDoneAtOut = worker && !worker->isRunning(); });
        auto closeMidJob = connect(&d.run, &StitchRun::controlsReady, &d.run, [&] {
            if (d.run.mosaic().placements().size() < 3 || closedMidJob)
                return;
            worker = d.run.findChild<ThreadPinJie*>();
            closedMidJob = d.run.jobRunning();
            d.run.close(); // the Close button's
        });
        d.begin();
        QTRY_VERIFY_WITH_TIMEOUT(out.count() == 1, 60000);
        disconnect(closeMidJob);
        QVERIFY(closedMidJob);
        QVERIFY(workerDoneAtOut);
        QVERIFY(!d.run.hasWorker());
        QTRY_VERIFY(worker.isNull());
        const QString off = offPlacement(d.run.mosaic().placements(), StitchPanGenerator::stops(plan(4, 3)), 1);
        QVERIFY2(off.isEmpty(), qPrintable(off));

        // Nothing is left queued; no frame is asked for afterwards: a frame
        // request and a marker behind it, the marker comes alone.
        QVERIFY(d.run.stepQueue().isEmpty());
        QCOMPARE(d.run.stopState(), 1);
        QVERIFY(asksNoFrame(d.run));
        QCOMPARE(out.count(), 1);

        // Started again: a new worker, a new mosaic from the current frame,
        // and the later stops placed at their offsets from it.
        QSignalSpy started(&d.run, &StitchRun::mosaicStarted);
        d.begin();
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(d.run.mosaic().placements().size() >= 3, 60000);
        const QString again = offPlacement(d.run.mosaic().placements(), StitchPanGenerator::stops(plan(4, 3)), 1);
        QVERIFY2(again.isEmpty(), qPrintable(again));
    }

    // Closed at each kind of point of its queue, three times over, the run
    // ends its worker and tells the hub once, without another frame.
    // The camera hands on an empty picture for a frame the system refused
    // memory for: the run stops with the not-enough-memory step, once, and
    // asks for no more frames.
    void aFrameTheCameraFoundNoMemoryForStopsTheRun() {
        Driver d;
        int refused = 0;
        QObject::connect(&d.run, &StitchRun::stepApplied, &d.run,
                         [&](const StitchStep& step) { refused += step.noMemory ? 1 : 0; });
        QVERIFY(d.run.start());
        MessagePassing::instance()->pinJieImage(QImage());
        QTRY_COMPARE_WITH_TIMEOUT(refused, 1, 30000);
        QVERIFY(asksNoFrame(d.run));
        QCOMPARE(refused, 1);
    }

    void closeEndsTheRunAtEveryPoint_data() {
        QTest::addColumn<int>("point");
        QTest::newRow("before the first frame") << int(BeforeFirstFrame);
        QTest::newRow("while the new mosaic is prepared") << int(Preparing);
        QTest::newRow("while a frame is matched") << int(Matching);
        QTest::newRow("while the mosaic is searched") << int(Searching);
        QTest::newRow("with a reset queued") << int(ResetQueued);
        QTest::newRow("after a stop asked for while matching") << int(StoppedWhileMatching);
        QTest::newRow("after a stop asked for while searching") << int(StoppedWhileSearching);
        QTest::newRow("while no frame comes") << int(NoFrameComes);
    }
    void closeEndsTheRunAtEveryPoint() {
        QFETCH(int, point);
        // Two stops a third of a frame apart, then (for the search) a field
        // from another specimen that matches nowhere.
        const std::vector<StitchPanFrame> pan = generator().pan(plan(4, 3));
        std::vector<StitchPanFrame> frames(pan.begin(), pan.begin() + 6);
        StitchPanFrame foreign;
        foreign.image = StitchPanGenerator::makeSpecimen(cameraFrame, cv::Rect(), 977);
        if (point == Searching || point == StoppedWhileSearching)
            frames.push_back(foreign);
        Driver d;
        QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutPinJieSIGNAL()));
        QSignalSpy started(&d.run, &StitchRun::mosaicStarted);
        for (int round = 1; round <= 3; ++round) {
            camera->pan = frames;
            camera->snaps = 0;
            const int mosaics = started.count();
            d.begin();
            auto placed = [&] { return started.count() > mosaics && d.run.mosaic().placements().size() >= 2; };
            switch (Point(point)) {
            case BeforeFirstFrame:
                break;
            case Preparing:
                QTRY_VERIFY_WITH_TIMEOUT(d.run.jobRunning(), 60000);
                QCOMPARE(started.count(), mosaics);
                break;
            case Matching:
                QTRY_VERIFY_WITH_TIMEOUT(placed() && d.run.stepQueue().value(0) == 1 && d.run.jobRunning(), 60000);
                break;
            case Searching:
                QTRY_VERIFY_WITH_TIMEOUT(placed() && d.run.stepQueue().value(0) == 3 && d.run.jobRunning(), 120000);
                break;
            case ResetQueued:
                QTRY_VERIFY_WITH_TIMEOUT(placed(), 60000);
                QVERIFY(d.run.queueReset(0));
                break;
            case StoppedWhileMatching:
                QTRY_VERIFY_WITH_TIMEOUT(placed() && d.run.jobRunning(), 60000);
                d.run.setHead(0); // the Stop button's
                QTRY_VERIFY_WITH_TIMEOUT(d.run.stepQueue().isEmpty(), 60000);
                QVERIFY(d.run.hasWorker());
                break;
            case StoppedWhileSearching: {
                QTRY_VERIFY_WITH_TIMEOUT(placed() && d.run.stepQueue().value(0) == 3 && d.run.jobRunning(),
                                         120000);
                const int steps = d.steps;
                d.run.setHead(0); // the Stop button's
                // The search finds nothing and would go on searching: the
                // stop outlasts its result.
                QTRY_VERIFY_WITH_TIMEOUT(d.steps > steps, 60000);
                QCOMPARE(d.run.stepQueue().value(0, 0), 0);
                QTRY_VERIFY_WITH_TIMEOUT(d.run.stepQueue().isEmpty(), 60000);
                QVERIFY(d.run.hasWorker());
                break;
            }
            case NoFrameComes:
                QTRY_VERIFY_WITH_TIMEOUT(placed(), 60000);
                camera->pan.clear(); // snapshots are asked for and never delivered
                break;
            }
            const int steps = d.steps;
            QVERIFY(d.run.close());
            QTRY_COMPARE_WITH_TIMEOUT(out.count(), round, 60000);
            QVERIFY(!d.run.hasWorker());
            QCOMPARE(d.run.stopState(), 1);
            QVERIFY(asksNoFrame(d.run));
            // What the job running at the close found is dropped: nothing
            // is shown, placed or queued after it, and the mosaic and the
            // feather masks the close gave back stay empty.
            QCOMPARE(d.steps, steps);
            QVERIFY(d.run.mosaic().placements().isEmpty());
            QVERIFY(MessagePassing::instance()->pinJieMask.empty());
            QVERIFY(MessagePassing::instance()->pinJieMaskHalf.empty());
            QVERIFY(d.run.stepQueue().isEmpty());
            QCOMPARE(out.count(), round);
            QVERIFY(!d.run.close()); // closed already
        }
    }

    // Closed at once after a frame placed with a growth, or while a frame
    // is matched, the run gives back what its last job made: the grown
    // mosaic's picture nobody took, and the job's copy of the mosaic (which
    // shares the mosaic's pixels): once the worker is gone, only this test
    // still holds the mosaic it saw.
    void closeGivesBackWhatTheJobMade_data() {
        QTest::addColumn<bool>("afterGrowth"); // otherwise while a frame is matched
        QTest::newRow("after a growth") << true;
        QTest::newRow("while a frame is matched") << false;
    }
    void closeGivesBackWhatTheJobMade() {
        QFETCH(bool, afterGrowth);
        // Ten stops a third of a frame apart along a row: the 5000 mosaic
        // grows from the eighth on.
        static const StitchPanGenerator row([] {
            StitchPanOptions o;
            o.cameraFrame = cameraFrame;
            StitchPanGenerator::planFor(cameraFrame, 10, 1, &o.specimen);
            o.uniformPatch = cv::Rect();
            return StitchPanGenerator(o);
        }());
        camera->pan = row.pan(plan(10, 1));
        Driver d;
        QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutPinJieSIGNAL()));
        QPointer<ThreadPinJie> worker;
        cv::Mat seen; // the mosaic as the close found it
        bool closed = false;
        auto closeThere = [&] {
            worker = d.run.findChild<ThreadPinJie*>();
            seen = d.run.mosaic().mosaic();
            closed = d.run.close();
        };
        connect(&d.run, &StitchRun::stepApplied, &d.run, [&](const StitchStep& step) {
            if (afterGrowth && !closed && step.grew && step.placed)
                closeThere();
        });
        connect(&d.run, &StitchRun::controlsReady, &d.run, [&] {
            if (!afterGrowth && !closed && d.run.mosaic().placements().size() >= 3 && d.run.jobRunning())
                closeThere();
        });
        d.begin();
        QTRY_VERIFY_WITH_TIMEOUT(closed, 120000);
        QTRY_COMPARE_WITH_TIMEOUT(out.count(), 1, 60000);
        QTRY_VERIFY(worker.isNull());
        QVERIFY(d.run.takePicture().isNull());
        QVERIFY(!seen.empty());
        QCOMPARE(seen.u->refcount, 1);
    }

    // A run that reaches the largest mosaic stops there as a refusal stops
    // it: one size-limit step, the mosaic kept, no more frames asked for,
    // nothing searched again and again. In Fast, frames of 4800 x 600
    // halved, stops 1600 pixels apart along a row, each held for three
    // frames: some twenty-five stops
    // take the 2500 mosaic to 21,000 pixels wide.
    void aRunAtTheSizeLimitStops() {
        const cv::Size wide(4800, 600);
        const int stops = 30, step = 1600;
        const cv::Mat specimen =
            StitchPanGenerator::makeSpecimen(cv::Size(wide.width + step * stops, wide.height), cv::Rect(), 31);
        StitchStageCamera strip(wide);
        for (int i = 0; i < stops; ++i) {
            StitchPanFrame f;
            f.image = specimen(cv::Rect(step * i, 0, wide.width, wide.height)).clone();
            f.stop = i;
            strip.pan.insert(strip.pan.end(), 3, f); // held for three frames
        }
        MessagePassing::instance()->setCurCamera(&strip);
        Driver d;
        d.run.setPrecision(false);
        int limits = 0, placed = 0;
        connect(&d.run, &StitchRun::stepApplied, &d.run, [&](const StitchStep& s) {
            limits += s.sizeLimit ? 1 : 0;
            placed += s.placed ? 1 : 0;
        });
        d.begin();
        QTRY_VERIFY_WITH_TIMEOUT(limits >= 1, 240000);
        // Stopped: the stop step has run, no job runs, and nothing more is
        // placed or told.
        QTRY_VERIFY(d.run.stepQueue().isEmpty());
        QVERIFY(!d.run.jobRunning());
        QCOMPARE(limits, 1);
        QVERIFY(placed >= 10);
        QVERIFY(d.run.mosaic().mosaic().cols <= StitchMosaic::maxSide);
        QVERIFY(d.run.mosaic().mosaic().cols > StitchMosaic::maxSide - 2 * step);
        QVERIFY(d.run.close());
        QTRY_VERIFY(!d.run.hasWorker());
        MessagePassing::instance()->setCurCamera(camera);
    }

    // A camera over a featureless field: every frame fails for want of
    // texture, and the operator is told so once per mosaic.
    void aNoticeIsToldOncePerMosaic() {
        StitchPanFrame grey;
        grey.image = cv::Mat(540, 960, CV_8UC3, cv::Scalar::all(128));
        camera->pan = {grey};
        Driver d;
        d.begin();
        QTRY_VERIFY_WITH_TIMEOUT(d.steps >= 4, 60000);
        QCOMPARE(d.notices, QList<StitchStep::Notice>({StitchStep::NeedTexture}));
        QCOMPARE(d.run.mosaic().placements().size(), 1);

        QVERIFY(d.run.queueReset(1)); // the Reset button's
        QTRY_VERIFY_WITH_TIMEOUT(d.notices.size() == 2, 60000);
        const int steps = d.steps;
        QTRY_VERIFY_WITH_TIMEOUT(d.steps >= steps + 3, 60000);
        QCOMPARE(d.notices, QList<StitchStep::Notice>({StitchStep::NeedTexture, StitchStep::NeedTexture}));
    }
};

QTEST_MAIN(TestStitchRun)
#include "tst_stitch_run.moc"
