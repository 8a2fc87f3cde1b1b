#pragma once

#include <opencv2/core/mat.hpp>

#include <QList>
#include <QMap>

#include <condition_variable>
#include <mutex>
#include <QThread>

// While it lives, records which thread allocated each OpenCV matrix buffer
// (OpenCV's default allocator, wrapped) and the shapes made: a test can tell
// where a matrix was made, and which work ran, without timing anything.
class CvAllocationLog : public cv::MatAllocator {
public:
    CvAllocationLog();
    // Waits (a minute at most) for the watched matrices that a work left
    // running still holds: they come back here when freed.
    ~CvAllocationLog() override;

    // The thread that made the buffer at `data` last; null when none was
    // made there while the log lived.
    QThread* madeBy(const void* data) const;

    // Matrices of `size` and `type` made while the log lived.
    int made(cv::Size size, int type) const;
    // Matrices of `size` and `type` made from now on are filled with a mark,
    // and when one is freed the rows that no longer hold it all are counted:
    // how far a work wrote into a matrix it made.
    void watch(cv::Size size, int type);
    // For each watched matrix of that shape freed so far, in order, the rows
    // written into it.
    QList<int> writtenRows(cv::Size size, int type) const;

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    static quint64 shape(int rows, int cols, int type);
    struct Watched {
        quint64 shape;
        int rows;
        size_t rowBytes;
    };
    cv::MatAllocator* m_base;
    cv::MatAllocator* m_previous;
    // The standard library's, whose locking a thread checker sees.
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_freed;
    mutable QMap<const void*, QThread*> m_made;
    mutable QMap<quint64, int> m_shapes;
    QList<quint64> m_watch;
    mutable QMap<const void*, Watched> m_watched; // alive
    mutable QMap<quint64, QList<int>> m_written;
};
