// The stitching panel's step loop against a simulated 30 fps camera at
// 1920 x 1080 (the textured synthetic specimen, a serpentine of 8 stops held
// 3 s each, vignetting, noise, JPEG), with the real panel, worker and
// mosaic, in Precision and Fast, on two OpenCV threads (first argument).
//
// The panel's loop waits 67 ms before each snapshot (201 ms while the
// specimen rests), the camera's next frame, and 67 ms before the step; the
// matching and placing come on top. Printed: frames offered by the camera,
// jobs finished, stops placed, and the share of the run's time the loop
// spends in its own waits rather than in work (1.0: the work costs nothing;
// the target is 0.9), with the GUI thread's and the process's CPU time.
//
// Then a lost run at 640 x 480 in Precision (a 5000 x 5000 mosaic): a few
// stops of printed text are placed, then the camera rests on ground the
// mosaic does not hold, so every attempt runs the full search and the SIFT
// registration. Beside it the interface loop of the program (process the
// events, then sleep out the rest of 16 ms) runs on the GUI thread, and the
// longest gap between two of its passes is printed (goal: 50 ms or less).
// Interleaved with it, the same run with the registration repeated on the
// GUI thread at every full search's end, as it ran before it moved to the
// worker. Second argument "lost": only this run. While lost, each arm also
// prints its jobs and page faults a second, and per job the process's CPU,
// the worker thread's own CPU and the wall time. Second argument "buffers"
// (third: the rounds, 2): the lost run alone, the worker's buffers kept
// between jobs (StitchBufferPool) interleaved with them mapped afresh for
// every job, as before; "buffers-pan": the same for the panel's loop over
// the textured pan (Precision and Fast), with its page faults.
//
// Then the lost run again with other work on every core of the process
// (one spinning process per core it may run on: pinned with taskset, the
// other work shares its cores), 15 s lost: the longest gap of the interface
// loop and the jobs the worker finished with the stitching worker and
// OpenCV's threads as background work, interleaved with the same run with
// them as ordinary threads (as before) and with the interface loop alone
// beside the busy processes (over the whole run: the longest gap, the 99th
// percentile, the gaps over 50 ms, and the time the interface thread waited
// runnable for a core). Second argument "busy": only this, third argument
// the rounds (2); run it with as many OpenCV threads as cores (first
// argument), as the program has.
//
// The painted run: the textured specimen at 1920 x 1080 in Precision (a
// 5000 x 5000 mosaic) with the view shown and painted at the program's size
// (1345 x 1050, the live picture's place and the capture bar's) over the
// live picture presented at 30 frames a second, the interface loop beside
// it: the longest gap between two passes over the
// whole run (goal: 50 ms or less). Interleaved with it, the same run with
// the view painted as it was before: the whole-resolution mosaic scaled into
// the view at every repaint and repainted whole at every paste. Second
// argument "painted": only this run; third argument "busy": beside one
// spinning process per core the process may run on.
//
// First, the start of a run in Precision at 1920 x 1080 (the textured
// specimen, the first stop held): from the click on Play until the first
// frame-to-frame job has finished, the interface loop's longest gap (goal:
// 20 ms or less), then the longest gap over the next seconds (placements).
// Interleaved with it, the same start with the work the interface thread did
// before it moved to the worker: the 5000 x 5000 mosaic allocated, filled and
// copied, the markers drawn, and 100 ms later the mosaic converted to the
// scene's picture. Second argument "start": only this run.
#include "tests/imaging/StitchStageCamera.h"
#include "tests/imaging/StitchPanGenerator.h"

#include "app/hub/MessagePassing.h"
#include "imaging/PinJieForm.h"
#include "imaging/StitchBufferPool.h"
#include "imaging/StitchMosaicItem.h"
#include "imaging/StitchRegistration.h"
#include "imaging/StitchStart.h"
#include "imaging/ThreadPinJie.h"
#include "platform/HeapReturn.h"

