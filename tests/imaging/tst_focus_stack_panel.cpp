#include "FocusStackGenerator.h"

#include "app/hub/MessagePassing.h"
#include "app/late/LateLoad.h"
#include "camera/BaseCamera.h"
#include "camera/SnapshotFiles.h"
#include "imaging/JingShenFormHigh.h"
#include "resources/SevrinResources.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <malloc.h>

namespace gen = FocusStackGenerator;

namespace {
// The loader's words for a late library that does not load; none: it loads.
const char* lateFailure = nullptr;

// Bytes of this process's mappings marked for transparent huge pages, as the
// kernel lists them: the run's full-size buffers are such mappings each
// (planes, result, pooled frames), and nothing else here asks for them.
qint64 hugePageBytes() {
    QFile smaps("/proc/self/smaps");
    if (!smaps.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = 0, size = 0;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        if (line.startsWith("Size:"))
            size = line.mid(5).trimmed().split(' ').value(0).toLongLong() * 1024;
        else if (line.startsWith("VmFlags:") && line.split(' ').contains("hg"))
            total += size;
    }
    return total;
}
} // namespace

// The program's late loading as a test answers it (this test links its
// libraries at start, where nothing else would fail).
extern "C" int sevrin_late_load(const char* prefix, char* why, size_t size) {
    if (!lateFailure)
        return 0;
    std::snprintf(why, size, "%s.so.406: %s", prefix, lateFailure);
    return -1;
}

// The focus-stacking panel's run control, driven as the operator does, with
// frames handed to its worker as the camera's save thread would.
class TestFocusStackPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        sevrinInitResources();
        // A child under an address-space limit: every large picture is mapped
        // on its own and given back when freed, so that the limit counts it
        // whatever the heap kept of the pictures before.
        if (qEnvironmentVariableIsSet("FOCUS_PANEL_REFUSED"))
            mallopt(M_MMAP_THRESHOLD, 1 << 20);
    }
    void init();
    void cleanup();
    void stopThenContinueKeepsTheRun();
    void resetStartsAgainAfterASecond();
    void closeWaitsForTheWorker();
    void exportStopsFirstAndListsThePicture();
    void failedExportIsNotListed();
    void bareNameGetsTheJpgSuffix();
    void exportWhileStillSharpeningAsksFirst();
    void exitWhileAnActionWaitsForTheWorkerCarriesItNotOut_data();
    void exitWhileAnActionWaitsForTheWorkerCarriesItNotOut();
    void previewConvertsOnlyAPictureNewlyFused();
    void aRefusalIsToldAndExportHoldsWhatWasPlaced_data();
    void aRefusalIsToldAndExportHoldsWhatWasPlaced();

private:
    void start();
    // The row of a 4K run whose view is refused the copy of a frame fused.
    void viewCopyRefused(const QString& told);
    // The picture item of the panel's view, wherever the view is hosted.
    QGraphicsPixmapItem* shownItem() const;
    void feed(int from, int to);
    // Calls the panel's `slot` and answers the box an Export asks during the
    // call while the stack is still sharpening, if one comes: export now or
    // go on stacking; its text into *asked.
    void pressAnswering(const char* slot, bool exportNow = true, QString* asked = nullptr);

    // A live camera that may feed focus stacking; counts frame requests.
    struct Camera : BaseCamera {
        int requests = 0;
        bool isPlaying() const override { return true; }
        bool supportComposite() const override { return true; }
        QSize frameSize(bool) const override { return QSize(1920, 1080); }
        void snapImage(QString, int mode, bool, bool, QColor, int, int) override { requests += mode == 7; }
    };
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<Camera> cam;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<JingShenFormHigh> panel;
    gen::Stack stack;
};

void TestFocusStackPanel::init() {
    env = std::make_unique<TestEnv>();
    cam = std::make_unique<Camera>();
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(cam.get());
    hub->initImageHistory();
    hub->setLanguage(1);
    if (stack.frames.empty()) {
        gen::StackParams p;
        p.size = cv::Size(1920, 1080);
        p.frames = 8;
        stack = gen::makeStack(p);
    }
    host = std::make_unique<QWidget>();
    panel = std::make_unique<JingShenFormHigh>();
    // What the main widget does with the view it is lent.
    connect(panel.get(), &JingShenFormHigh::moveLabImgHigh, host.get(), [this](QGraphicsView* view) {
        view->setParent(host.get());
        panel->goin();
    });
}

