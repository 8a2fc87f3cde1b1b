#include "app/LiveLoop.h"

#include "app/hub/UiSize.h"
#include "camera/SDLBackground.h"
#include "platform/ProcessEnd.h"
#include "platform/ThreadPriority.h"

#include <QCoreApplication>
#include <QThread>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

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

constexpr int kStepMs = 16;
// The loop's time slice: longer than most passes (an empty one takes a tenth
// of a millisecond), far shorter than a decode (10 to 15 ms for a 4K JPEG).
constexpr int kSliceUs = 1000;

// Whether the calling code runs inside a nested event loop: the program's
// own loop only processes events, it never enters exec().
bool insideNestedLoop() { return QThread::currentThread()->loopLevel() > 0; }

} // namespace

struct LiveLoop::Stats {
    double start = -1, lastBegin = -1, longestGap = 0, wall = 0, cpu = 0, passWall = 0, passCpu = 0;
    // Where the longest gap went: the longest single pass, the latest start
    // of a pass after its rest's planned end, and the pass before the
    // longest gap.
    double longestPass = 0, lastPass = 0, restEnd = -1, latestWake = 0, gapPass = 0;
    int passes = 0, nested = 0, shownAtStart = 0;
    void passBegins(int shown, bool isNested, QSize picture) {
        const double t = nowMs();
        if (start < 0 || t - start >= 1000) {
            if (start >= 0)
                std::fprintf(stderr,
                             "loop: %.0f ms passes %d longest_gap_ms %.1f work_wall_ms %.1f work_cpu_ms %.1f shown %d"
                             " nested %d picture %dx%d longest_pass_ms %.1f latest_wake_ms %.1f gap_pass_ms %.1f\n",
                             t - start, passes, longestGap, wall, cpu, shown - shownAtStart, nested, picture.width(),
                             picture.height(), longestPass, latestWake, gapPass);
            start = t;
            passes = nested = 0;
            longestGap = wall = cpu = longestPass = latestWake = gapPass = 0;
            shownAtStart = shown;
        }
        if (lastBegin >= 0 && t - lastBegin > longestGap) {
            longestGap = t - lastBegin;
            gapPass = lastPass;
        }
        if (restEnd >= 0)
            latestWake = std::max(latestWake, t - restEnd);
        restEnd = -1;
        lastBegin = t;
        passWall = t;
        passCpu = threadCpuMs();
        ++passes;
        if (isNested)
            ++nested;
    }
    void passEnds() {
        lastPass = nowMs() - passWall;
        longestPass = std::max(longestPass, lastPass);
        wall += lastPass;
        cpu += threadCpuMs() - passCpu;
    }
    // The rest is to end at `end`: how late the next pass begins after it
    // (one that work woke early begins before).
    void restedUntil(std::chrono::steady_clock::time_point end) {
        restEnd = nowMs() + std::chrono::duration<double, std::milli>(end - std::chrono::steady_clock::now()).count();
    }
};

LiveLoop::LiveLoop(SDLBackground* window, QObject* parent) : QObject(parent), m_window(window) {
    if (qEnvironmentVariableIsSet("SEVRIN_LOOP_STATS"))
        m_stats = new Stats;
    m_nested.setTimerType(Qt::PreciseTimer);
    m_nested.setInterval(kStepMs);
    connect(&m_nested, &QTimer::timeout, this, &LiveLoop::nestedStep);
    connect(window, &SDLBackground::pictureFinished, this, &LiveLoop::nestedStep, Qt::QueuedConnection);
    m_nested.start();
}

LiveLoop::~LiveLoop() { delete m_stats; }

void LiveLoop::pass() {
    if (m_stats)
        m_stats->passBegins(m_window->uploadCount(), false, m_window->lastCrop().target.toRect().size());
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
    }
    // A stop or exit request among these events ends the loop now: a render
    // step can take a whole frame time on busy cores, and it would only feed
    // a camera that is about to close.
    if (m_window->isRunning() && !ProcessEnd::exitRequested())
        m_window->renderFrame();
    // The nested loops' timer counts its step from the last pass: while the
    // program's own passes come, it never fires (it would only wake the
    // interface thread to do nothing, 62 times a second).
    m_nested.start();
    if (m_stats)
        m_stats->passEnds();
}

void LiveLoop::run() {
    using Clock = std::chrono::steady_clock;
    // The loop's rest must end on time while a decode runs long on the same
    // core: a short slice lets the woken loop take the core at once.
    ThreadPriority::makeResponsive(kSliceUs);
    while (m_window->isRunning() && !ProcessEnd::exitRequested()) {
        const auto t0 = Clock::now();
        pass();
        // The rest of the step, to the microsecond; a picture finished or a
        // frame arriving meanwhile is taken at once by an early pass.
        const auto t1 = Clock::now();
        const auto rest = loopRest(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0));
        if (rest.count() > 0) {
            const auto end = t1 + rest;
            if (m_stats)
                m_stats->restedUntil(end);
            if (!m_window->waitForWorkUntil(end))
                std::this_thread::sleep_until(end);
        }
    }
}

// Inside the program's own pass this does nothing: that pass renders.
void LiveLoop::nestedStep() {
    if (!insideNestedLoop() || !m_window->isRunning())
        return;
    ++m_nestedSteps;
    if (m_stats)
        m_stats->passBegins(m_window->uploadCount(), true, m_window->lastCrop().target.toRect().size());
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
    }
    m_window->renderFrame();
    if (m_stats)
        m_stats->passEnds();
}