#include <QApplication>
#include <QGraphicsItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPaintEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <set>
#include <thread>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double cpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The process's resident memory in MB.
double residentMb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// Page faults the process has taken (minor and major).
long pageFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt + u.ru_majflt;
}

// A camera showing `pan` at 30 fps, each pan frame for `repeat` camera
// frames, made the hub's current camera, and a panel (Precision or Fast) whose view
// the host takes as the main widget would.
PinJieForm* hostedPanel(StitchStageCamera* camera, std::vector<StitchPanFrame> pan, int repeat, bool precision,
                        QWidget* host) {
    MessagePassing* hub = MessagePassing::instance();
    camera->pan = std::move(pan);
    camera->fps = 30.0;
    camera->repeat = repeat;
    hub->setCurCamera(camera);
    StitchStart::featherMasks(camera->frameSize(false), camera->previewSize(), &hub->pinJieMask, &hub->pinJieMaskHalf);
    QSettings("./PinJieForm.ini", QSettings::IniFormat).setValue("isRbtn1", precision);
    auto* form = new PinJieForm;
    host->resize(1280, 900);
    QObject::connect(form, &PinJieForm::moveGraphicsView, form, [host, form](QGraphicsView* view) {
        view->setParent(host);
        view->resize(host->size());
        view->show();
        form->gotoStart();
    });
    return form;
}

// The textured specimen at 1920 x 1080 (vignetting, noise, JPEG), a
// serpentine of 8 stops held 3 s each (3 pan frames a stop, one a second),
// on a hosted panel, with a timer that watches for its worker (onWorker).
struct TexturedPanRun {
    QWidget host;
    StitchStageCamera* camera = nullptr;
    PinJieForm* form = nullptr;
    QTimer poll;
    QElapsedTimer clock;
    explicit TexturedPanRun(bool precision) {
        StitchPanOptions options;
        options.vignetting = 0.25;
        options.noiseSigma = 2.5;
        options.jpegQuality = 90;
        const StitchPanGenerator gen(options);
        StitchPanPlan plan;
        plan.jump = false;
        plan.transit = false;
        plan.hold = 3;
        camera = new StitchStageCamera(gen.frameSize());
        form = hostedPanel(camera, gen.pan(plan), 30, precision, &host);
    }
    ~TexturedPanRun() {
        delete form;
        MessagePassing::instance()->setCurCamera(nullptr);
        delete camera;
    }
};

// Calls connectTo(worker) once, as soon as the panel has its worker (polled
// by `poll`).
void onWorker(PinJieForm* form, QTimer* poll, const std::function<void(ThreadPinJie*)>& connectTo) {
    auto connected = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, form, [form, connected, connectTo] {
        if (*connected)
            return;
        if (auto* worker = form->findChild<ThreadPinJie*>()) {
            *connected = true;
            connectTo(worker);
        }
    });
    poll->start(5);
}

void runLoop(bool precision) {
    TexturedPanRun run(precision);
    PinJieForm* form = run.form;
    const StitchStageCamera* camera = run.camera;
    QElapsedTimer& clock = run.clock;
    std::vector<double> arrivals, finishes;
    QObject::connect(MessagePassing::instance(), &MessagePassing::pinJieImageSIGNAL, form,
                     [&] { arrivals.push_back(clock.elapsed()); });
    onWorker(form, &run.poll, [&](ThreadPinJie* worker) {
        auto done = [&] { finishes.push_back(clock.elapsed()); };
        QObject::connect(worker, &ThreadPinJie::startFindFinish, form, done);
        QObject::connect(worker, &ThreadPinJie::startFindMaxFinish, form, done);
    });

    const double runMs = double(camera->pan.size()) * camera->repeat * 1000.0 / camera->fps;
    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const long faults0 = pageFaults();
    clock.start();
    form->findChild<QPushButton*>("btnPlay")->click();
    QEventLoop loop;
    QTimer::singleShot(int(runMs), &loop, &QEventLoop::quit);
    loop.exec();
    const double total = clock.elapsed();
    const double gui = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0, proc = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;
    const long faults = pageFaults() - faults0;

    // Work of each cycle: from the step (67 ms after the frame) to the job's
    // finish. The first frames only start the mosaic.
    double work = 0;
    size_t f = 0;
    for (double a : arrivals) {
        while (f < finishes.size() && finishes[f] < a + 67)
            ++f;
        if (f < finishes.size() && (f + 1 >= finishes.size() || finishes[f] < a + 67 + 2000))
            work += std::max(0.0, finishes[f] - (a + 67));
    }
    std::set<int> stopsPlaced;
    for (const QRect& r : form->mosaic().placements())
        stopsPlaced.insert(r.x() * 10000 + r.y());
    std::printf("%-9s | %4zu frames offered, %4zu jobs finished, %2d frames placed in %.1f s | loop waits %.3f of the "
                "time | CPU: GUI thread %.0f ms, process %.0f ms (%.0f ms a job) | %ld page faults (%.0f a job)\n",
                precision ? "Precision" : "Fast", arrivals.size(), finishes.size(), int(form->mosaic().placements().size()),
                total / 1000.0, 1.0 - work / total, gui, proc, proc / std::max<size_t>(1, finishes.size()), faults,
                double(faults) / std::max<size_t>(1, finishes.size()));
}

