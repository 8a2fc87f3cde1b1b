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
#include "tests/imaging/StitchStageCamera.h"
#include "tests/imaging/StitchPanGenerator.h"

#include "app/MessagePassing.h"
#include "imaging/PinJieForm.h"
#include "imaging/ThreadPinJie.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <opencv2/core/utility.hpp>

#include <cstdio>
#include <ctime>
#include <set>

namespace {

double cpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void runLoop(bool precision) {
    StitchPanOptions options;
    options.vignetting = 0.25;
    options.noiseSigma = 2.5;
    options.jpegQuality = 90;
    const StitchPanGenerator gen(options);
    StitchPanPlan plan;
    plan.jump = false;
    plan.transit = false;
    plan.hold = 3;
    MessagePassing* hub = MessagePassing::instance();
    auto* camera = new StitchStageCamera(gen.frameSize());
    camera->pan = gen.pan(plan);
    camera->fps = 30.0;
    camera->repeat = 30; // 3 pan frames a stop, one a second
    hub->setCurCamera(camera);
    hub->initPinJieMask();
    QSettings("./PinJieForm.ini", QSettings::IniFormat).setValue("isRbtn1", precision);

    auto* form = new PinJieForm;
    QWidget host;
    host.resize(1280, 900);
    QObject::connect(form, &PinJieForm::moveGraphicsView, form, [&host, form](QGraphicsView* view) {
        view->setParent(&host);
        view->resize(host.size());
        view->show();
        form->gotoStart();
    });
    QElapsedTimer clock;
    std::vector<double> arrivals, finishes;
    QObject::connect(hub, &MessagePassing::pinJieImageSIGNAL, form, [&] { arrivals.push_back(clock.elapsed()); });
    bool counted = false;
    auto countJobs = [&] {
        if (counted)
            return;
        if (auto* worker = form->findChild<ThreadPinJie*>()) {
            counted = true;
            auto done = [&] { finishes.push_back(clock.elapsed()); };
            QObject::connect(worker, &ThreadPinJie::startFindFinish, form, done);
            QObject::connect(worker, &ThreadPinJie::startFindMaxFinish, form, done);
        }
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, form, countJobs);
    poll.start(5);

    const double runMs = double(camera->pan.size()) * camera->repeat * 1000.0 / camera->fps;
    const double gui0 = cpuMs(CLOCK_THREAD_CPUTIME_ID), proc0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    clock.start();
    form->findChild<QPushButton*>("btnPlay")->click();
    QEventLoop loop;
    QTimer::singleShot(int(runMs), &loop, &QEventLoop::quit);
    loop.exec();
    const double total = clock.elapsed();
    const double gui = cpuMs(CLOCK_THREAD_CPUTIME_ID) - gui0, proc = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - proc0;

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
                "time | CPU: GUI thread %.0f ms, process %.0f ms\n",
                precision ? "Precision" : "Fast", arrivals.size(), finishes.size(), int(form->mosaic().placements().size()),
                total / 1000.0, 1.0 - work / total, gui, proc);
    delete form;
    hub->setCurCamera(nullptr);
    delete camera;
}

} // namespace

int main(int argc, char** argv) {
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
    runLoop(true);
    runLoop(false);
    return 0;
}
