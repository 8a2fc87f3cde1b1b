#include "platform/ProcessEnd.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unistd.h>

namespace ProcessEnd {
namespace {
std::atomic<bool> g_requested{false};
std::atomic<int> g_code{0};
} // namespace

void requestExit(int code, int watchdogMs) {
    const bool first = !g_requested.exchange(true);
    g_code = code;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    }
    if (first && watchdogMs > 0) {
        std::thread([code, watchdogMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(watchdogMs));
            // Still alive: a worker is stuck. Leave without running destructors
            // that would wait for it.
            ::_exit(code);
        }).detach();
    }
}

bool exitRequested() { return g_requested; }
int exitCode() { return g_code; }
void mark(const char* step) {
    static const bool on = qEnvironmentVariableIsSet("SEVRIN_EXIT_TRACE");
    if (!on)
        return;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::fprintf(stderr, "exit-trace %.1f %s\n", ts.tv_sec * 1e3 + ts.tv_nsec / 1e6, step);
}

void reset() {
    g_requested = false;
    g_code = 0;
}

} // namespace ProcessEnd