void TestFocusStackPanel::cleanup() {
    lateFailure = nullptr;
    panel.reset();
    host.reset();
    MessagePassing::instance()->setCurCamera(nullptr);
    JingShenFormHigh::setFileChooser({});
    cam.reset();
    env.reset();
}

void TestFocusStackPanel::start() {
    auto* btnStart = panel->findChild<QToolButton*>("btnStart");
    QCOMPARE(btnStart->text(), QString("Start"));
    QMetaObject::invokeMethod(panel.get(), "btnStartClick");
    QCOMPARE(btnStart->text(), QString("Continue"));
    QCOMPARE(cam->requests, 1);
    feed(0, 1); // the first frame announces the run
    QTRY_COMPARE(panel->worker().currentState(), 1);
    QVERIFY(panel->findChild<QPushButton*>("btnExport")->isEnabled());
}

QGraphicsPixmapItem* TestFocusStackPanel::shownItem() const {
    QGraphicsView* view = host->findChild<QGraphicsView*>("graphicsView");
    if (!view)
        view = panel->findChild<QGraphicsView*>("graphicsView");
    if (!view || !view->scene())
        return nullptr;
    for (QGraphicsItem* i : view->scene()->items())
        if (auto* p = qgraphicsitem_cast<QGraphicsPixmapItem*>(i))
            return p;
    return nullptr;
}

void TestFocusStackPanel::feed(int from, int to) {
    for (int i = from; i < to; ++i)
        panel->worker().pushFrame(stack.frames[i].data, stack.frames[i].cols, stack.frames[i].rows);
}

void TestFocusStackPanel::pressAnswering(const char* slot, bool exportNow, QString* asked) {
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !box->button(QMessageBox::Yes))
            return;
        if (asked)
            *asked = box->text();
        box->button(exportNow ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    poll.start(5);
    QMetaObject::invokeMethod(panel.get(), slot);
}

void TestFocusStackPanel::stopThenContinueKeepsTheRun() {
    start();
    feed(1, 5);
    QTRY_VERIFY(panel->worker().fusedCount() > 0 && panel->worker().queueLength() == 0);
    QMetaObject::invokeMethod(panel.get(), "btnStopClick");
    QTRY_VERIFY(!panel->worker().isRunning());
    const int fused = panel->worker().fusedCount();
    const QImage kept = panel->worker().result();
    feed(5, 6); // dropped while stopped
    QCOMPARE(panel->worker().result(), kept);
    QTRY_VERIFY(panel->findChild<QToolButton*>("btnStart")->isVisibleTo(panel.get())); // after the finished slot
    QMetaObject::invokeMethod(panel.get(), "btnStartClick"); // Continue
    QTRY_VERIFY(panel->worker().isRunning());
    QCOMPARE(panel->worker().fusedCount(), fused);
    QCOMPARE(panel->worker().result(), kept);
    feed(6, 8);
    QTRY_VERIFY(panel->worker().fusedCount() > fused);
}

void TestFocusStackPanel::resetStartsAgainAfterASecond() {
    start();
    feed(1, 3);
    QElapsedTimer t;
    t.start();
    QMetaObject::invokeMethod(panel.get(), "btnResetRealClick"); // while running: stops first
    QTRY_COMPARE(cam->requests, 2);
    QVERIFY(t.elapsed() >= 1000);
    QCOMPARE(panel->worker().currentState(), 0);
    QVERIFY(panel->worker().result().isNull()); // the run's data is gone
    feed(3, 4); // the next frame starts a new run
    QTRY_COMPARE(panel->worker().currentState(), 1);
    QCOMPARE(panel->findChild<QToolButton*>("btnStart")->text(), QString("Continue"));
}

