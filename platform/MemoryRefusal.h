#pragma once

#include <QThread>

#include <opencv2/core.hpp>

#include <fstream>
#include <new>
#include <string>

#include <sys/resource.h>

// What the system refuses memory for: an allocation of OpenCV's (a
// cv::Exception of cv::Error::StsNoMem) or of the C++ library's
// (std::bad_alloc), and a thread's stack. Any other exception passes on.
class MemoryRefusal {
public:
    // Runs `work`; false when the system refused it memory on the way.
    template <class Work> static bool within(Work work) {
        try {
            work();
        } catch (const cv::Exception& e) {
            if (e.code != cv::Error::StsNoMem)
                throw;
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    // Starts `thread`; false when the system made no thread (no room for
    // its stack): Qt only warns then, and the thread neither runs nor
    // finishes.
    static bool start(QThread& thread, QThread::Priority priority = QThread::InheritPriority) {
        thread.start(priority);
        return thread.isRunning() || thread.isFinished();
    }
    // The address space the process holds and the most it may hold
    // (RLIMIT_AS), in MB; `limitMb` is 0 without a limit. False (both
    // untouched) when the system does not say.
    static bool addressSpace(long long& heldMb, long long& limitMb) {
        std::ifstream status("/proc/self/status");
        std::string key;
        long long kb = -1;
        while (status >> key)
            if (key == "VmSize:" && status >> kb)
                break;
        rlimit limit{};
        if (kb < 0 || getrlimit(RLIMIT_AS, &limit) != 0)
            return false;
        heldMb = kb >> 10;
        limitMb = limit.rlim_cur == RLIM_INFINITY ? 0 : static_cast<long long>(limit.rlim_cur >> 20);
        return true;
    }
};
