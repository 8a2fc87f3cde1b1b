// ThreadPinJie: which signal ends which job, its own copies of the images,
// and the stop flag.
#include "StitchPanGenerator.h"
#include "tests/support/TestTools.h"

#include "imaging/StitchBufferPool.h"
#include "imaging/ThreadPinJie.h"
#include "platform/ThreadPriority.h"

#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

#include <cstdio>

#include <opencv2/core/utility.hpp>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

class TestStitchWorker : public QObject {
    Q_OBJECT

private:
    const StitchPanGenerator& m_gen = StitchPanGenerator::standard();

private slots:
    void frameMatchFinishesWithStartFindFinish() {
        ThreadPinJie worker;
        QSignalSpy done(&worker, SIGNAL(startFindFinish()));
        QSignalSpy doneMax(&worker, SIGNAL(startFindMaxFinish()));
        cv::Mat ref = m_gen.frameAt({600, 500}, 0);
        cv::Mat frame = m_gen.frameAt({700, 450}, 1);
        int ox = 0, oy = 0, status = -1;
        StitchVotes votes;
        worker.startFind(ref, frame, true, &ox, &oy, &votes, &status);
        // The worker took copies: the caller may reuse its buffers at once.
        ref.setTo(cv::Scalar::all(0));
        frame.setTo(cv::Scalar::all(0));
        QVERIFY(done.wait(30000));
        QCOMPARE(doneMax.count(), 0);
        QCOMPARE(status, int(StitchMoved));
        QCOMPARE(ox, -100);
        QCOMPARE(oy, 50);
        QVERIFY(!votes.empty());
        QVERIFY(!worker.isFullSearch());
    }

    void fullSearchAndRegionFinishWithStartFindMaxFinish() {
        cv::Mat mosaic(3000, 3000, CV_8UC3, cv::Scalar::all(0));
        m_gen.specimen()(cv::Rect(0, 0, 2800, 2000)).copyTo(mosaic(cv::Rect(100, 400, 2800, 2000)));
        const cv::Mat frame = m_gen.frameAt({500, 300}, 2); // at (600, 700)

        ThreadPinJie worker;
        QSignalSpy done(&worker, SIGNAL(startFindFinish()));
        QSignalSpy doneMax(&worker, SIGNAL(startFindMaxFinish()));
        QRect region(0, 0, 1920, 1080);
        int ox = 0, oy = 0, status = -1;
        StitchVotes votes;
        worker.startFindMax(mosaic, frame, true, &region, &ox, &oy, &votes, &status);
        mosaic.setTo(cv::Scalar::all(0));
        QVERIFY(doneMax.wait(30000));
        QCOMPARE(status, int(StitchMoved));
        QVERIFY(worker.isFullSearch());
        QVERIFY((region.topLeft() - QPoint(600, 700)).manhattanLength() < 40);

        m_gen.specimen()(cv::Rect(0, 0, 2800, 2000)).copyTo(mosaic(cv::Rect(100, 400, 2800, 2000)));
        region = QRect(590, 710, 1920, 1080);
        votes.clear();
        status = -1;
        worker.startFindRegion(mosaic, frame, true, &region, &ox, &oy, &votes, &status);
        QVERIFY(doneMax.wait(30000));
        QCOMPARE(doneMax.count(), 2);
        QCOMPARE(done.count(), 0);
        QCOMPARE(status, int(StitchMoved));
        QCOMPARE(region, QRect(590, 710, 1920, 1080));
        QCOMPARE(ox, -10);
        QCOMPARE(oy, 10);
    }

    // Under load the interface thread's 16 ms sleeps must wake on time: the
    // worker, and the OpenCV threads that share its matching, run as
    // background work; the thread that started the job stays as it was.
    void workerAndItsOpenCvThreadsRunAsBackgroundWork() {
        ThreadPinJie worker;
        std::atomic<int> background{-1};
        connect(&worker, &QThread::finished, &worker, [&] { background = ThreadPriority::isBackground() ? 1 : 0; },
                Qt::DirectConnection);
        QSignalSpy done(&worker, SIGNAL(startFindFinish()));
        int ox = 0, oy = 0, status = -1;
        StitchVotes votes;
        worker.startFind(m_gen.frameAt({600, 500}, 0), m_gen.frameAt({700, 450}, 1), true, &ox, &oy, &votes,
                         &status);
        QVERIFY(done.wait(30000));
        // isFinished() already answers true while finished() is being
        // emitted: wait for the answer from the worker's last moment itself.
        QTRY_VERIFY_WITH_TIMEOUT(background.load() != -1, 30000);
        QCOMPARE(background.load(), 1);
        QVERIFY(!ThreadPriority::isBackground());

        // The OpenCV threads: every one that takes a share of a parallel loop.
        const std::thread::id self = std::this_thread::get_id();
        std::mutex lock;
        std::set<std::thread::id> helpers;
        int ordinary = 0;
        cv::parallel_for_(cv::Range(0, 200), [&](const cv::Range& r) {
            std::this_thread::sleep_for(std::chrono::milliseconds(r.size()));
            if (std::this_thread::get_id() == self)
                return;
            std::lock_guard<std::mutex> guard(lock);
            helpers.insert(std::this_thread::get_id());
            ordinary += ThreadPriority::isBackground() ? 0 : 1;
        });
        if (cv::getNumThreads() > 1)
            QVERIFY(!helpers.empty());
        QCOMPARE(ordinary, 0);
        QVERIFY(!ThreadPriority::isBackground());
    }