void TestFocusStackPanel::closeWaitsForTheWorker() {
    const qint64 before = hugePageBytes();
    QVERIFY(before >= 0);
    start();
    feed(1, 5); // frames queued take pooled buffers of their own
    QVERIFY(hugePageBytes() > before);
    QGraphicsPixmapItem* item = shownItem();
    QVERIFY(item);
    QTRY_VERIFY(!item->pixmap().isNull());
    QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutJingShenHighSIGNAL()));
    bool runningAtClose = true;
    connect(MessagePassing::instance(), &MessagePassing::goOutJingShenHighSIGNAL, panel.get(),
            [&] { runningAtClose = panel->worker().isRunning(); });
    QMetaObject::invokeMethod(panel.get(), "btnCloseClick");
    QCOMPARE(out.count(), 0);
    QTRY_COMPARE(out.count(), 1);
    QVERIFY(!runningAtClose);
    QCOMPARE(panel->findChild<QToolButton*>("btnStart")->text(), QString("Start"));
    // The run's pictures go back with it: nothing to keep them for; and a
    // frame still on its way from the camera starts no run unseen.
    QVERIFY(panel->worker().result().isNull());
    QVERIFY(panel->worker().outputSize().isEmpty());
    feed(1, 2);
    QVERIFY(panel->worker().result().isNull());
    QVERIFY(panel->worker().outputSize().isEmpty());
    QVERIFY(item->pixmap().isNull()); // nor does the view keep the last one
    // Every buffer of the run went back to the system, the pooled frames too.
    QCOMPARE(hugePageBytes(), before);
}

void TestFocusStackPanel::exportStopsFirstAndListsThePicture() {
    start();
    feed(1, 8);
    const QString file = env->file("stack.jpg");
    QString offered;
    JingShenFormHigh::setFileChooser([&](const QString&, const QString& preselected) {
        offered = preselected;
        return file;
    });
    pressAnswering("btnExportClick");
    QVERIFY(offered.isEmpty()); // the worker is stopped first
    QTRY_VERIFY(QFile::exists(file));
    QVERIFY(!panel->worker().isRunning());
    QVERIFY(offered.endsWith("/Export/Image/CompositeImage.jpg"));
    QCOMPARE(QImage(file).size(), QSize(1920, 1080));
    QCOMPARE(MessagePassing::instance()->getImageHistoryPath(0), file);
    QTRY_COMPARE(QImage("./.scaleImage/0.jpg").size(), QSize(526, 296));
}

void TestFocusStackPanel::failedExportIsNotListed() {
    start();
    QMetaObject::invokeMethod(panel.get(), "btnStopClick");
    QTRY_VERIFY(!panel->worker().isRunning());
    JingShenFormHigh::setFileChooser([&](const QString&, const QString&) { return env->file("no/such/x.jpg"); });
    pressAnswering("btnExportClick"); // one frame: no peak seen yet
    QTRY_VERIFY(!errorBoxText(false).isEmpty());
    QVERIFY(errorBoxText().contains(env->file("no/such/x.jpg")));
    QCOMPARE(MessagePassing::instance()->getImageHistoryTotalCnt(), 0);
}

// A name typed without a suffix in the export dialog is written as a JPEG
// file with the ".jpg" suffix, as the dialog's one type says.
void TestFocusStackPanel::bareNameGetsTheJpgSuffix() {
    start();
    feed(1, 8);
    JingShenFormHigh::setFileChooser({});
    answerNextModal("QFileDialog", [&](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(env->file("stack"));
        QMetaObject::invokeMethod(w, "accept");
    }, 30000);
    pressAnswering("btnExportClick");
    QTRY_VERIFY(QFile::exists(env->file("stack.jpg")));
    QVERIFY(!QFile::exists(env->file("stack")));
    QCOMPARE(QImage(env->file("stack.jpg")).size(), QSize(1920, 1080));
}