struct LostRun {
    double longestGap = 0;      // ms between two passes of the loop while lost
    double longestGapStart = 0; // the same before the first full search ended
    int searches = 0;
    int registrations = 0;
    int jobs = 0; // jobs the worker finished (its throughput)
    double ms = 0; // length of the run
    std::vector<double> gaps; // every gap of the interface loop
    double runnableMs = 0; // the interface thread's wait, runnable, for a core
    int placed = 0;
    double guiCpu = 0, procCpu = 0;
    // Over the part of the run after the stops (lost): the process's page
    // faults and CPU, the jobs finished and the worker threads' CPU (each
    // job's own thread, from its start to its end; OpenCV's threads not).
    long lostFaults = 0;
    double lostProcCpu = 0, lostMs = 0, workerCpu = 0;
    // At the run's end: resident memory, the buffers kept between jobs,
    // and resident memory once the panel (and its worker) is gone.
    double residentMb = 0, keptMb = 0, residentAfterMb = 0;
    int lostJobs = 0;
};

// What the longest gap of the interface loop was made of: the pass's wall
// and thread CPU time, the sleep it asked for, and the time the thread
// waited, runnable, for a core (the scheduler's own count).
struct GapParts {
    double passMs = 0, passCpuMs = 0, sleepMs = 0, runnableMs = 0;
};

// Milliseconds the calling thread has waited runnable for a core.
double runnableWaitMs() {
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    unsigned long long run = 0, wait = 0;
    if (f) {
        if (std::fscanf(f, "%llu %llu", &run, &wait) != 2)
            wait = 0;
        std::fclose(f);
    }
    return wait / 1e6;
}

// The program's interface loop for `ms`: process the events, then sleep out
// the rest of the 16 ms step. Returns the longest gap between two passes
// since `lost` turned true (and the longest before it in *before), in
// *longestPassCpu the most thread CPU one pass took, and in *parts what the
// longest gap of all was made of; every gap in *gaps.
double interfaceLoop(double ms, const std::function<bool()>& lost, double* before, double* longestPassCpu = nullptr,
                     GapParts* parts = nullptr, std::vector<double>* gaps = nullptr) {
    QElapsedTimer clock;
    clock.start();
    double last = -1, longest = 0, longestOfAll = 0, lastWait = 0;
    GapParts current;
    *before = 0;
    if (longestPassCpu)
        *longestPassCpu = 0;
    while (clock.nsecsElapsed() / 1e6 < ms) {
        const double t0 = clock.nsecsElapsed() / 1e6;
        const double wait0 = parts ? runnableWaitMs() : 0;
        if (last >= 0) {
            double& worst = lost() ? longest : *before;
            worst = std::max(worst, t0 - last);
            if (gaps)
                gaps->push_back(t0 - last);
            if (parts && t0 - last > longestOfAll) {
                longestOfAll = t0 - last;
                current.runnableMs = wait0 - lastWait;
                *parts = current;
            }
        }
        last = t0;
        lastWait = wait0;
        const double cpu0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        current.passCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        if (longestPassCpu)
            *longestPassCpu = std::max(*longestPassCpu, current.passCpuMs);
        const double spent = clock.nsecsElapsed() / 1e6 - t0;
        current.passMs = spent;
        current.sleepMs = std::max(0.0, 16 - spent);
        if (spent < 16)
            std::this_thread::sleep_for(std::chrono::microseconds(int((16 - spent) * 1000)));
    }
    return longest;
}

