#pragma once

#include <opencv2/core/mat.hpp>

#include <QMap>
#include <QMutex>
#include <QThread>

// While it lives, records which thread allocated each OpenCV matrix buffer
// (OpenCV's default allocator, wrapped): a test can tell where a matrix was
// made without timing anything.
class CvAllocationLog : public cv::MatAllocator {
public:
    CvAllocationLog();
    ~CvAllocationLog() override;

    // The thread that made the buffer at `data` last; null when none was
    // made there while the log lived.
    QThread* madeBy(const void* data) const;

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    cv::MatAllocator* m_base;
    cv::MatAllocator* m_previous;
    mutable QMutex m_mutex;
    mutable QMap<const void*, QThread*> m_made;
};