// A frame the gate took and the worker has not fused (stopped inside its
// pass over a 4K frame with Zoom And Align): the panel says the stack is
// still sharpening, and Export asks first; "Keep stacking" exports nothing.
void TestFocusStackPanel::exportWhileStillSharpeningAsksFirst() {
    const gen::Stack big = gen::makeStack(gen::breathingParams(cv::Size(3840, 2160), 2, 2.0, 13));
    QVERIFY(panel->findChild<QCheckBox*>("checkBox")->isChecked());
    QMetaObject::invokeMethod(panel.get(), "btnStartClick");
    ThreadJingShenHigh& w = panel->worker();
    w.pushFrame(big.frames[0].data, big.frames[0].cols, big.frames[0].rows);
    QTRY_COMPARE(w.currentState(), 1);
    // Sharper where the first is blurred, then past its peak: queued.
    for (int k : {1, 0})
        w.pushFrame(big.frames[k].data, big.frames[k].cols, big.frames[k].rows);
    QTRY_VERIFY_WITH_TIMEOUT(w.fusing(), 60000);
    QMetaObject::invokeMethod(panel.get(), "btnStopClick");
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 60000);
    QCOMPARE(w.fusedCount(), 0);
    QVERIFY(w.risingCells() > 0);
    QTRY_VERIFY(panel->findChild<QLabel*>("labProgress")->text().startsWith("Still sharpening: "));
    const QString file = env->file("stack.jpg");
    int offered = 0;
    JingShenFormHigh::setFileChooser([&](const QString&, const QString&) { return ++offered, file; });
    QString asked;
    pressAnswering("btnExportClick", false, &asked);
    QVERIFY2(asked.startsWith("Focus stacking is still sharpening ("), qPrintable(asked));
    QCOMPARE(offered, 0);
    pressAnswering("btnExportClick");
    QCOMPARE(offered, 1);
    QCOMPARE(QImageReader(file).size(), QSize(3840, 2160));
}

// Export, Reset and Close pressed while the worker runs wait for it to stop;
// when the program ends meanwhile, the stop the exit asks for must not carry
// them out: an export's save dialog would hold the ending program, a reset
// would start a new run of a camera that is closing.
void TestFocusStackPanel::exitWhileAnActionWaitsForTheWorkerCarriesItNotOut_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("Export") << "btnExportClick";
    QTest::newRow("Reset") << "btnResetRealClick";
    QTest::newRow("Close") << "btnCloseClick";
}

void TestFocusStackPanel::exitWhileAnActionWaitsForTheWorkerCarriesItNotOut() {
    QFETCH(QString, action);
    start();
    feed(1, 8);
    int dialogs = 0;
    JingShenFormHigh::setFileChooser([&](const QString&, const QString&) {
        ++dialogs;
        return QString();
    });
    QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutJingShenHighSIGNAL()));
    const int requests = cam->requests;
    pressAnswering(action.toLatin1().constData());
    // The action waits for the worker's end to be handled (the worker may
    // have ended already: its end reaches the panel through the event loop).
    QVERIFY(!panel->findChild<QToolButton*>("btnStart")->isVisibleTo(panel.get()));
    panel->stopForExit();
    // The finished slot has run once the Start button is back.
    QTRY_VERIFY(panel->findChild<QToolButton*>("btnStart")->isVisibleTo(panel.get()));
    // The slot carries an action out at once: an export asks for its file,
    // a reset discards the run (state 3, then 0), a close leaves the mode.
    // The stop for the exit keeps state 2 and only gives the run's buffers
    // back.
    QCOMPARE(dialogs, 0);
    QCOMPARE(panel->worker().currentState(), 2);
    QVERIFY(panel->worker().result().isNull());
    QCOMPARE(out.count(), 0);
    QCOMPARE(cam->requests, requests);
}

void TestFocusStackPanel::previewConvertsOnlyAPictureNewlyFused() {
    // Converting the whole picture for the view at every tick of the preview
    // held the interface thread most of the time on large frames (a
    // terminate request waited behind it); between two fused frames the
    // picture is the same.
    start();
    QGraphicsPixmapItem* item = shownItem();
    QVERIFY(item);
    QTRY_VERIFY(!item->pixmap().isNull());
    QTRY_COMPARE(panel->worker().fusing(), false);
    const int fused = panel->worker().fusedCount();
    const qint64 shown = item->pixmap().cacheKey();
    for (int tick = 0; tick < 3; ++tick)
        QMetaObject::invokeMethod(panel.get(), "timeoutSLOT");
    QCOMPARE(panel->worker().fusedCount(), fused);
    QCOMPARE(item->pixmap().cacheKey(), shown);
    feed(1, 5);
    QTRY_VERIFY(panel->worker().fusedCount() > fused);
    QMetaObject::invokeMethod(panel.get(), "timeoutSLOT");
    QVERIFY(item->pixmap().cacheKey() != shown);
    QCOMPARE(item->pixmap().toImage().convertToFormat(QImage::Format_RGB888), panel->worker().result());
}

