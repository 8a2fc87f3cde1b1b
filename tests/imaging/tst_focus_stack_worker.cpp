// The focus-stacking worker end to end: a run is announced through the hub
// and prepared as the panel does it, frames come from a separate thread as
// from the camera's save thread, and the fused picture is compared with the
// all-in-focus truth of a synthetic stack.

#include "FocusStackDriver.h"
#include "FocusStackGenerator.h"

#include "app/hub/MessagePassing.h"
#include "imaging/ThreadJingShenHigh.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QSignalSpy>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <memory>
#include <thread>

#include <unistd.h>

namespace gen = FocusStackGenerator;
Q_DECLARE_METATYPE(FocusStackGenerator::Depth)

namespace {

// Pushes frames on a thread of its own, as the camera's save thread does.
void pushFrom(ThreadJingShenHigh& w, const std::vector<cv::Mat>& frames) {
    std::thread camera([&] {
        for (const cv::Mat& f : frames)
            w.pushFrame(f.data, f.cols, f.rows);
    });
    camera.join();
}

void push(ThreadJingShenHigh& w, const cv::Mat& f) { w.pushFrame(f.data, f.cols, f.rows); }

cv::Mat resultOf(const ThreadJingShenHigh& w) {
    cv::Mat m;
    w.copyResult(m);
    return m;
}

// Resident memory of this process, as the system counts it.
double residentMb() {
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly))
        return -1.0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * sysconf(_SC_PAGESIZE) / (1 << 20) : -1.0;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
    return !a.empty() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

gen::Stack smallStack(gen::Depth depth, int frames = 24, uint64_t seed = 1) {
    gen::StackParams p;
    p.size = cv::Size(640, 480);
    p.depth = depth;
    p.frames = frames;
    p.maxBlurSigma = 6.0;
    p.seed = seed;
    return gen::makeStack(p);
}

// The step of a run the system refuses memory for.
enum class Step { FirstFrame, Prepare, Continue };

} // namespace

class TestFocusStackWorker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
#if defined(__SANITIZE_THREAD__)
        cv::setNumThreads(0); // see tst_focus_stack_threads
