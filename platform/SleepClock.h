#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

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
// while the test advances it or reads the counts, and a thread still inside
// a sleep or a clock read when the fake goes out of scope (one that ends on
// its own after its owner let go) still finds the fake's state.
class FakeTime {
public:
    FakeTime();
    ~FakeTime();
    uint64_t now() const { return m_state->now.load(); }
    void advance(uint64_t ms) { m_state->now += ms; }
    int sleepCount() const { return m_state->sleeps.load(); }
    uint64_t sleptMs() const { return m_state->slept.load(); }

private:
    struct State {
        std::atomic<uint64_t> now{1000};
        std::atomic<int> sleeps{0};
        std::atomic<uint64_t> slept{0};
    };
    // Owned also by the installed sleep and clock functions and their copies.
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace SleepClock
