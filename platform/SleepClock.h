#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

// Blocking sleeps and the millisecond clock, injectable so that tests of
// camera command sequences (1 ms and 1000 ms waits) and of the main loop's
// pacing do not wait for real. Thread-safe to call; install overrides only
// while no worker thread runs.
namespace SleepClock {

void sleepMs(int ms);
uint64_t ticksMs();

using SleepFn = std::function<void(int)>;
using TicksFn = std::function<uint64_t()>;

// Replace the sleep/clock; an empty function restores the real one.
void setSleep(SleepFn fn);
void setTicks(TicksFn fn);

// Scoped fake: sleeping advances the fake clock instead of waiting, and every
// requested sleep is recorded. A worker thread may sleep or read the clock
// while the test advances it or reads the counts.
class FakeTime {
public:
    FakeTime();
    ~FakeTime();
    uint64_t now() const { return m_now.load(); }
    void advance(uint64_t ms) { m_now += ms; }
    int sleepCount() const { return m_sleeps.load(); }
    uint64_t sleptMs() const { return m_slept.load(); }

private:
    std::atomic<uint64_t> m_now{1000};
    std::atomic<int> m_sleeps{0};
    std::atomic<uint64_t> m_slept{0};
};

} // namespace SleepClock