// What a run needs is refused before anything was placed: the library its
// fusion loads late (loaded at Start), the first frame's copy for the
// preview, or the first frame's conversion as the run is prepared (a 4K
// frame with no room for its copy: in a child process of this test under an
// address-space limit), or the first frame, refused on its way from the
// camera; or the run stops before it fused anything (it holds no more than
// the live picture). A box says so in the interface's language, the
// panel is back before Start with Export grey, and the process goes on.
// Refused the view's copy of a picture fused (a 4K run, in a child under an
// address-space limit), the run stops as a refused pass stops it: the box
// says so and that the picture can still be exported, the view keeps it
// (reduced, over the whole scene), and Export writes it at full size.
void TestFocusStackPanel::aRefusalIsToldAndExportHoldsWhatWasPlaced_data() {
    QTest::addColumn<QString>("loader");   // the late library's failure; empty: it loads
    // 0 none; the first frame: 1 its copy, 2 its conversion, 3 on its way;
    // 4 the frame after it, on its way; 5 the view's copy of a frame fused
    QTest::addColumn<int>("refusedFrame");
    QTest::addColumn<QString>("told");
    // The box begins so; it goes on to say what was refused and the address
    // space the program held.
    const QString noMemory = "Not enough memory: focus stacking could not start (";
    QTest::newRow("a library the system maps no room for")
        << "failed to map segment from shared object" << 0 << noMemory;
    QTest::newRow("a library that is not there")
        << "cannot open shared object file: No such file or directory" << 0
        << "Focus stacking could not start: a library it needs did not load (libopencv_ximgproc.so.406: "
           "cannot open shared object file: No such file or directory).";
    QTest::newRow("the first frame's copy") << QString() << 1 << noMemory;
    QTest::newRow("the first frame's conversion")
        << QString() << 2 << noMemory + "3840 x 2160 pictures; the program holds ";
    QTest::newRow("the first frame on its way") << QString() << 3 << noMemory;
    QTest::newRow("a frame refused before any was fused") << QString() << 4 << noMemory;
    QTest::newRow("the view's copy of a frame fused")
        << QString() << 5
        << "Not enough memory: focus stacking has stopped. The picture stacked so far can still be exported.";
}

void TestFocusStackPanel::aRefusalIsToldAndExportHoldsWhatWasPlaced() {
    QFETCH(QString, loader);
    QFETCH(int, refusedFrame);
    QFETCH(QString, told);
    const bool limited = refusedFrame == 1 || refusedFrame == 2 || refusedFrame == 5;
    if (limited)
        if (const char* why = addressLimitUntestable())
            QSKIP(why);
    if (limited && !qEnvironmentVariableIsSet("FOCUS_PANEL_REFUSED")) {
        const QString failed = runRowInChildUnderLimit("FOCUS_PANEL_REFUSED", "refused");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        return;
    }
    const QByteArray words = loader.toUtf8();
    lateFailure = loader.isEmpty() ? nullptr : words.constData();
    auto* btnStart = panel->findChild<QToolButton*>("btnStart");
    auto* btnExport = panel->findChild<QPushButton*>("btnExport");
    if (refusedFrame == 5) {
        viewCopyRefused(told);
        return;
    }
    QString text;
    dismissNextMessageBox(&text);
    QMetaObject::invokeMethod(panel.get(), "btnStartClick");
    if (refusedFrame) {
        QCOMPARE(cam->requests, 1);
        const cv::Mat frame(2160, 3840, CV_8UC3, cv::Scalar(90, 120, 150));
        // Room for the box, none for a copy of the frame.
        if (refusedFrame == 1)
            QVERIFY(limitAddressSpace(8 << 20));
        if (refusedFrame == 4) {
            // The run is prepared from the first frame; the next is refused.
            feed(0, 1);
            QTRY_COMPARE(panel->worker().currentState(), 1);
        }
        if (refusedFrame >= 3)
            panel->worker().pushFrame(nullptr, 0, 0); // what the camera's save thread hands on then
        else
            panel->worker().pushFrame(frame.data, frame.cols, frame.rows);
        if (refusedFrame == 2)
            QVERIFY(limitAddressSpace(8 << 20));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 20000);
    QVERIFY2(text.startsWith(told), qPrintable(text));
    QCOMPARE(cam->requests, refusedFrame ? 1 : 0);
    QCOMPARE(btnStart->text(), QString("Start"));
    QVERIFY(btnStart->isEnabled() && btnStart->isVisibleTo(panel.get()));
    QVERIFY(!btnExport->isEnabled());
    QVERIFY(!panel->worker().isRunning());
    QVERIFY(panel->worker().result().isNull());
    // A frame still on its way tries nothing again behind the box.
    feed(0, 1);
    QVERIFY(panel->worker().result().isNull());
    QVERIFY(panel->worker().outputSize().isEmpty());
    // The view a frame's refusal had taken goes back with Close.
    QCOMPARE(panel->findChild<QToolButton*>("btnClose")->isEnabled(), refusedFrame != 0);
    if (qEnvironmentVariableIsSet("FOCUS_PANEL_REFUSED"))
        std::fprintf(stderr, "refused\n");
}