LostRun runLost(bool blockingRegistration, double lostMs = 30000);

// The lost run with every core kept busy by other processes: the worker
// as background work (ours), or as an ordinary thread, as it ran before.
LostRun runLostBusy(bool ordinaryWorker) {
    ThreadPinJie::setBackgroundWork(!ordinaryWorker);
    const LostRun r = runLost(false, 15000);
    ThreadPinJie::setBackgroundWork(true);
    return r;
}

// The interface loop alone for as long, beside the same busy processes.
LostRun loopAlone(bool) {
    LostRun r;
    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double wait0 = runnableWaitMs();
    r.longestGap = interfaceLoop(18000, [] { return true; }, &r.longestGapStart, nullptr, nullptr, &r.gaps);
    r.runnableMs = runnableWaitMs() - wait0;
    r.guiCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0;
    r.procCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;
    return r;
}

// The cores this process may run on (taskset).
int coresOfProcess() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0)
        return int(std::thread::hardware_concurrency());
    return CPU_COUNT(&set);
}

// Processes that spin until killed, one per core: other work on the machine
// (on this process's cores: they inherit its affinity).
std::vector<pid_t> busyProcesses(int count) {
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (pid > 0)
            pids.push_back(pid);
    }
    return pids;
}

void endProcesses(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    for (pid_t pid : pids)
        waitpid(pid, nullptr, 0);
}

