#pragma once

#include <QThread>

#include <opencv2/core.hpp>

#include <new>

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
};