void TestFocusStackPanel::viewCopyRefused(const QString& told) {
    gen::StackParams p;
    p.size = cv::Size(3840, 2160);
    p.frames = 4;
    const gen::Stack big = gen::makeStack(p);
    QMetaObject::invokeMethod(panel.get(), "btnStartClick");
    ThreadJingShenHigh& w = panel->worker();
    w.pushFrame(big.frames[0].data, big.frames[0].cols, big.frames[0].rows);
    QTRY_COMPARE(w.currentState(), 1);
    QGraphicsPixmapItem* item = shownItem();
    QVERIFY(item);
    QTRY_VERIFY(!item->pixmap().isNull()); // the first frame in the view
    for (int i = 1; i < 4; ++i)
        w.pushFrame(big.frames[i].data, big.frames[i].cols, big.frames[i].rows);
    // Fused and drained while the view's timer waits (no events run here):
    // its next tick is the first copy of a picture fused.
    QDeadlineTimer deadline(120000);
    while (!(w.fusedCount() > 0 && w.queueLength() == 0 && !w.fusing()) && !deadline.hasExpired())
        QThread::msleep(5);
    QVERIFY(w.fusedCount() > 0);
    // The picture shown so far is held elsewhere too (as a paint under way
    // holds it): letting it go frees nothing. Room for a reduced picture and
    // the box, none for a 4K copy.
    QPixmap held = item->pixmap();
    QString text;
    dismissNextMessageBox(&text);
    QVERIFY(limitAddressSpace(24 << 20));
    QTRY_COMPARE_WITH_TIMEOUT(text, told, 20000);
    held = QPixmap();
    QTRY_VERIFY(!w.isRunning());
    QCOMPARE(w.outputSize(), QSize(3840, 2160));
    // The work stays on screen, over the scene the whole picture covers.
    QVERIFY(!item->pixmap().isNull());
    QVERIFY(qAbs(item->pixmap().width() * item->scale() - 3840) < 4);
    auto* btnExport = panel->findChild<QPushButton*>("btnExport");
    QVERIFY(btnExport->isEnabled());
    QCOMPARE(panel->findChild<QToolButton*>("btnStart")->text(), QString("Continue"));
    const QString file = env->file("kept.jpg");
    JingShenFormHigh::setFileChooser([&](const QString&, const QString&) { return file; });
    pressAnswering("btnExportClick");
    QVERIFY2(errorBoxText().isEmpty(), "the picture kept is exported");
    QCOMPARE(QImageReader(file).size(), QSize(3840, 2160));
    QSignalSpy out(MessagePassing::instance(), SIGNAL(goOutJingShenHighSIGNAL()));
    QMetaObject::invokeMethod(panel.get(), "btnCloseClick");
    QCOMPARE(out.count(), 1);
    QVERIFY(item->pixmap().isNull());
    std::fprintf(stderr, "refused\n");
}

QTEST_MAIN(TestFocusStackPanel)
#include "tst_focus_stack_panel.moc"