LostRun runLost(bool blockingRegistration, double lostMs) {
    StitchPanOptions options;
    options.kind = StitchPanOptions::Text;
    options.cameraFrame = cv::Size(640, 480);
    options.noiseSigma = 2.0;
    options.vignetting = 0.2;
    options.jpegQuality = 92;
    StitchPanPlan plan = StitchPanGenerator::planFor(options.cameraFrame, 3, 1, &options.specimen);
    plan.hold = 3;
    plan.transit = false;
    options.specimen.width += 2000; // ground right of the stops that no frame covers
    const StitchPanGenerator gen(options);
    std::vector<StitchPanFrame> pan = gen.pan(plan);
    const QPoint away(options.specimen.width - 700, 60);
    for (int i = 0; i < 200; ++i)
        pan.push_back({gen.frameAt(away, 1000 + i), QPointF(away), -1, true});

    MessagePassing* hub = MessagePassing::instance();
    auto* camera = new StitchStageCamera(gen.frameSize());
    QWidget host;
    // Each pan frame a third of a second.
    PinJieForm* form = hostedPanel(camera, pan, 10, true, &host);
    LostRun out;
    QTimer poll;
    // Each job's thread CPU, read on that thread at its start and end.
    auto jobCpu0 = std::make_shared<std::atomic<double>>(0.0);
    auto workerCpu = std::make_shared<std::atomic<double>>(0.0);
    auto lostNow = std::make_shared<std::atomic<bool>>(false);
    onWorker(form, &poll, [&, jobCpu0, workerCpu, lostNow](ThreadPinJie* worker) {
        QObject::connect(
            worker, &QThread::started, worker, [jobCpu0] { jobCpu0->store(cpuMs(CLOCK_THREAD_CPUTIME_ID)); },
            Qt::DirectConnection);
        QObject::connect(
            worker, &QThread::finished, worker,
            [jobCpu0, workerCpu, lostNow] {
                if (lostNow->load())
                    workerCpu->store(workerCpu->load() + cpuMs(CLOCK_THREAD_CPUTIME_ID) - jobCpu0->load());
            },
            Qt::DirectConnection);
        QObject::connect(worker, &ThreadPinJie::startFindFinish, form, [&] { ++out.jobs; });
        QObject::connect(worker, &ThreadPinJie::startFindMaxFinish, form, [&, worker] {
            ++out.jobs;
            if (!worker->isFullSearch() || worker->registration() < 0)
                return;
            ++out.searches;
            out.registrations += worker->registration() == 1 ? 1 : 0;
            if (blockingRegistration) {
                // What the interface thread did before: the same
                // registration of the newest frame in the whole mosaic.
                QPoint p;
                registerStitchFrame(form->mosaic().mosaic(), camera->pan.back().image, &p);
            }
        });
    });

    const double stopsMs = double(camera->pan.size() - 200) * camera->repeat * 1000.0 / camera->fps;
    const double runMs = stopsMs + lostMs;
    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    form->findChild<QPushButton*>("btnPlay")->click();
    const double wait0 = runnableWaitMs();
    // The lost part: from the first lost search's end to the run's end.
    long faults0 = 0;
    double lostProc0 = 0;
    int jobs0 = 0;
    QElapsedTimer lostClock;
    out.longestGap = interfaceLoop(runMs,
                                   [&] {
                                       if (out.searches > 0 && !lostNow->load()) {
                                           lostNow->store(true);
                                           faults0 = pageFaults();
                                           lostProc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
                                           jobs0 = out.jobs;
                                           lostClock.start();
                                       }
                                       return out.searches > 0;
                                   },
                                   &out.longestGapStart, nullptr, nullptr, &out.gaps);
    out.runnableMs = runnableWaitMs() - wait0;
    if (lostNow->load()) {
        out.lostFaults = pageFaults() - faults0;
        out.lostProcCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - lostProc0;
        out.lostJobs = out.jobs - jobs0;
        out.lostMs = double(lostClock.elapsed());
        lostNow->store(false);
        out.workerCpu = workerCpu->load();
    }
    out.ms = runMs;
    out.guiCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0;
    out.procCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;
    out.placed = int(form->mosaic().placements().size());
    out.residentMb = residentMb();
    out.keptMb = StitchBufferPool::keptBytes() / double(1 << 20);
    delete form;
    hub->setCurCamera(nullptr);
    delete camera;
    out.residentAfterMb = residentMb();
    return out;
}

struct StartRun {
    double startGap = 0; // longest loop gap from Play until the first frame-to-frame job finished
    double laterGap = 0; // the longest after it
    double startMs = 0;  // Play to that finish
    int placed = 0;
    double guiCpu = 0, procCpu = 0;
};

StartRun runStart(bool oldStart) {
    MessagePassing* hub = MessagePassing::instance();
    TexturedPanRun run(true); // the first stop is held 3 s
    PinJieForm* form = run.form;
    QElapsedTimer& clock = run.clock;
    StartRun out;
    onWorker(form, &run.poll, [&](ThreadPinJie* worker) {
        QObject::connect(worker, &ThreadPinJie::startFindFinish, form, [&] {
            if (out.startMs == 0)
                out.startMs = clock.elapsed();
        });
        if (oldStart)
            QObject::connect(worker, &ThreadPinJie::startPrepareFinish, form, [form] {
                // What the interface thread did at this point before.
                StitchMosaic old;
                old.rebuild(form->mosaic().previousFrame(), StitchMosaic::sceneSide(true));
                QList<QPixmap> markers;
                for (int i = 0; i < 3; ++i)
                    markers.append(QPixmap::fromImage(StitchStart::markerPicture(i, QSize(1920, 1080), "")));
                QTimer::singleShot(100, form, [form] { QPixmap::fromImage(form->mosaic().mosaicView()); });
            });
    });
    if (oldStart)
        QTimer::singleShot(150, form, [hub] { // once the view is hosted
            BaseCamera* cam = hub->currentCamera();
            StitchStart::featherMasks(cam->frameSize(false), cam->previewSize(), &hub->pinJieMask, &hub->pinJieMaskHalf);
        });

    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    clock.start();
    form->findChild<QPushButton*>("btnPlay")->click();
    out.laterGap = interfaceLoop(6000, [&] { return out.startMs > 0; }, &out.startGap);
    out.guiCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0;
    out.procCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;
    out.placed = int(form->mosaic().placements().size());
    return out;
}

