#include "platform/SleepClock.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace SleepClock {
namespace {
std::mutex g_mutex;
SleepFn g_sleep;
TicksFn g_ticks;
const auto g_start = std::chrono::steady_clock::now();
} // namespace

void sleepMs(int ms) {
    SleepFn fn;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        fn = g_sleep;
    }
    if (fn) {
        fn(ms);
        return;
    }
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint64_t ticksMs() {
    TicksFn fn;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        fn = g_ticks;
    }
    if (fn)
        return fn();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_start)
                        .count());
}

void setSleep(SleepFn fn) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sleep = std::move(fn);
}

void setTicks(TicksFn fn) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_ticks = std::move(fn);
}

FakeTime::FakeTime() {
    setSleep([state = m_state](int ms) {
        ++state->sleeps;
        if (ms > 0) {
            state->slept += uint64_t(ms);
            state->now += uint64_t(ms);
        }
    });
    setTicks([state = m_state] { return state->now.load(); });
}

FakeTime::~FakeTime() {
    setSleep({});
    setTicks({});
}

} // namespace SleepClock
