// The focus-stacking worker under the three threads that share it: a camera
// thread pushes frames without pause while the test, standing in for the
// panel on the GUI thread, starts runs, reads the preview, stops, continues,
// resets and discards them at every moment. Nothing may crash, deadlock or
// leave the worker in a state the panel does not expect. Built with
// ThreadSanitizer as well (README, "Sanitizer builds") to check it for data
// races.

#include "FocusStackDriver.h"
#include "FocusStackGenerator.h"

#include "app/hub/MessagePassing.h"
#include "imaging/ThreadJingShenHigh.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace gen = FocusStackGenerator;

class TestFocusStackThreads : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
#if defined(__SANITIZE_THREAD__)
        // OpenCV's thread pool hands work over through atomics inside an
        // uninstrumented library, which the sanitizer cannot see: run its
        // parallel loops inline so that every report concerns our threads.
        cv::setNumThreads(0);
#endif
    }

    void runControlWhileTheCameraKeepsPushing() {
        TestEnv env;
        MessagePassing::instance();
        gen::StackParams p;
        p.size = cv::Size(480, 360);
        p.frames = 12;
        p.maxBlurSigma = 5.0;
        p.seed = 17;
        const gen::Stack stack = gen::makeStack(p);
        const cv::Mat odd = gen::makeSpecimen(cv::Size(320, 240), 2);

        ThreadJingShenHigh w;
        std::atomic<int> unlinks{0};
        FocusStackDriver::ScopedUnlinkHook hook([&](ThreadJingShenHigh*) { ++unlinks; });
        QObject panel;
        int begins = 0;
        connect(MessagePassing::instance(), &MessagePassing::snapJingShenBeginSIGNAL, &panel, [&] {
            // An announcement from before a reset finds no first frame.
            if (w.prepareFirstFrame())
                ++begins;
        });

        // The save thread: every frame of the sweep, some twice, now and then
        // one of another size, over and over.
        std::atomic<bool> stop{false};
        std::atomic<long> pushed{0};
        std::thread camera([&] {
            for (long i = 0; !stop.load(); ++i) {
                const cv::Mat& f = (i % 17 == 16) ? odd : stack.frames[(i / 2) % stack.frames.size()];
                w.pushFrame(f.data, f.cols, f.rows);
                ++pushed;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        // Also when a check fails half-way: the camera stops before the worker goes.
        struct Join {
            std::atomic<bool>& stop;
            std::thread& t;
            ~Join() {
                stop = true;
                if (t.joinable())
                    t.join();
            }
        } stopCamera{stop, camera};

        auto previewRead = [&] {
            const QImage img = w.result();
            if (!img.isNull())
                QVERIFY(img.size() == w.outputSize() || w.outputSize().isEmpty());
        };
        auto waitPushes = [&](long n) {
            const long target = pushed.load() + n;
            QTRY_VERIFY_WITH_TIMEOUT(pushed.load() >= target, 60000);
        };

        for (int cycle = 0; cycle < 3; ++cycle) {
            // Enter the mode: the next frame announces the run.
            w.resetData();
            QTRY_COMPARE_WITH_TIMEOUT(begins, cycle + 1, 60000);
            QCOMPARE(w.currentState(), 1);
            w.alignEnabled = (cycle == 1);
            waitPushes(20);
            previewRead();

            // Stop, then Continue once the loop has left.
            w.requestStop();
            QVERIFY(w.wait(60000));
            previewRead();
            w.start();
            waitPushes(10);

            // Continue while the loop is still leaving.
            w.requestStop();
            w.start();
            QCOMPARE(w.currentState(), 1);
            waitPushes(10);
            QVERIFY(w.isRunning());
            previewRead();

            // Discard the run while the loop runs and frames keep coming.
            if (cycle == 2) {
                w.requestReset();
                QVERIFY(w.wait(60000));
                QCOMPARE(w.currentState(), 0);
            } else {
                w.resetData();
                QVERIFY(!w.isRunning());
            }
            // The preview restarts with the next frame of the run to come.
            previewRead();
        }

        stop = true;
        camera.join();
        w.requestStop();
        QVERIFY(w.wait(60000));
        QVERIFY(unlinks.load() >= 3);
        QVERIFY(pushed.load() > 0);
    }
};

QTEST_GUILESS_MAIN(TestFocusStackThreads)
#include "tst_focus_stack_threads.moc"