// How the view painted the mosaic before: the panel's whole-resolution
// picture scaled into the view at each repaint, the whole item repainted at
// each paste. Drawn over the panel's own mosaic item.
class WholeMosaicItem : public QGraphicsItem {
public:
    explicit WholeMosaicItem(StitchMosaicItem* mosaic) : m_mosaic(mosaic) { setZValue(mosaic->zValue() + 0.5); }
    QRectF boundingRect() const override { return m_mosaic->boundingRect(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        painter->drawPixmap(QPointF(0, 0), m_mosaic->pixmap());
    }
    void pasted() {
        prepareGeometryChange();
        update();
    }

private:
    StitchMosaicItem* m_mosaic;
};

// The live picture under the view, as the program has it: a widget that
// draws its canvas, presented at 30 frames a second. The view above it is
// repainted wherever it is.
class LivePicture : public QWidget {
public:
    explicit LivePicture(QWidget* parent) : QWidget(parent), m_canvas(1346, 757, QImage::Format_RGB32) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        m_canvas.fill(Qt::darkGray);
        setGeometry(0, 0, m_canvas.width(), m_canvas.height());
        lower();
        connect(&m_frames, &QTimer::timeout, this, [this] { update(); });
        m_frames.start(33);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        p.drawImage(event->rect().topLeft(), m_canvas, event->rect());
    }

private:
    QImage m_canvas;
    QTimer m_frames;
};

struct PaintedRun {
    double longestGap = 0; // ms between two passes of the loop over the run
    double longestPassCpu = 0; // thread CPU ms of the costliest pass
    GapParts gap; // what the longest gap was made of
    int placed = 0;
    double guiCpu = 0, procCpu = 0;
};

PaintedRun runPainted(bool oldView) {
    TexturedPanRun run(true);
    PinJieForm* form = run.form;
    run.host.resize(1345, 1050);
    LivePicture live(&run.host);
    run.host.show();
    WholeMosaicItem* whole = nullptr;
    onWorker(form, &run.poll, [&](ThreadPinJie* worker) {
        if (!oldView)
            return;
        auto pasted = [&, form] {
            QGraphicsView* view = form->graphicsView();
            if (!whole) {
                for (QGraphicsItem* item : view->scene()->items())
                    if (auto* p = dynamic_cast<StitchMosaicItem*>(item))
                        view->scene()->addItem(whole = new WholeMosaicItem(p));
            }
            if (whole)
                whole->pasted();
        };
        QObject::connect(worker, &ThreadPinJie::startFindFinish, form, pasted, Qt::QueuedConnection);
        QObject::connect(worker, &ThreadPinJie::startFindMaxFinish, form, pasted, Qt::QueuedConnection);
    });
    const StitchStageCamera* camera = run.camera;
    const double runMs = double(camera->pan.size()) * camera->repeat * 1000.0 / camera->fps;
    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    form->findChild<QPushButton*>("btnPlay")->click();
    double before = 0;
    PaintedRun out;
    out.longestGap = interfaceLoop(runMs, [] { return true; }, &before, &out.longestPassCpu, &out.gap);
    out.guiCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0;
    out.procCpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;
    out.placed = int(form->mosaic().placements().size());
    return out;
}

void printPainted(const char* name, const PaintedRun& r) {
    std::printf("%-36s | %2d frames placed | longest loop gap %6.1f ms (pass %5.1f ms, %5.1f ms of it on the CPU, sleep "
                "%4.1f ms asked, %5.1f ms runnable without a core), costliest pass %5.1f ms of thread CPU | CPU: GUI "
                "thread %.0f ms, process %.0f ms\n",
                name, r.placed, r.longestGap, r.gap.passMs, r.gap.passCpuMs, r.gap.sleepMs, r.gap.runnableMs,
                r.longestPassCpu, r.guiCpu, r.procCpu);
    std::fflush(stdout);
}

