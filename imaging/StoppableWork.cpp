#include "imaging/StoppableWork.h"

#include "platform/ThreadPriority.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Job {
    std::function<void()> work;
    std::exception_ptr error;
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
};

// The work a stop left running, each with its thread, joined when done or
// at the program's end.
struct LeftBehind {
    std::mutex lock;
    std::vector<std::pair<std::thread, std::shared_ptr<Job>>> threads;

    void add(std::thread thread, std::shared_ptr<Job> job) {
        std::lock_guard<std::mutex> l(lock);
        for (auto it = threads.begin(); it != threads.end();) {
            bool done = false;
            {
                std::lock_guard<std::mutex> j(it->second->lock);
                done = it->second->done;
            }
            if (!done) {
                ++it;
                continue;
            }
            it->first.join();
            it = threads.erase(it);
        }
        threads.emplace_back(std::move(thread), std::move(job));
    }
    ~LeftBehind() {
        for (auto& t : threads)
            t.first.join();
    }
};

LeftBehind& leftBehind() {
    static LeftBehind threads;
    return threads;
}

} // namespace

bool StoppableWork::run(std::function<void()> work, const std::function<bool()>& stopped) {
    if (!stopped) {
        work();
        return true;
    }
    leftBehind(); // made before any thread that outlives the caller is left to it
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    const bool background = ThreadPriority::isBackground();
    std::thread thread;
    try {
        thread = std::thread([job, background] {
            if (background)
                ThreadPriority::makeBackground();
            std::exception_ptr error;
            try {
                job->work();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard<std::mutex> l(job->lock);
            job->work = nullptr; // what it held goes with it
            job->error = error;
            job->done = true;
            job->changed.notify_all();
        });
    } catch (const std::system_error&) {
        job->work();
        return true;
    }
    // A look once the work is under way, then one every 10 ms until it ends.
    std::unique_lock<std::mutex> l(job->lock);
    bool looked = false;
    while (looked ? !job->changed.wait_for(l, std::chrono::milliseconds(10), [&] { return job->done; }) : !job->done) {
        looked = true;
        l.unlock();
        const bool stop = stopped();
        l.lock();
        if (stop) {
            l.unlock();
            leftBehind().add(std::move(thread), job);
            return false;
        }
    }
    l.unlock();
    thread.join();
    if (job->error)
        std::rethrow_exception(job->error);
    return true;
}
