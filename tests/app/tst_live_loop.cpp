// The program's loop keeps the live picture going while a modal dialog or a
// menu runs its own event loop, and a pass of its own does not render twice.
#include "app/LiveLoop.h"
#include "camera/SDLBackground.h"
#include "camera/VideoFeeds.h"
#include "platform/ProcessEnd.h"

#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <vector>

namespace {

// A network camera with a new frame every time it is asked: whatever runs
// the render step shows a new picture.
class EndlessFeed : public NetVideoFeed {
public:
    EndlessFeed() : m_bgr(size_t(kW) * kH * 3, 90) {}
    static constexpr int kW = 64, kH = 32;
    bool feedPlaying() const override { return true; }
    int newestFrameIndex() const override { return ++m_index; }
    bool withNewestFrame(const std::function<void(const uint8_t*, int, int, int)>& fn) override {
        fn(m_bgr.data(), kW, kH, kW * 3);
        return true;
    }

private:
    mutable int m_index = 0;
    std::vector<uint8_t> m_bgr;
};

// Runs `open` (which enters a nested loop) and ends that loop once `done`
// holds, or after a generous time; whether `done` held.
bool runNestedUntil(const std::function<void()>& open, const std::function<void()>& close,
                    const std::function<bool()>& done) {
    bool reached = false;
    QElapsedTimer clock;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > 20000) {
            reached = done();
            poll.stop();
            close();
        }
    });
    clock.start();
    poll.start(5);
    open();
    return reached;
}

// A window showing an endless feed, with the program's loop around it.
struct Rig {
    SDLBackground window;
    EndlessFeed feed;
    LiveLoop loop{&window};
    Rig() {
        window.setCanvasSize(QSize(EndlessFeed::kW, EndlessFeed::kH));
        window.attachNetCamera(&feed, EndlessFeed::kW, EndlessFeed::kH);
        window.show();
    }
};

} // namespace

class TstLiveLoop : public QObject {
    Q_OBJECT
private slots:
    void modalDialogKeepsTheVideoRunning();
    void menuKeepsTheVideoRunning();
    void dialogOpenedInAPassKeepsTheVideoRunning();
    void ownPassRendersOnce();
    void stopSeenInAPassRendersNothingMore_data();
    void stopSeenInAPassRendersNothingMore();
};

void TstLiveLoop::modalDialogKeepsTheVideoRunning() {
    Rig rig;
    SDLBackground& window = rig.window;
    LiveLoop& loop = rig.loop;
    const int before = window.uploadCount();
    QDialog dialog;
    dialog.setModal(true);
    const bool running = runNestedUntil([&] { dialog.exec(); }, [&] { dialog.reject(); },
                                        [&] { return window.uploadCount() >= before + 10; });
    QVERIFY2(running, qPrintable(QString("%1 pictures shown").arg(window.uploadCount() - before)));
    QVERIFY(loop.nestedSteps() >= 10);
}

void TstLiveLoop::menuKeepsTheVideoRunning() {
    Rig rig;
    SDLBackground& window = rig.window;
    const int before = window.uploadCount();
    QMenu menu;
    menu.addAction("an entry");
    const bool running = runNestedUntil([&] { menu.exec(QPoint(0, 0)); }, [&] { menu.close(); },
                                        [&] { return window.uploadCount() >= before + 10; });
    QVERIFY(running);
}

// A dialog opened by an event of the program's own pass (a button click)
// runs its loop inside that pass, after passes that kept the nested steps'
// timer from firing: its steps run all the same.
void TstLiveLoop::dialogOpenedInAPassKeepsTheVideoRunning() {
    Rig rig;
    SDLBackground& window = rig.window;
    LiveLoop& loop = rig.loop;
    for (int i = 0; i < 5; ++i)
        loop.pass();
    QCOMPARE(loop.nestedSteps(), 0);
    const int before = window.uploadCount();
    bool running = false;
    QDialog dialog;
    dialog.setModal(true);
    QTimer::singleShot(0, [&] {
        running = runNestedUntil([&] { dialog.exec(); }, [&] { dialog.reject(); },
                                 [&] { return window.uploadCount() >= before + 10; });
    });
    loop.pass();
    QVERIFY2(running, qPrintable(QString("%1 pictures shown").arg(window.uploadCount() - before)));
    QVERIFY(loop.nestedSteps() >= 10);
}

// Timers that fall due while the loop's own pass handles events render
// nothing: that pass renders once itself.
void TstLiveLoop::ownPassRendersOnce() {
    Rig rig;
    SDLBackground& window = rig.window;
    LiveLoop& loop = rig.loop;
    QElapsedTimer clock;
    clock.start();
    int passes = 0;
    while (clock.elapsed() < 200) {
        loop.pass();
        ++passes;
    }
    QCOMPARE(loop.nestedSteps(), 0);
    QCOMPARE(window.uploadCount(), passes);
}

// A stop or an exit request handled among a pass's events (the close button,
// a terminate request) ends the loop without rendering once more: a render
// step can take a camera frame's whole time on busy cores, and the program
// has to end.
void TstLiveLoop::stopSeenInAPassRendersNothingMore_data() {
    QTest::addColumn<bool>("exitRequest");
    QTest::newRow("the window is stopped") << false;
    QTest::newRow("an exit is requested") << true;
}

void TstLiveLoop::stopSeenInAPassRendersNothingMore() {
    QFETCH(bool, exitRequest);
    ProcessEnd::reset();
    Rig rig;
    SDLBackground& window = rig.window;
    int shownAtStop = -1;
    // After a few frames, as an event of the loop's own pass.
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (window.uploadCount() < 3 || shownAtStop >= 0)
            return;
        shownAtStop = window.uploadCount();
        if (exitRequest)
            ProcessEnd::requestExit(0, 0);
        else
            window.stop();
    });
    stopper.start(1);
    rig.loop.run();
    // The request's queued exit call finds no loop to end here.
    QCoreApplication::processEvents();
    ProcessEnd::reset();
    QVERIFY(shownAtStop >= 3);
    QCOMPARE(window.uploadCount(), shownAtStop);
}

QTEST_MAIN(TstLiveLoop)
#include "tst_live_loop.moc"