void printStart(const char* name, const StartRun& r) {
    std::printf("%-40s | longest loop gap during the start %6.1f ms (start %4.0f ms), after it %6.1f ms, %d frames "
                "placed | CPU: GUI thread %.0f ms, process %.0f ms\n",
                name, r.startGap, r.startMs, r.laterGap, r.placed, r.guiCpu, r.procCpu);
}

void printLost(const char* name, const LostRun& r) {
    std::printf("%-34s | %2d frames placed, %2d full searches lost (%d registered) | longest loop gap while lost "
                "%6.1f ms (before %5.1f ms) | CPU: GUI thread %.0f ms, process %.0f ms\n",
                name, r.placed, r.searches, r.registrations, r.longestGap, r.longestGapStart, r.guiCpu, r.procCpu);
    // While lost: jobs and faults a second, and per job the process's CPU
    // and the worker thread's own.
    const double s = r.lostMs / 1000.0, j = std::max(1, r.lostJobs);
    std::printf("%-34s | lost %.1f s: %3d jobs (%.2f a second), %6.0f page faults a second, %5.0f a job | per job: "
                "process CPU %5.0f ms, worker thread CPU %5.0f ms, wall %5.0f ms | resident %4.0f MB (%3.0f MB kept "
                "between jobs), %4.0f MB once the panel is gone\n",
                "", s, r.lostJobs, s > 0 ? r.lostJobs / s : 0.0, s > 0 ? r.lostFaults / s : 0.0, r.lostFaults / j,
                r.lostProcCpu / j, r.workerCpu / j, r.lostMs / j, r.residentMb, r.keptMb, r.residentAfterMb);
    std::fflush(stdout);
}

// Rounds of ours (run(false)) and the reference (run(true)), interleaved.
template <typename Result>
void interleaved(int rounds, const char* ours, const char* reference, const std::function<Result(bool)>& run,
                 void (*print)(const char*, const Result&)) {
    for (int round = 0; round < rounds; ++round) {
        print(ours, run(false));
        print(reference, run(true));
    }
}

} // namespace

