#include "app/GlobalApplication.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/MessagePassing.h"
#include "app/UiSize.h"
#include "camera/NetCamera.h"
#include "camera/NetRecorderAdapter.h"
#include "camera/SDLBackground.h"
#include "camera/ThreaSaveImgNet.h"
#include "camera/UsbWorkers.h"
#include "platform/ProcessEnd.h"
#include "platform/TerminationWatcher.h"
#include "resources/SevrinResources.h"

#include <QFontDatabase>
#include <QScreen>
#include <QFont>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

extern "C" {
#include <libavutil/log.h>
}

namespace {

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct LoopStats {
    double start = -1, lastBegin = -1, longestGap = 0, wall = 0, cpu = 0, passWall = 0, passCpu = 0;
    int passes = 0, shownAtStart = 0;
    void passBegins(int shown) {
        const double t = nowMs();
        if (start < 0 || t - start >= 1000) {
            if (start >= 0)
                std::fprintf(stderr, "loop: %.0f ms passes %d longest_gap_ms %.1f work_wall_ms %.1f work_cpu_ms %.1f shown %d\n",
                             t - start, passes, longestGap, wall, cpu, shown - shownAtStart);
            start = t;
            passes = 0;
            longestGap = wall = cpu = 0;
            shownAtStart = shown;
        }
        if (lastBegin >= 0)
            longestGap = std::max(longestGap, t - lastBegin);
        lastBegin = t;
        passWall = t;
        passCpu = threadCpuMs();
        ++passes;
    }
    void passEnds() {
        wall += nowMs() - passWall;
        cpu += threadCpuMs() - passCpu;
    }
};

} // namespace

int main(int argc, char** argv) {
    // A terminate request from the very start takes the shutdown road.
    TerminationWatcher::installHandlers();
    GlobalApplication app(argc, argv);
    // The encoder's per-recording statistics are not for the operator.
    av_log_set_level(AV_LOG_ERROR);
    sevrinInitResources();
    // The interface font family is not free; the bundled CJK font stands in.
    const int fontId = QFontDatabase::addApplicationFont(":/font/wqy-microhei.ttc");
    if (fontId >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
        if (!families.isEmpty())
            QFont::insertSubstitution("FZLanTingHeiS-R-GB", families.first());
    }
    MessagePassing::instance();

    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    uiSizeFactor = sizeFactorForWidth(screenWidth);
    QFont font = QApplication::font();
    font.setPixelSize(fontPixelSizeForFactor(uiSizeFactor));
    QApplication::setFont(font);

    videoWindow = new SDLBackground();
    videoWindow->setDecodeOffThread(true);

    // Where network cameras meet the video window, the recorder and the saver.
    UsbWorkers::install();
    NetCameraLinks links;
    links.attachVideo = [](NetVideoFeed* feed, int width, int height) {
        if (videoWindow)
            videoWindow->attachNetCamera(feed, width, height);
    };
    links.detachVideo = [](NetVideoFeed* feed) {
        if (videoWindow)
            videoWindow->detach(feed);
    };
    links.videoRect = [] { return videoWindow ? QRect(videoWindow->pos(), videoWindow->size()) : QRect(); };
    links.placeVideo = [](const QRect& r) {
        if (videoWindow && videoWindow->isReady()) {
            videoWindow->move(r.topLeft());
            videoWindow->resize(r.size());
        }
    };
    links.readBack = [](QImage& target, const QRect& area) {
        return videoWindow && videoWindow->readBack(target, area);
    };
    links.newRecorder = [] { return new NetRecorderAdapter(); };
    links.startSaveThread = [](const QString& path, int mode, bool saveDirect) {
        ThreaSaveImgNet::launch(path, mode, saveDirect);
    };
    NetCamera::setLinks(links);
    auto* window = new MainWindow();

    // A terminate request takes the same road as the close button.
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminateRequested, window->centralWidgetWindow(),
                     &MainWidget::btnCloseClick);

    // The loop also ends on an exit request made while it runs (a failed
    // camera open, a close before the panels exist): QApplication::exit has
    // no effect outside exec.
    // SEVRIN_LOOP_STATS=1 prints, once a second, how the loop kept its step
    // (for the live-video benchmark): passes, the longest gap between two,
    // the wall and thread-CPU time of the work, and the frames shown.
    const bool loopStats = qEnvironmentVariableIsSet("SEVRIN_LOOP_STATS");
    LoopStats stats;
    while (videoWindow->isRunning() && !ProcessEnd::exitRequested()) {
        const uint64_t t0 = SDL_GetTicks64();
        if (loopStats)
            stats.passBegins(videoWindow->uploadCount());
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        SDL_Event ev;
        while (SDL_PollEvent(&ev)) {
        }
        videoWindow->renderFrame();
        if (loopStats)
            stats.passEnds();
        // The rest of the step; a picture the decoder finishes meanwhile is
        // shown at once by an early pass.
        const uint64_t t1 = SDL_GetTicks64();
        const uint32_t rest = loopSleepMs(t1 - t0);
        if (rest && !videoWindow->waitDecoded(int(rest))) {
            const uint64_t waited = SDL_GetTicks64() - t1;
            if (waited < rest)
                SDL_Delay(uint32_t(rest - waited));
        }
    }

    delete videoWindow;
    videoWindow = nullptr;
    MessagePassing::instance()->SDLCLoseFinish();

    // An exit asked for before exec must not be lost: when it came already,
    // exec is skipped; otherwise the queued request ends exec.
    int code;
    if (ProcessEnd::exitRequested()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        code = ProcessEnd::exitCode();
    } else {
        code = QApplication::exec();
        if (ProcessEnd::exitRequested())
            code = ProcessEnd::exitCode();
    }
    delete window;
    return code;
}