#endif
        env = std::make_unique<TestEnv>();
        MessagePassing::instance();
    }
    void cleanupTestCase() { env.reset(); }

    void firstFrameStartsARunAndFusesToItself() {
        const gen::Stack s = smallStack(gen::Depth::TiltedPlane, 4);
        ThreadJingShenHigh w;
        QObject panel;
        int begins = 0;
        connect(MessagePassing::instance(), &MessagePassing::snapJingShenBeginSIGNAL, &panel, [&] {
            ++begins;
            w.prepareFirstFrame();
        });
        QVERIFY(w.result().isNull());
        pushFrom(w, {s.frames[0]});
        QTRY_COMPARE(begins, 1);
        QCOMPARE(w.currentState(), 1);
        QVERIFY(w.isRunning());
        QCOMPARE(w.outputSize(), QSize(640, 480));
        QVERIFY(same(resultOf(w), s.frames[0]));
        const QImage preview = w.result();
        QCOMPARE(preview.format(), QImage::Format_RGB888);
        QCOMPARE(preview.pixelColor(5, 7), QColor(s.frames[0].at<cv::Vec3b>(7, 5)[0], s.frames[0].at<cv::Vec3b>(7, 5)[1],
                                                  s.frames[0].at<cv::Vec3b>(7, 5)[2]));
        // The same frame again adds nothing: the gate drops it and the result stays the frame.
        pushFrom(w, {s.frames[0], s.frames[0], s.frames[0]});
        QVERIFY(FocusStackDriver::waitDrained(w));
        QCOMPARE(w.fusedCount(), 0);
        QVERIFY(same(resultOf(w), s.frames[0]));
        w.requestStop();
        QVERIFY(w.wait(10000));
        QCOMPARE(begins, 1);
    }

    void fusedPictureBeatsEveryFrameAndTheLaplacianBaseline_data() {
        QTest::addColumn<gen::Depth>("depth");
        QTest::newRow("tilted plane") << gen::Depth::TiltedPlane;
        QTest::newRow("steps") << gen::Depth::Steps;
        QTest::newRow("dome") << gen::Depth::Dome;
    }
    void fusedPictureBeatsEveryFrameAndTheLaplacianBaseline() {
        QFETCH(gen::Depth, depth);
        const gen::Stack s = smallStack(depth, 24, 7);
        ThreadJingShenHigh w;
        FocusStackDriver::Options o;
        o.repeats = 2; // the save thread often hands the same picture twice
        FocusStackDriver::RunStats stats;
        const cv::Mat fused = FocusStackDriver::run(w, s.frames, o, &stats);
        QVERIFY(!fused.empty());
        QVERIFY(stats.fused > 0);
        const double ours = gen::psnr(fused, s.truth);
        double bestFrame = 0;
        for (const cv::Mat& f : s.frames)
            bestFrame = std::max(bestFrame, gen::psnr(f, s.truth));
        const double naive = gen::psnr(gen::laplacianArgmax(s.frames), s.truth);
        qInfo("PSNR fused %.2f dB, best frame %.2f dB, Laplacian argmax %.2f dB, %d frames fused", ours, bestFrame,
              naive, stats.fused);
        QVERIFY(ours > bestFrame + 3.0);
        QVERIFY(ours > naive + 1.0);
    }

    void gateDropsRepeatsAndNeverTouchesTheFrameInFusion() {
        const gen::Stack s = smallStack(gen::Depth::TiltedPlane, 24, 3);
        ThreadJingShenHigh w;
        push(w, s.frames[0]);
        w.prepareFirstFrame(false); // gated and queued, nothing fused yet
        QCOMPARE(w.currentState(), 1);
        push(w, s.frames[8]);
        QCOMPARE(w.queueLength(), 1);
        push(w, s.frames[8]);
        QCOMPARE(w.queueLength(), 1); // a repeat is dropped
        push(w, s.frames[16]);
        QCOMPARE(w.queueLength(), 2);
        for (int k : {16, 20, 23, 12})
            push(w, s.frames[k]);
        // Never more than two; the head (the frame in fusion) is never rewritten.
        QCOMPARE(w.queueLength(), 2);
        QVERIFY(same(w.queuedFrame(0), s.frames[8]));
        // The waiting frame holds, pixel by pixel, the frames offered after it.
        const cv::Mat waiting = w.queuedFrame(1);
        cv::Mat known(int(waiting.total()), 1, CV_8U, cv::Scalar(0));
        for (int k : {16, 20, 23, 12}) {
            cv::Mat diff, most;
            cv::absdiff(waiting, s.frames[k], diff);
            cv::reduce(diff.reshape(1, int(diff.total())), most, 1, cv::REDUCE_MAX);
            known |= most == 0;
        }
        QCOMPARE(cv::countNonZero(known), int(known.total()));
        w.start();
        QVERIFY(FocusStackDriver::waitDrained(w));
        QCOMPARE(w.fusedCount(), 2);
        w.requestStop();
        QVERIFY(w.wait(10000));
    }

    void framesOfAnotherSizeAreDropped() {
        const gen::Stack s = smallStack(gen::Depth::Dome, 6);
        const cv::Mat small = gen::makeSpecimen(cv::Size(320, 240), 4);
        const cv::Mat wide = gen::makeSpecimen(cv::Size(800, 480), 4);
        ThreadJingShenHigh w;
        push(w, s.frames[0]);
        push(w, small); // idle: would have been copied into the 640 x 480 preview
        push(w, wide);
        QVERIFY(same(resultOf(w), s.frames[0]));
        w.prepareFirstFrame();
        pushFrom(w, {small, wide, s.frames[5], small});
        QVERIFY(FocusStackDriver::waitDrained(w));
        QCOMPARE(w.outputSize(), QSize(640, 480));
        QCOMPARE(resultOf(w).size(), cv::Size(640, 480));
        w.requestStop();
        QVERIFY(w.wait(10000));
    }

    void stopDropsFramesAndContinueFusesOnlyNewOnes() {
        const gen::Stack s = smallStack(gen::Depth::TiltedPlane, 24, 5);
        ThreadJingShenHigh w;
        push(w, s.frames[0]);
        w.prepareFirstFrame();
        for (int k = 1; k < 8; ++k) {
            push(w, s.frames[k]);
            QVERIFY(FocusStackDriver::waitDrained(w));
        }
        w.requestStop();
        QVERIFY(w.wait(10000));
        QCOMPARE(w.currentState(), 2);
        const int fused = w.fusedCount();
        const cv::Mat stopped = resultOf(w);
        pushFrom(w, {s.frames[20], s.frames[23]});
        QCOMPARE(w.queueLength(), 0);
        QVERIFY(same(resultOf(w), stopped)); // nothing fused, nothing lost
        // Continue keeps every plane: the new frames add to the picture.
        w.start();
        QCOMPARE(w.currentState(), 1);
        for (int k = 16; k < 24; ++k) {
            push(w, s.frames[k]);
            QVERIFY(FocusStackDriver::waitDrained(w));
        }
        QVERIFY(w.fusedCount() > fused);
        const cv::Mat continued = resultOf(w);
        const cv::Rect left(0, 0, 160, 480); // in focus in the first frames only
        QVERIFY(gen::psnr(continued, s.truth, left) > gen::psnr(s.frames[20], s.truth, left) + 3.0);
        w.requestStop();
        QVERIFY(w.wait(10000));
    }

    void stopDuringAPassLeavesTheFrameQueuedForContinue() {
        // A pass over a large frame with Zoom And Align lasts long enough to
        // be caught in; on busy cores it lasts seconds, and a stop must not
        // wait for it (the program ends within its promised time).
        const gen::Stack s = gen::makeStack(gen::breathingParams(cv::Size(3840, 2160), 2, 2.0, 13));
        ThreadJingShenHigh w;
        push(w, s.frames[0]);
        QVERIFY(w.prepareFirstFrame(false));
        push(w, s.frames[1]); // sharper where the first is blurred: queued
        QCOMPARE(w.queueLength(), 1);
        w.alignEnabled = true;
        const cv::Mat before = resultOf(w);
        w.start();
        QTRY_VERIFY_WITH_TIMEOUT(w.fusing(), 60000);
        w.requestStop();
        QVERIFY(w.wait(60000));
        QCOMPARE(w.fusedCount(), 0);
        QCOMPARE(w.queueLength(), 1);
        QVERIFY(same(resultOf(w), before));
        // Continue fuses the frame the stop left.
        w.start();
        QVERIFY(FocusStackDriver::waitDrained(w));
        QCOMPARE(w.fusedCount(), 1);
        w.requestStop();
        QVERIFY(w.wait(60000));
    }

    // The system refuses the run memory: the first frame's copy for the
    // preview (on the camera's save thread), the first frame's conversion as
    // the run is prepared (on the interface thread), a thread to fuse in, or
    // a pass over a 4K frame. The run stops as a Stop stops it (finished()
    // comes, the frame stays queued for Continue, the picture is kept) or,
    // before it is prepared, never starts; each says so once, and the process
    // goes on. Each row runs in a child process of its own (this test again)
    // under an address-space limit of what it maps before the refused step
    // and `more` megabytes (beyond a thread's stack where the thread is to
    // run): no room for a 4K picture.
    void aRefusedPassStopsTheRunNotTheProgram_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<qlonglong>("more");
        QTest::addColumn<bool>("threadRuns");
        QTest::newRow("the first frame's preview copy") << int(Step::FirstFrame) << qlonglong(1) << false;
        QTest::newRow("the first frame's conversion") << int(Step::Prepare) << qlonglong(1) << false;
        QTest::newRow("no thread to fuse in") << int(Step::Continue) << qlonglong(1) << false;
        QTest::newRow("a pass over a 4K frame") << int(Step::Continue) << qlonglong(4) << true;
    }
    void aRefusedPassStopsTheRunNotTheProgram() {
        QFETCH(int, step);
        QFETCH(qlonglong, more);
        QFETCH(bool, threadRuns);
        if (const char* why = addressLimitUntestable())
            QSKIP(why);
        if (!qEnvironmentVariableIsSet("FOCUS_WORKER_REFUSED")) {
            const QString failed = runRowInChild("FOCUS_WORKER_REFUSED", "refused");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        cv::setNumThreads(0); // no OpenCV threads: the run's own thread is what is refused first
        const gen::Stack s = gen::makeStack(gen::breathingParams(cv::Size(3840, 2160), 2, 2.0, 13));
        ThreadJingShenHigh w;
        QObject panel;
        int begins = 0;
        connect(MessagePassing::instance(), &MessagePassing::snapJingShenBeginSIGNAL, &panel,
                [&] { ++begins; });
        QSignalSpy finished(&w, &QThread::finished);
        QSignalSpy began(&w, &QThread::started);
        const unsigned long long room =
            (unsigned long long)(more << 20) + (threadRuns ? threadStackBytes() : 0);
        if (step == int(Step::FirstFrame)) {
            QVERIFY(limitAddressSpace(room));
            push(w, s.frames[0]);
            // Nothing to prepare: the run never starts, and the frames after
            // it are dropped until the panel begins again.
            push(w, s.frames[1]);
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
            QCOMPARE(began.count(), 0);
            QVERIFY(w.takeNoMemory());
            QVERIFY(!w.takeNoMemory()); // told once
            QVERIFY(w.outputSize().isEmpty());
            QVERIFY(!w.prepareFirstFrame(false));
            QCOMPARE(begins, 0);
            std::fprintf(stderr, "refused\n");
            return;
        }
        push(w, s.frames[0]);
        if (step == int(Step::Prepare)) {
            QVERIFY(limitAddressSpace(room));
            QVERIFY(!w.prepareFirstFrame(false));
            QVERIFY(w.takeNoMemory());
            QVERIFY(!w.takeNoMemory()); // told once
            QCOMPARE(w.currentState(), 0);
            QCOMPARE(began.count(), 0);
            // The picture stays in the preview; nothing of a run is kept.
            QCOMPARE(w.outputSize(), QSize(3840, 2160));
            push(w, s.frames[1]);
            QCOMPARE(w.queueLength(), 0);
            std::fprintf(stderr, "refused\n");
            return;
        }
        QVERIFY(w.prepareFirstFrame(false));
        push(w, s.frames[1]);
        QCOMPARE(w.queueLength(), 1);
        const cv::Mat before = resultOf(w);
        QVERIFY(limitAddressSpace(room));
        w.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QCOMPARE(began.count(), threadRuns ? 1 : 0);
        QVERIFY(w.takeNoMemory());
        QVERIFY(!w.takeNoMemory()); // told once
        QCOMPARE(w.currentState(), 2);
        QCOMPARE(w.fusedCount(), 0);
        QCOMPARE(w.queueLength(), 1);
        // Read in place: under the limit there is no room for a copy.
        bool kept = false;
        QVERIFY(w.readResult([&](const QImage& now) {
            kept = same(cv::Mat(now.height(), now.width(), CV_8UC3, const_cast<uchar*>(now.constBits()),
                                size_t(now.bytesPerLine())),
                        before);
        }));
        QVERIFY(kept);
        std::fprintf(stderr, "refused\n");
    }

    // A frame the system refused memory on its way (null rows) stops a
    // running run as a refused pass does; as the first frame of a run (the
    // worker is fed only while the panel waits for one) no run begins, as
    // when its copy is refused here, until the panel discards the attempt.
    void aFrameRefusedOnItsWayStopsTheRun() {
        const gen::Stack s = gen::makeStack(gen::breathingParams(cv::Size(640, 360), 2, 2.0, 13));
        ThreadJingShenHigh w;
        {
            QSignalSpy finished(&w, &QThread::finished);
            w.pushFrame(nullptr, 0, 0);
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
            QVERIFY(w.takeNoMemory());
            QCOMPARE(w.currentState(), 2);
            w.pushFrame(nullptr, 0, 0); // told once
            push(w, s.frames[0]);       // dropped
            QVERIFY(w.outputSize().isEmpty());
            QVERIFY(!w.takeNoMemory());
            w.resetData();
        }
        push(w, s.frames[0]);
        QVERIFY(w.prepareFirstFrame(false));
        QSignalSpy finished(&w, &QThread::finished);
        w.start();
        w.pushFrame(nullptr, 0, 0);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QVERIFY(w.takeNoMemory());
        QCOMPARE(w.currentState(), 2);
    }

    void stopForExitGivesTheRunsMemoryBackOnceTheWorkerHasLeft() {
        // The program is ending: nothing continues the run, and its 4K
        // planes, pooled frames and scratch go back to the system on the
        // worker's own thread as it leaves, beside the rest of the way out,
        // instead of being freed page by page after the process has ended.
        const gen::Stack s = gen::makeStack(gen::breathingParams(cv::Size(3840, 2160), 4, 2.0, 17));
        const double frameMb = 3840.0 * 2160 * 3 / (1 << 20);
        const double idleMb = residentMb();
        {
            ThreadJingShenHigh w;
            push(w, s.frames[0]);
            QVERIFY(w.prepareFirstFrame());
            for (int k = 1; k < 4; ++k) {
                push(w, s.frames[k]);
                QVERIFY(FocusStackDriver::waitDrained(w, 120000));
            }
            QVERIFY(w.fusedCount() > 0);
            const double runMb = residentMb();
            // Three planes, the picture and its next copy, the frame at work
            // and a pooled one: far more than six 4K frames.
            QVERIFY2(runMb - idleMb > 6 * frameMb, qPrintable(QString("run holds %1 MB").arg(runMb - idleMb)));
            w.stopForExit();
            QVERIFY(w.wait(120000));
            QCOMPARE(w.currentState(), 2);
            // Read back by the system: all but a frame or two are gone.
            const double leftMb = residentMb() - idleMb;
            QVERIFY2(leftMb < 2 * frameMb, qPrintable(QString("%1 MB still held").arg(leftMb)));
            QVERIFY(w.result().isNull());
            // A frame that still comes starts nothing, and neither does Continue.
            pushFrom(w, {s.frames[1]});
            QCOMPARE(w.queueLength(), 0);
            QVERIFY(w.result().isNull());
            w.start();
            QVERIFY(w.wait(10000));
            QCOMPARE(w.currentState(), 2);
        }
    }

    void resetDiscardsTheRunAndTheNextFrameStartsANewOne() {
        const gen::Stack s = smallStack(gen::Depth::Steps, 6);
        ThreadJingShenHigh w;
        QVector<ThreadJingShenHigh*> unlinked;
        FocusStackDriver::ScopedUnlinkHook hook([&](ThreadJingShenHigh* p) { unlinked.push_back(p); });
        QObject panel;
        int begins = 0;
        connect(MessagePassing::instance(), &MessagePassing::snapJingShenBeginSIGNAL, &panel, [&] {
            ++begins;
            w.prepareFirstFrame();
        });
        pushFrom(w, {s.frames[0]});
        QTRY_COMPARE(begins, 1);
        pushFrom(w, {s.frames[3]});
        QVERIFY(FocusStackDriver::waitDrained(w));
        // Stop, then Reset while stopped: state 3 stays until the data is discarded.
        w.requestStop();
        QVERIFY(w.wait(10000));
        w.requestReset();
        pushFrom(w, {s.frames[4]});
        QCOMPARE(w.currentState(), 3);
        QVERIFY(!w.result().isNull());
        w.resetData();
        QCOMPARE(w.currentState(), 0);
        QVERIFY(w.result().isNull());
        QVERIFY(w.outputSize().isEmpty());
        QCOMPARE(unlinked, QVector<ThreadJingShenHigh*>{&w});
        // The next frame announces a new run, of its own size.
        const cv::Mat other = gen::makeSpecimen(cv::Size(320, 240), 9);
        pushFrom(w, {other});
        QTRY_COMPARE(begins, 2);
        QCOMPARE(w.outputSize(), QSize(320, 240));
        QVERIFY(same(resultOf(w), other));
        // Reset requested while the loop runs: the loop discards the run and leaves.
        w.requestReset();
        QVERIFY(w.wait(10000));
        QCOMPARE(w.currentState(), 0);
        QVERIFY(w.result().isNull());
        QCOMPARE(unlinked.size(), 2);
    }

    void zoomAndAlignFusesABreathingStackInTheFirstFramesGeometry() {
        const gen::Stack s = gen::makeStack(gen::breathingParams(cv::Size(640, 480), 16, 2.0, 31));
        const cv::Rect inner(48, 36, 544, 408);
        ThreadJingShenHigh w;
        FocusStackDriver::Options o;
        const double off = gen::psnr(FocusStackDriver::run(w, s.frames, o), s.truth, inner);
        o.align = true;
        const double on = gen::psnr(FocusStackDriver::run(w, s.frames, o), s.truth, inner);
        qInfo("breathing stack: PSNR without align %.2f dB, with Zoom And Align %.2f dB", off, on);
        QVERIFY(on > off + 3.0);
        // A flat frame has no key points: it is fused unaligned, without harm.
        const cv::Mat flat(480, 640, CV_8UC3, cv::Scalar(90, 90, 90));
        std::vector<cv::Mat> withFlat = {s.frames[0], flat, s.frames[8]};
        QVERIFY(!FocusStackDriver::run(w, withFlat, o).empty());
    }

    // Zoom And Align refuses a frame turned against the run (its key points
    // agree on no one shift): it is never fused, so the cells it alone was
    // sharp in count again what the fused frames hold there, and a later
    // frame sharp there is fused. Cells the fused frames hold stay held: a
    // frame sharp only there is not fused again.
    void aFrameSharpWhereARefusedFrameWasIsFused() {
        // Four bands of columns at four depths; a frame focused on each.
        gen::StackParams p;
        p.size = cv::Size(640, 480);
        p.depth = gen::Depth::Steps;
        p.frames = 21; // frame k focused at depth k / 20: bands at 0.1, 0.7, 0.35, 0.9
        p.maxBlurSigma = 16.0;
        p.seed = 41;
        const gen::Stack s = gen::makeStack(p);
        // The frames at a quarter of their contrast: room above them for a
        // frame sharper than any of them in every cell.
        const auto faint = [](const cv::Mat& m) {
            cv::Mat f;
            m.convertTo(f, CV_8U, 0.25, 0.75 * 128);
            return f;
        };
        const cv::Mat truth = faint(s.truth);
        const cv::Mat band0 = faint(s.frames[2]);
        const cv::Mat band1 = faint(s.frames[14]);
        const cv::Mat band2 = faint(s.frames[7]);
        const cv::Mat band3 = faint(s.frames[18]);
        // Sharp everywhere at full contrast, but turned by 6 degrees: the
        // gate takes it for every cell, the alignment refuses it.
        cv::Mat turnedTruth;
        cv::warpAffine(s.truth, turnedTruth, cv::getRotationMatrix2D(cv::Point2f(319.5f, 239.5f), 6.0, 1.0), p.size,
                       cv::INTER_LINEAR, cv::BORDER_REFLECT);
        const cv::Mat turned = turnedTruth;
        const cv::Rect lastBand(496, 16, 128, 448); // inside band 3, clear of its neighbour's blur

        ThreadJingShenHigh w;
        w.alignEnabled = true;
        push(w, band0);
        QVERIFY(w.prepareFirstFrame());
        // With Zoom And Align a frame is taken at its peak, once the next
        // frame falls off it: bands 1 and 2 are fused.
        for (const cv::Mat* f : {&band1, &band2, &band1}) {
            push(w, *f);
            QVERIFY(FocusStackDriver::waitDrained(w));
        }
        QCOMPARE(w.fusedCount(), 2);
        const cv::Mat beforeTurned = resultOf(w);
        for (const cv::Mat* f : {&turned, &band0}) {
            push(w, *f);
            QVERIFY(FocusStackDriver::waitDrained(w));
        }
        // The turned frame was queued (the first frame falls off it
        // everywhere) and refused: nothing of it is in the picture.
        QCOMPARE(w.fusedCount(), 2);
        QVERIFY(same(resultOf(w), beforeTurned));
        // A frame sharp in band 3, where only the turned frame was: taken
        // once the next frame falls off it. Frames sharp in bands 1 and 2
        // add nothing the fused picture lacks.
        for (const cv::Mat* f : {&band3, &band1, &band2}) {
            push(w, *f);
            QVERIFY(FocusStackDriver::waitDrained(w));
        }
        QCOMPARE(w.fusedCount(), 3);
        const double before = gen::psnr(beforeTurned, truth, lastBand);
        const double after = gen::psnr(resultOf(w), truth, lastBand);
        qInfo("band 3 against the truth: %.2f dB before, %.2f dB after", before, after);
        QVERIFY(after > before + 3.0);
        w.requestStop();
        QVERIFY(w.wait(10000));
    }

private:
    std::unique_ptr<TestEnv> env;
};

QTEST_GUILESS_MAIN(TestFocusStackWorker)
#include "tst_focus_stack_worker.moc"