int main(int argc, char** argv) {
    // The program's heap (one for every thread), as its main() sets it; the
    // C library's own heaps with GLIBC_TUNABLES=glibc.malloc.arena_max=64.
    HeapReturn::oneHeap();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("SEVRIN_APP_DIR", dir.path().toUtf8());
    QDir::setCurrent(dir.path());
    QApplication app(argc, argv);
    cv::setNumThreads(argc > 1 ? std::max(1, std::atoi(argv[1])) : 2);
    std::printf("Stitching panel loop, simulated 30 fps 1920x1080 camera, 8 stops held 3 s each, OpenCV threads %d\n",
                cv::getNumThreads());
    // Answers the resolution request as the general settings do.
    QObject::connect(MessagePassing::instance(), &MessagePassing::changeFenBianLv1080pSIGNAL,
                     [](int r) { MessagePassing::instance()->changeFenBianLv1080pFinish(r); });
    const std::string only = argc > 2 ? argv[2] : "";
    if (only == "buffers-pan") {
        // The panel's loop over the textured pan (Precision, then Fast),
        // the worker's buffers kept between jobs and mapped afresh,
        // interleaved.
        const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
        for (int round = 0; round < rounds; ++round)
            for (bool keep : {true, false}) {
                std::printf("%s\n", keep ? "buffers kept between jobs:" : "buffers mapped afresh (before):");
                ThreadPinJie::setKeepBuffers(keep);
                runLoop(true);
                runLoop(false);
                ThreadPinJie::setKeepBuffers(true);
                std::fflush(stdout);
            }
        return 0;
    }
    if (only == "buffers") {
        // The lost run with the worker's buffers kept from job to job
        // (ours), and mapped afresh for every job (before), interleaved.
        const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
        std::printf("Lost run, simulated 30 fps 640x480 camera over printed text, Precision (5000x5000 mosaic), 30 s "
                    "lost: the worker's buffers kept between jobs, and mapped afresh for every job (before)\n");
        interleaved<LostRun>(rounds, "buffers kept between jobs", "buffers mapped afresh (before)",
                             [](bool before) {
                                 ThreadPinJie::setKeepBuffers(!before);
                                 const LostRun r = runLost(false);
                                 ThreadPinJie::setKeepBuffers(true);
                                 return r;
                             },
                             printLost);
        return 0;
    }
    const bool busyBeside = argc > 3 && std::string(argv[3]) == "busy";
    if (only == "painted" || only.empty()) {
        std::printf("Painted run, simulated 30 fps 1920x1080 camera over the textured specimen, 8 stops held 3 s each, "
                    "Precision (5000x5000 mosaic), view shown at 1345x1050 over a live picture at 30 fps, interface "
                    "loop of 16 ms on the GUI thread%s\n",
                    busyBeside ? ", beside one spinning process per core of this process" : "");
        const std::vector<pid_t> busy = busyBeside ? busyProcesses(coresOfProcess()) : std::vector<pid_t>();
        interleaved<PaintedRun>(2, "view renews the pasted part", "view scales the whole mosaic (old)", runPainted,
                                printPainted);
        endProcesses(busy);
        if (only == "painted")
            return 0;
    }
    if (only != "busy") {
        std::printf("Start of a run, simulated 30 fps 1920x1080 camera over the textured specimen, Precision "
                    "(5000x5000 mosaic), interface loop of 16 ms on the GUI thread, 6 s from Play\n");
        interleaved<StartRun>(3, "start prepared on the worker", "start on the GUI thread (old)", runStart,
                              printStart);
        if (only == "start")
            return 0;
        std::printf("Lost run, simulated 30 fps 640x480 camera over printed text, Precision (5000x5000 mosaic), "
                    "interface loop of 16 ms on the GUI thread, 30 s lost\n");
        interleaved<LostRun>(2, "registration on the worker", "registration on the GUI thread (old)",
                             [](bool old) { return runLost(old); }, printLost);
        if (only == "lost")
            return 0;
    }
    const int cores = coresOfProcess();
    std::printf("The same lost run, 15 s lost, beside %d processes that keep every core of this process busy: the "
                "worker and its OpenCV threads as background work, as ordinary threads (old), and the interface loop "
                "alone\n",
                cores);
    const std::vector<pid_t> busy = busyProcesses(cores);
    auto printBusy = [](const char* name, const LostRun& r) {
        std::vector<double> gaps = r.gaps;
        std::sort(gaps.begin(), gaps.end());
        const double p99 = gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
        const long over50 = std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 50; });
        std::printf("%-38s | %2d frames placed, %2d full searches lost, %3d jobs finished (%.2f a second) | loop gaps: "
                    "longest %6.1f ms, 99th percentile %5.1f ms, %3ld of %4zu over 50 ms, runnable without a core "
                    "%5.0f ms | CPU: GUI thread %.0f ms, process %.0f ms\n",
                    name, r.placed, r.searches, r.jobs, r.ms > 0 ? r.jobs * 1000.0 / r.ms : 0.0,
                    std::max(r.longestGap, r.longestGapStart), p99, over50, gaps.size(), r.runnableMs, r.guiCpu,
                    r.procCpu);
        std::fflush(stdout);
    };
    const int busyRounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    for (int round = 0; round < busyRounds; ++round) {
        printBusy("busy cores, worker in the background", runLostBusy(false));
        printBusy("busy cores, worker ordinary (old)", runLostBusy(true));
        printBusy("busy cores, interface loop alone", loopAlone(false));
    }
    endProcesses(busy);
    if (only == "busy")
        return 0;
    runLoop(true);
    runLoop(false);
    return 0;
}