    // The system refuses the worker memory: a thread to run in, or the
    // buffers of a search of a large mosaic. The job finishes as any other,
    // says so (noMemory) and applies nothing, and the process goes on. Each
    // row runs in a child process of its own (this test again) under an
    // address-space limit of what it maps before the job and `more` bytes
    // (beyond a thread's stack where the thread is to run).
    void aRefusedJobIsReportedNotFatal_data() {
        QTest::addColumn<qlonglong>("more"); // megabytes
        QTest::addColumn<bool>("threadRuns");
        QTest::newRow("no thread to run in") << qlonglong(1) << false;
        QTest::newRow("the search of a large mosaic") << qlonglong(4) << true;
    }
    void aRefusedJobIsReportedNotFatal() {
        QFETCH(qlonglong, more);
        QFETCH(bool, threadRuns);
        if (const char* why = addressLimitUntestable())
            QSKIP(why);
        if (!qEnvironmentVariableIsSet("STITCH_WORKER_REFUSED")) {
            const QString failed = runRowInChild("STITCH_WORKER_REFUSED", "refused");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        cv::setNumThreads(0); // no OpenCV threads: the job's own thread is what is refused first
        cv::Mat mosaic(6000, 8000, CV_8UC3, cv::Scalar::all(0));
        cv::repeat(m_gen.specimen()(cv::Rect(0, 0, 2000, 2000)), 3, 4, mosaic);
        const cv::Mat frame = m_gen.frameAt({500, 300}, 2);
        ThreadPinJie worker;
        QSignalSpy done(&worker, SIGNAL(startFindMaxFinish()));
        QSignalSpy began(&worker, &QThread::started);
        QRect region(0, 0, 1920, 1080);
        int ox = 0, oy = 0, status = -7;
        StitchVotes votes;
        StitchMosaic placing;
        StitchMatchResult result;
        StitchStep step;
        QImage picture;
        QVERIFY(limitAddressSpace((unsigned long long)(more << 20) + (threadRuns ? threadStackBytes() : 0)));
        worker.setApply(&placing, &result, &frame, &step, &picture, QImage::Format_RGB32);
        worker.startFindMaxShared(mosaic, frame, true, &region, &ox, &oy, &votes, &status);
        QVERIFY(done.wait(60000));
        QCOMPARE(done.count(), 1);
        QVERIFY(worker.noMemory());
        QVERIFY(!worker.applied());
        QCOMPARE(status, -7);
        QCOMPARE(began.count(), threadRuns ? 1 : 0);
        std::fprintf(stderr, "refused\n");
    }

    // A lost frame's full search (the registration's SIFT over the whole
    // mosaic) maps its large buffers once: the next job of the same sizes
    // maps none and answers the same, and the worker's end gives them back.
    void aSecondLostSearchMapsNoNewBuffer() {
        cv::Mat mosaic(3000, 3000, CV_8UC3, cv::Scalar::all(0));
        m_gen.specimen()(cv::Rect(0, 0, 2800, 2000)).copyTo(mosaic(cv::Rect(100, 400, 2800, 2000)));
        const cv::Rect patch = m_gen.uniformPatch();
        const cv::Mat frame = m_gen.frameAt(QPoint(patch.x + 10, patch.y + 10), 2); // featureless: lost
        long mapped[2] = {0, 0};
        int status[2] = {-1, -1};
        {
            ThreadPinJie worker;
            QSignalSpy doneMax(&worker, SIGNAL(startFindMaxFinish()));
            for (int job = 0; job < 2; ++job) {
                QRect region(0, 0, 1920, 1080);
                int ox = 0, oy = 0;
                StitchVotes votes;
                const long before = StitchBufferPool::mapped();
                worker.startFindMaxShared(mosaic, frame, true, &region, &ox, &oy, &votes, &status[job]);
                QVERIFY(doneMax.wait(60000));
                QCOMPARE(worker.registration(), 0);
                mapped[job] = StitchBufferPool::mapped() - before;
            }
            QVERIFY(StitchBufferPool::keptBytes() > 0);
        }
        QVERIFY(mapped[0] > 0);
        QCOMPARE(mapped[1], 0L);
        QCOMPARE(status[1], status[0]);
        QCOMPARE(StitchBufferPool::keptBytes(), size_t(0));
    }

    void stoppedWorkerDoesNothing() {
        ThreadPinJie worker;
        QSignalSpy done(&worker, SIGNAL(startFindFinish()));
        worker.setStop(true);
        int ox = 3, oy = 4, status = -7;
        StitchVotes votes;
        worker.startFind(m_gen.frameAt({0, 0}, 0), m_gen.frameAt({50, 0}, 1), true, &ox, &oy, &votes, &status);
        QVERIFY(done.wait(30000));
        QCOMPARE(status, -7);
        QCOMPARE(ox, 3);
        QVERIFY(votes.empty());
        QVERIFY(worker.isStopped());
    }
};

QTEST_GUILESS_MAIN(TestStitchWorker)
#include "tst_stitch_worker.moc"
